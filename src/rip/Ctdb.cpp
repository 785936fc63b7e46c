#include "rip/Ctdb.h"

#include <QXmlStreamReader>
#include <cstdlib>

#include "rip/HttpGet.h"
#include "rip/TrackChecksum.h"

namespace rip {

namespace {

constexpr const char* kDefaultBaseUrl = "http://db.cuetools.net";
// The frames left out at each end of the disc's CRC32, and the length its audio is
// counted in.
constexpr std::uint32_t kCtdbEdgeFrames = 10;

bool ParseHex32(QStringView text, std::uint32_t& out) {
    bool ok = false;
    const qulonglong value = text.toULongLong(&ok, 16);
    if (!ok || value > 0xFFFFFFFFull) return false;
    out = static_cast<std::uint32_t>(value);
    return true;
}

// The 1-based position of the track among the disc's audio tracks; 0 when it is
// not one of them.
int AudioIndex(const cd::TableOfContents& toc, const TrackRecord& track) {
    const std::vector<cd::TocEntry> audio = cd::AudioTracks(toc);
    for (std::size_t i = 0; i < audio.size(); ++i)
        if (audio[i].startLba == track.entry.startLba && !track.entry.isData)
            return static_cast<int>(i) + 1;
    return 0;
}

std::string Unavailable(const CtdbRecord& record) {
    return "could not be checked (" + record.problem + ")";
}

}  // namespace

std::string CtdbBaseUrl() {
    const char* env = std::getenv("TRACKMILL_CTDB_URL");
    std::string base = env && *env ? env : kDefaultBaseUrl;
    while (!base.empty() && base.back() == '/') base.pop_back();
    return base;
}

std::string CtdbLookupUrl(const cd::TableOfContents& toc) {
    return CtdbBaseUrl() + "/lookup2.php?version=3&ctdb=1&fuzzy=1&toc=" + cd::CtdbLookupToc(toc);
}

bool ParseCtdbAnswer(const QByteArray& xml, std::vector<CtdbEntry>& out) {
    out.clear();
    QXmlStreamReader reader(xml);
    if (!reader.readNextStartElement() || reader.name() != QLatin1String("ctdb")) return false;
    while (reader.readNextStartElement()) {
        if (reader.name() != QLatin1String("entry")) {
            reader.skipCurrentElement();
            continue;
        }
        const QXmlStreamAttributes a = reader.attributes();
        CtdbEntry entry;
        bool confidenceOk = false;
        entry.confidence = a.value("confidence").toInt(&confidenceOk);
        bool ok =
            ParseHex32(a.value("crc32"), entry.crc32) && confidenceOk && entry.confidence >= 0;
        for (const QStringView crc : a.value("trackcrcs").split(u' ', Qt::SkipEmptyParts)) {
            std::uint32_t value = 0;
            ok = ok && ParseHex32(crc, value);
            entry.trackCrcs.push_back(value);
        }
        entry.toc = a.value("toc").toString().toStdString();
        if (!ok) return false;
        out.push_back(std::move(entry));
        reader.skipCurrentElement();
    }
    return !reader.hasError();
}

// Not inlined, like the AccurateRip lookup: see the test suite's ThreadSanitizer
// suppressions.
__attribute__((noinline)) CtdbRecord FetchCtdbRecord(const cd::TableOfContents& toc, int timeoutMs,
                                                     const std::function<bool()>& cancelled) {
    // An answer lists a few hundred bytes per entry; far more is not the database.
    constexpr qint64 kMaxAnswerBytes = 4 << 20;
    const HttpAnswer answer = HttpGet(CtdbLookupUrl(toc), timeoutMs, kMaxAnswerBytes, cancelled);
    CtdbRecord record;
    record.toc = cd::CtdbLookupToc(toc);
    if (!answer.problem.empty()) {
        record.problem = answer.problem;
    } else if (answer.status == 404) {
        record.status = CtdbRecord::Status::NotInDatabase;
    } else if (!ParseCtdbAnswer(answer.body, record.entries)) {
        record.problem = "the database's answer is not one of its XML answers";
    } else {
        record.status =
            record.entries.empty() ? CtdbRecord::Status::NotInDatabase : CtdbRecord::Status::Found;
    }
    return record;
}

std::uint64_t CtdbTailSamples(const cd::TableOfContents& toc) {
    const std::vector<cd::TocEntry> audio = cd::AudioTracks(toc);
    const std::uint32_t end = cd::AudioSessionEnd(toc);
    const std::uint32_t frames =
        audio.empty() || end < audio.front().startLba ? 0 : end - audio.front().startLba;
    return std::uint64_t{kCtdbEdgeFrames + frames % kCtdbEdgeFrames} * kSamplesPerFrame;
}

bool CtdbDiscCrc(const cd::TableOfContents& toc, const std::vector<TrackRecord>& tracks,
                 std::uint32_t& crc) {
    const std::vector<cd::TocEntry> audio = cd::AudioTracks(toc);
    if (audio.empty()) return false;
    crc = 0;
    std::uint32_t next = audio.front().startLba;  // where the next track must begin
    for (const cd::TocEntry& t : audio) {
        const TrackRecord* ripped = nullptr;
        for (const TrackRecord& r : tracks)
            if (!r.entry.isData && r.entry.startLba == t.startLba) ripped = &r;
        if (!ripped || !ripped->proof.complete || ripped->entry.startLba != next) return false;
        crc = Crc32Combine(crc, ripped->proof.ctdbCrc, ripped->proof.ctdbBytes);
        next = ripped->entry.startLba + ripped->entry.lengthFrames;
    }
    return next == cd::AudioSessionEnd(toc);
}

std::string CtdbDiscVerdict(const CtdbRecord& record, std::uint32_t discCrc) {
    if (record.status == CtdbRecord::Status::NotInDatabase) return "not in database";
    if (record.status == CtdbRecord::Status::Unavailable) return Unavailable(record);
    int confidence = 0;
    bool matched = false;
    for (const CtdbEntry& e : record.entries) {
        if (e.crc32 != discCrc) continue;
        matched = true;
        confidence += e.confidence;
    }
    if (!matched)
        return "not accurate at this offset (" + std::to_string(record.entries.size()) +
               " entries)";
    return "accurately ripped (confidence " + std::to_string(confidence) + ")";
}

std::string CtdbTrackVerdict(const CtdbRecord& record, const cd::TableOfContents& toc,
                             const TrackRecord& track) {
    if (record.status == CtdbRecord::Status::NotInDatabase) return "not in database";
    if (record.status == CtdbRecord::Status::Unavailable) return Unavailable(record);
    const int index = AudioIndex(toc, track);
    if (index < 1) return "could not be checked (the track is not on the disc's audio list)";
    // Entries of another table of contents (the lookup is fuzzy) have other tracks;
    // a CRC32 of 0 holds no submission.
    int confidence = 0;
    bool matched = false, known = false;
    for (const CtdbEntry& e : record.entries) {
        if (!e.toc.empty() && e.toc != record.toc) continue;
        if (e.trackCrcs.size() != cd::AudioTracks(toc).size()) continue;
        const std::uint32_t crc = e.trackCrcs[static_cast<std::size_t>(index) - 1];
        if (crc == 0) continue;
        known = true;
        if (crc != track.proof.ctdbCrc) continue;
        matched = true;
        confidence += e.confidence;
    }
    if (!known) return "not in database";
    if (!matched) return "not accurate";
    return "accurately ripped (confidence " + std::to_string(confidence) + ")";
}

}  // namespace rip
