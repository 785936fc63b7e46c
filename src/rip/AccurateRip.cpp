#include "rip/AccurateRip.h"

#include <cstdlib>

#include "rip/HttpGet.h"

namespace rip {

namespace {

constexpr const char* kDefaultBaseUrl = "http://www.accuraterip.com/accuraterip";

std::uint32_t Le32(const char* p) {
    auto b = [p](int i) { return std::uint32_t{static_cast<unsigned char>(p[i])}; };
    return b(0) | b(1) << 8 | b(2) << 16 | b(3) << 24;
}

}  // namespace

std::string AccurateRipBaseUrl() {
    const char* env = std::getenv("TRACKMILL_ACCURATERIP_URL");
    std::string base = env && *env ? env : kDefaultBaseUrl;
    while (!base.empty() && base.back() == '/') base.pop_back();
    return base;
}

bool ParseAccurateRipRecord(const QByteArray& data, std::vector<AccurateRipPressing>& out) {
    out.clear();
    constexpr int kHeader = 13, kTrack = 9;
    int at = 0;
    while (at < data.size()) {
        if (data.size() - at < kHeader) return false;
        const int tracks = static_cast<unsigned char>(data[at]);
        at += kHeader;
        if (data.size() - at < tracks * kTrack) return false;
        AccurateRipPressing pressing;
        for (int t = 0; t < tracks; ++t, at += kTrack)
            pressing.push_back(
                {static_cast<unsigned char>(data[at]), Le32(data.constData() + at + 1)});
        out.push_back(std::move(pressing));
    }
    return !out.empty();
}

// Not inlined: the test suite's ThreadSanitizer suppression for Qt Network's own
// thread names this function.
__attribute__((noinline)) AccurateRipRecord FetchAccurateRipRecord(
    const cd::AccurateRipDiscId& id, int timeoutMs, const std::function<bool()>& cancelled) {
    // A record holds a few hundred bytes per pressing; a server that sends far more is
    // not the database, and its answer is not kept in memory.
    constexpr qint64 kMaxRecordBytes = 4 << 20;
    const HttpAnswer answer = HttpGet(AccurateRipBaseUrl() + "/" + id.RecordPath(), timeoutMs,
                                      kMaxRecordBytes, cancelled);
    AccurateRipRecord record;
    if (!answer.problem.empty()) {
        record.problem = answer.problem;
    } else if (answer.status == 404) {
        record.status = AccurateRipRecord::Status::NotInDatabase;
    } else if (!ParseAccurateRipRecord(answer.body, record.pressings)) {
        record.problem = "the database's record is damaged";
    } else {
        record.status = AccurateRipRecord::Status::Found;
    }
    return record;
}

std::string AccurateRipVerdict(const AccurateRipRecord& record, int index, std::uint32_t v1,
                               std::uint32_t v2) {
    switch (record.status) {
        case AccurateRipRecord::Status::NotInDatabase:
            return "not in database";
        case AccurateRipRecord::Status::Unavailable:
            return "could not be checked (" + record.problem + ")";
        case AccurateRipRecord::Status::Found:
            break;
    }
    if (index < 1) return "could not be checked (the track is not on the disc's audio list)";
    // An entry of confidence 0 holds no submission (a track too short to sum).
    int confidence = 0;
    bool matched = false, known = false;
    for (const AccurateRipPressing& p : record.pressings) {
        if (static_cast<std::size_t>(index) > p.size()) continue;
        const AccurateRipTrack& t = p[static_cast<std::size_t>(index) - 1];
        if (t.confidence == 0) continue;
        known = true;
        if (t.checksum == v1 || t.checksum == v2) {
            matched = true;
            confidence += t.confidence;
        }
    }
    if (!known) return "not in database";
    if (!matched) return "not accurate";
    return "accurately ripped (confidence " + std::to_string(confidence) + ")";
}

}  // namespace rip
