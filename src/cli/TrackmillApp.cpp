#include "cli/TrackmillApp.h"

#include <QCoreApplication>
#include <cstdio>

#include "cli/Commands.h"

namespace cli {

namespace {

using CommandFunction = int (*)(const std::vector<std::string>&);

struct Command {
    const char* option;
    CommandFunction run;
};

constexpr Command kCommands[] = {
    {"--list", RunListCommand},
    {"--rip", RunRipCommand},
    {"--convert", RunConvertCommand},
    {"--play", RunPlayCommand},
};

}  // namespace

std::string TrackmillApp::Usage() {
    return "usage: trackmill --list [--disc FILE]\n"
           "       trackmill --rip wav|mp3 [--disc FILE] [--out DIR] [--tracks LIST]\n"
           "       trackmill --convert FILE... [--out DIR]\n"
           "       trackmill --play ROW [--disc FILE]\n";
}

int TrackmillApp::Run(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);

    for (const std::string& a : args) {
        if (a == "--help" || a == "-h") {
            std::fputs(Usage().c_str(), stdout);
            return 0;
        }
    }
    // The first argument that names a command chooses it; the command reads the rest.
    for (const std::string& a : args) {
        for (const Command& command : kCommands) {
            if (a != command.option) continue;
            // Headless commands need no display: events and threads only.
            QCoreApplication application(argc, argv);
            return command.run(args);
        }
    }
    std::fputs(Usage().c_str(), stderr);
    return 2;
}

}  // namespace cli
