#include "cli/TrackmillApp.h"

#include <cdio/version.h>
#include <lame/lame.h>

#include <QCoreApplication>
#include <cstdio>

#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "platform/WaveOut.h"
#include "ui/WindowStartup.h"

namespace cli {

namespace {

// True when the arguments are only `--disc FILE` pairs (or none): the main window's
// command line.
bool OnlyDiscOptions(const std::vector<std::string>& args) {
    for (std::size_t i = 0; i < args.size(); i += 2)
        if (args[i] != "--disc" || i + 1 >= args.size() || args[i + 1].empty()) return false;
    return true;
}

}  // namespace

std::string TrackmillApp::VersionText() {
    return std::string("trackmill ") + TRACKMILL_VERSION + "\n" +
           "Copyright 2026 the Trackmill authors\n"
           "Licence GPL-3.0-or-later: GNU GPL version 3 or later "
           "<https://gnu.org/licenses/gpl.html>\n"
           "This is free software: you are free to change and redistribute it.\n"
           "There is NO WARRANTY, to the extent permitted by law.\n" +
           "libcdio " + cdio_version_string + "\n" + "libmp3lame " + get_lame_version() + "\n" +
           platform::WaveOutLibraryVersion() + "\n";
}

int TrackmillApp::Run(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);

    CommandLine line;
    std::string error;
    const bool parsed = ParseCommandLine(args, line, error);
    if (line.command == Command::None) {
        // No command: the main window, which takes only disc images.
        if (OnlyDiscOptions(args)) return ui::RunMainWindow(argc, argv, args, converter_);
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
        case Command::CheckLog:
            return RunCheckLogCommand(args);
        default:
            return kExitUsage;
    }
}

}  // namespace cli
