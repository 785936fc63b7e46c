#include "cli/TrackmillApp.h"

#include <cdio/version.h>
#include <lame/lame.h>

#include <QCoreApplication>
#include <cstdio>

#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "platform/WaveOut.h"

namespace cli {

std::string TrackmillApp::Usage() {
    return UsageText();
}

std::string TrackmillApp::VersionText() {
    return std::string("trackmill ") + TRACKMILL_VERSION + "\n" + "libcdio " + cdio_version_string +
           "\n" + "libmp3lame " + get_lame_version() + "\n" + platform::WaveOutLibraryVersion() +
           "\n";
}

int TrackmillApp::Run(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);

    CommandLine line;
    std::string error;
    const bool parsed = ParseCommandLine(args, line, error);
    if (line.command == Command::None) {
        std::fputs(UsageText().c_str(), stderr);
        return kExitUsage;
    }
    if (!parsed) return UsageError(error);
    if (line.command == Command::Help) {
        std::fputs(HelpText().c_str(), stdout);
        return kExitOk;
    }
    if (line.command == Command::Version) {
        std::fputs(VersionText().c_str(), stdout);
        return kExitOk;
    }
    // Headless commands need no display: events and threads only.
    QCoreApplication application(argc, argv);
    switch (line.command) {
        case Command::List:
            return RunListCommand(args);
        case Command::Toc:
            return RunTocCommand(args);
        case Command::Rip:
            return RunRipCommand(args);
        case Command::Convert:
            return RunConvertCommand(args, converter_);
        case Command::Play:
            return RunPlayCommand(args);
        default:
            return kExitUsage;
    }
}

}  // namespace cli
