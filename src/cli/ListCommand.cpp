// trackmill --list [--disc FILE]: the drive that opened, then the track list's rows
// as the list shows them (row number, track, time), one per line, tab-separated.
#include <cstdio>

#include "cd/DiscSession.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"

namespace cli {

int RunListCommand(const std::vector<std::string>& args) {
    CommandLine line;
    std::string error;
    if (!ParseCommandLine(args, line, error)) return UsageError(error);
    if (line.command != Command::List) return UsageError("--list expected");

    cd::DiscState disc;
    if (!cd::OpenDisc(DiscArguments(line), disc, error)) {
        PrintError(error);
        return kExitUsage;
    }
    std::printf("%s\n", disc.driveName.c_str());
    for (const cd::TrackRow& row : disc.rows)
        std::printf("%s\t%s\t%s\n", row.number.c_str(), row.name.c_str(), row.time.c_str());
    return kExitOk;
}

}  // namespace cli
