// The names of an open disc, as the main window and the headless rip both get them:
// the cache first (names found or edited before), then MusicBrainz (unless the
// network lookup is off), then the disc's CD-Text, else nothing (the tracks keep
// their "Track N" names). Nothing here fails or stops a rip: a lookup that gives
// nothing leaves a reason for the log and falls through to the next source.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "names/DiscNames.h"
#include "names/MusicBrainz.h"

namespace names {

// The setting "musicbrainz" (0/1, default 1): whether discs are looked up.
inline constexpr const char* kKeyMusicBrainz = "musicbrainz";
bool ReadMusicBrainzSetting();

struct NamesQuery {
    std::uint32_t handle = 0;  // an open disc
    bool network = true;       // look the disc up on MusicBrainz
    bool useCache = true;      // false: look up again, past what is kept
    bool remember = true;      // keep a release taken in the cache (false: the caller will)
    std::string releaseId;     // take this release when the disc is on several
    int timeoutMs = kMusicBrainzTimeoutMs;
    std::function<bool()> cancelled;
};

struct NamesAnswer {
    DiscNames names;                // what to name the tracks with now
    std::string discId;             // the disc's MusicBrainz id (empty: none)
    std::vector<Release> releases;  // what MusicBrainz offered
    int chosen = -1;                // the index of `names` in releases
    int best = -1;                  // the release to preselect
    bool needsChoice = false;       // several releases and nobody chose: ask, or take best
    bool fromCache = false;
    bool remember = true;          // as asked: ChooseRelease keeps the choice
    std::vector<std::string> log;  // how the names were found, a line each
};

// Finds the names; blocks for at most the lookup's time-out (run it off a window's
// thread). A single release, a `releaseId` that matches, or a remembered choice is
// taken and kept in the cache; with several and none chosen, `names` is the best
// match and needsChoice is set (ChooseRelease keeps the choice).
NamesAnswer FindDiscNames(const NamesQuery& query);
// Takes release `index` of the answer as the disc's names and, unless the query said
// otherwise, remembers it.
void ChooseRelease(NamesAnswer& answer, int index);
// One line per release for a terminal: "  <id>  title / artist / date country / label
// catno / format, N tracks", the preselected one marked with '*'.
std::vector<std::string> ReleaseList(const NamesAnswer& answer);
// A release as the choice lists it, without its id.
std::string DescribeRelease(const Release& release);
// The title a track's row carries to the rip (its files and log entries go by it):
// "NN - Title" where the names give the track a title, so that two tracks of the same
// title never share a file; else `fallback` (the row's own "Track N").
std::string RowTitle(const DiscNames& names, int trackNumber, const std::string& fallback);
// Where the names came from, for the rip log: "names: MusicBrainz release <id> (...)",
// "names: CD-Text", "names: edited by hand", "names: none".
std::string NamesSourceLine(const DiscNames& names);

}  // namespace names
