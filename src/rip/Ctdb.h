// The CTDB (CUETools database): looking a disc up by its table of contents and
// judging the rip against the entries other people's rips left in it: the CRC32 of
// the whole disc when every audio track was ripped, else each ripped track's CRC32.
//
// The lookup is GET <base>/lookup2.php?version=3&ctdb=1&fuzzy=1&toc=<CtdbLookupToc>,
// the base being TRACKMILL_CTDB_URL when that is set (tests serve answers from a
// local server), else the database's own address. The answer is XML: a <ctdb>
// element whose <entry> elements carry crc32 (the disc's CRC32 in hex), confidence
// (how many rips gave it), trackcrcs (the audio tracks' CRC32s in hex, separated by
// spaces) and toc (the table of contents of those rips, as the lookup names it).
//
// The disc's CRC32 covers its audio from the first audio track's start to the end
// of the audio session, less its first 10 frames and its last 10 frames plus the
// frames that make its length a multiple of 10. A track's CRC32 is its own audio,
// the first track's less its first 10 frames, the last one's ending where the disc's
// ends (TrackChecksum gathers both as the audio goes by). The read offset applies as
// it does to the whole rip. Failing to reach the database never fails a rip.
#pragma once

#include <QByteArray>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "cd/DiscIds.h"
#include "rip/RipEngine.h"

namespace rip {

struct CtdbEntry {
    std::uint32_t crc32 = 0;
    int confidence = 0;
    std::vector<std::uint32_t> trackCrcs;
    std::string toc;
};

struct CtdbRecord {
    enum class Status { Found, NotInDatabase, Unavailable };
    Status status = Status::Unavailable;
    std::vector<CtdbEntry> entries;
    std::string toc;      // the table of contents the lookup named
    std::string problem;  // why it could not be checked
};

// The database's base address (no trailing slash) and the lookup's address.
std::string CtdbBaseUrl();
std::string CtdbLookupUrl(const cd::TableOfContents& toc);
// Parses an answer's entries. False when it is not the database's XML or an entry's
// checksums are not hex numbers.
bool ParseCtdbAnswer(const QByteArray& xml, std::vector<CtdbEntry>& out);
// Looks the disc up, waiting at most timeoutMs; cancellable like the AccurateRip
// lookup (FetchAccurateRipRecord), and with the same needs.
inline constexpr int kCtdbTimeoutMs = 15000;
CtdbRecord FetchCtdbRecord(const cd::TableOfContents& toc, int timeoutMs = kCtdbTimeoutMs,
                           const std::function<bool()>& cancelled = {});

// The samples that the last audio track's CRC32 leaves out (TrackChecksum::Start).
std::uint64_t CtdbTailSamples(const cd::TableOfContents& toc);
// The disc's CRC32 from the batch's tracks. False unless every audio track of the
// disc was ripped completely, each beginning where the one before it ended (for a
// track ripped twice, the last rip counts).
bool CtdbDiscCrc(const cd::TableOfContents& toc, const std::vector<TrackRecord>& tracks,
                 std::uint32_t& crc);

// The verdict on the whole disc: "accurately ripped (confidence N)", "not accurate at
// this offset (N entries)", "not in database" or "could not be checked (...)".
std::string CtdbDiscVerdict(const CtdbRecord& record, std::uint32_t discCrc);
// The verdict on one ripped track, against the entries for this very table of
// contents: "accurately ripped (confidence N)", "not accurate", "not in database" or
// "could not be checked (...)".
std::string CtdbTrackVerdict(const CtdbRecord& record, const cd::TableOfContents& toc,
                             const TrackRecord& track);

}  // namespace rip
