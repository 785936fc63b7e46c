// The MusicBrainz web service: looking a disc up by its MusicBrainz disc id and
// reading the releases that hold it into DiscNames.
//
// GET <base>/ws/2/discid/<id>?inc=artist-credits+recordings+labels+release-groups+isrcs&fmt=json
// where <base> is TRACKMILL_MUSICBRAINZ_URL when that is set (tests serve answers
// from a loopback server), else the service's own address. The service asks every
// program to name itself in the User-Agent and to send at most one request per
// second: every lookup of the process waits its turn behind one pacer.
//
// Nothing here ever fails a caller: a lookup that does not give a release ends as
// "not found" with the reason in words, for the log.
#pragma once

#include <QByteArray>
#include <functional>
#include <string>
#include <vector>

#include "names/DiscNames.h"

namespace names {

// One release that holds the disc, as the choice lists it. `names` carries the
// medium that holds this disc (its tracks, disc number and count).
struct Release {
    DiscNames names;
    std::string country, format;   // format of that medium ("CD", "Enhanced CD" ...)
    int trackCount = 0;            // audio tracks on that medium
    bool mediumHoldsDisc = false;  // a medium of the release lists this disc id
};

struct LookupResult {
    enum class Status { Found, NotFound, Cancelled };
    Status status = Status::NotFound;
    std::vector<Release> releases;  // at least one when Found
    std::string problem;            // why nothing was found
};

inline constexpr int kMusicBrainzTimeoutMs = 10000;
// An answer for one disc id is a few tens of kilobytes; a larger one is not kept.
inline constexpr qint64 kMaxAnswerBytes = 2 << 20;

// The service's base address (no trailing slash) and the User-Agent sent to it.
std::string MusicBrainzBaseUrl();
std::string MusicBrainzUserAgent();

// Reads a discid answer. `audioTracks` are the disc's audio track numbers in order
// (a medium's track at position p is the disc's audioTracks[p-1]). Releases in the
// answer's order; false with the reason when the answer holds no release (a CD stub,
// an empty list) or is not the service's JSON.
bool ParseDiscIdAnswer(const QByteArray& json, const std::string& discId,
                       const std::vector<int>& audioTracks, std::vector<Release>& out,
                       std::string& problem);

// The release to take when nobody chooses: the first whose medium lists this disc
// id and has as many tracks as the disc, else the first with as many tracks, else the
// first. -1 for an empty list.
int BestRelease(const std::vector<Release>& releases, int audioTrackCount);

// Looks the disc id up, waiting its turn (one request per second per process) and at
// most timeoutMs for the answer. Runs a local event loop: call it on a thread with a
// Qt application object (any thread). `cancelled`, when given, is asked ten times a
// second; once it says yes the lookup ends as Cancelled.
LookupResult LookUpDiscId(const std::string& discId, const std::vector<int>& audioTracks,
                          int timeoutMs = kMusicBrainzTimeoutMs,
                          const std::function<bool()>& cancelled = {});

}  // namespace names
