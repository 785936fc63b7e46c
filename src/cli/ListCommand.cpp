// trackmill --list [--disc FILE]: the drive that opened, then the track list's rows
// as the list shows them (row number, track, time), one per line, tab-separated.
#include <cstdio>

#include "cd/DiscSession.h"
#include "cli/Commands.h"

namespace cli {

using namespace cd;

int RunListCommand(const std::vector<std::string>& args) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--list") continue;
        if (args[i] == "--disc") {
            ++i;  // its file is checked by OpenDisc
            continue;
        }
        std::fprintf(stderr, "trackmill: --list: unexpected argument '%s'\n", args[i].c_str());
        return 2;
    }
    DiscState disc;
    std::string error;
    if (!OpenDisc(args, disc, error)) {
        std::fprintf(stderr, "trackmill: %s\n", error.c_str());
        return 2;
    }
    std::printf("%s\n", disc.driveName.c_str());
    for (const TrackRow& row : disc.rows)
        std::printf("%s\t%s\t%s\n", row.number.c_str(), row.name.c_str(), row.time.c_str());
    CloseDisc(disc);
    return 0;
}

}  // namespace cli
