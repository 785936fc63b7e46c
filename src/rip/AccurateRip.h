// The AccurateRip database: fetching a disc's record over HTTP and judging each
// ripped track against the checksums other people's rips left in it.
//
// The record lives at <base>/<RecordPath of the disc id>. The base is
// TRACKMILL_ACCURATERIP_URL when that is set (tests serve a record from a local
// server), else the database's own address. A record is a run of pressings (the
// v1 and v2 submissions are separate pressings), each: 1 byte track count, the
// disc's id1, id2 and CDDB id (4 bytes each, little-endian), then per track 1 byte
// confidence, the track's checksum and a checksum used to find offsets (4 bytes
// each). Failing to reach the database never fails a rip.
#pragma once

#include <QByteArray>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "cd/DiscIds.h"

namespace rip {

struct AccurateRipTrack {
    int confidence = 0;
    std::uint32_t checksum = 0;
};
using AccurateRipPressing = std::vector<AccurateRipTrack>;

struct AccurateRipRecord {
    enum class Status { Found, NotInDatabase, Unavailable };
    Status status = Status::Unavailable;
    std::vector<AccurateRipPressing> pressings;
    std::string problem;  // why it could not be checked
};

// The database's base address (no trailing slash).
std::string AccurateRipBaseUrl();
// Parses a record's bytes. False when it is empty or cut short.
bool ParseAccurateRipRecord(const QByteArray& data, std::vector<AccurateRipPressing>& out);
// Fetches the disc's record, waiting at most timeoutMs. Runs a local event loop:
// call it on a thread with a Qt application object. `cancelled`, when given, is
// asked ten times a second; once it says yes the lookup ends as "cancelled".
inline constexpr int kAccurateRipTimeoutMs = 15000;
AccurateRipRecord FetchAccurateRipRecord(const cd::AccurateRipDiscId& id,
                                         int timeoutMs = kAccurateRipTimeoutMs,
                                         const std::function<bool()>& cancelled = {});
// The verdict for the track at 1-based position `index` on the disc with these sums:
// "accurately ripped (confidence N)", "not accurate", "not in database" or
// "could not be checked (...)".
std::string AccurateRipVerdict(const AccurateRipRecord& record, int index, std::uint32_t v1,
                               std::uint32_t v2);

}  // namespace rip
