#include "cli/CommandNames.h"

#include <cstdio>

#include "cli/Interrupt.h"

namespace cli {

names::NamesAnswer FindNamesForCommand(std::uint32_t handle, const CommandLine& line,
                                       bool& interrupted) {
    names::NamesQuery query;
    query.handle = handle;
    query.network = !line.noLookup && names::ReadMusicBrainzSetting();
    query.releaseId = line.release;
    // A release asked for by id is looked up again, past the names kept for the disc.
    query.useCache = line.release.empty();
    InterruptGuard interrupt;
    query.cancelled = [] { return InterruptGuard::Requested(); };
    names::NamesAnswer answer = names::FindDiscNames(query);
    interrupted = InterruptGuard::Requested();
    if (answer.needsChoice) {
        std::fprintf(stderr,
                     "trackmill: the disc is on %zu releases; taking the best match (*), "
                     "--release MBID takes another:\n",
                     answer.releases.size());
        for (const std::string& l : names::ReleaseList(answer))
            std::fprintf(stderr, "  %s\n", l.c_str());
        names::ChooseRelease(answer, answer.best);
    }
    return answer;
}

}  // namespace cli
