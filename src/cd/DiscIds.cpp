#include "cd/DiscIds.h"

#include <discid/discid.h>

#include <QByteArray>
#include <QCryptographicHash>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "cd/TrackTable.h"

namespace cd {

namespace {

constexpr std::uint32_t kLeadInFrames = 150;

std::string Hex8(std::uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "%08x", v);
    return text;
}

}  // namespace

bool TocFromRecord(const TocRecord& record, TableOfContents& out) {
    out = TableOfContents{};
    if (record.firstTrack == 0 || record.firstTrack > record.lastTrack) return false;
    const int count = record.lastTrack - record.firstTrack + 1;
    if (count > kTocDescriptors - 1) return false;
    out.firstTrack = record.firstTrack;
    out.lastTrack = record.lastTrack;
    for (int k = 0; k < count; ++k) {
        const TocDescriptor& d = record.descriptors[k];
        out.tracks.push_back(TocEntry{record.firstTrack + k, DecodeBigEndian32(d.address),
                                      (d.control & kTocDataTrack) != 0});
    }
    out.leadOut = DecodeBigEndian32(record.descriptors[count].address);
    std::uint32_t previous = 0;
    for (const TocEntry& t : out.tracks) {
        if (t.startLba < previous) return false;
        previous = t.startLba;
    }
    return out.leadOut > previous;
}

bool ReadTableOfContents(std::uint32_t handle, TableOfContents& out) {
    TocRecord record;
    std::memset(&record, 0, sizeof record);
    ModifyCDParms(handle, 36, 0);
    if (ReadTOC(handle, &record) != 1) return false;
    return TocFromRecord(record, out);
}

std::vector<TocEntry> AudioTracks(const TableOfContents& toc) {
    std::vector<TocEntry> audio;
    for (const TocEntry& t : toc.tracks)
        if (!t.data) audio.push_back(t);
    return audio;
}

std::uint32_t AudioSessionEnd(const TableOfContents& toc) {
    // The first data track after the last audio track, if any, closes the session.
    std::uint32_t lastAudioStart = 0;
    bool haveAudio = false;
    for (const TocEntry& t : toc.tracks)
        if (!t.data) lastAudioStart = t.startLba, haveAudio = true;
    if (!haveAudio) return toc.leadOut;
    for (const TocEntry& t : toc.tracks) {
        if (!t.data || t.startLba <= lastAudioStart) continue;
        const std::uint32_t end =
            t.startLba > kSessionGapFrames ? t.startLba - kSessionGapFrames : 0;
        return end > lastAudioStart ? end : t.startLba;
    }
    return toc.leadOut;
}

std::uint32_t CddbDiscId(const TableOfContents& toc) {
    if (toc.tracks.empty()) return 0;
    std::uint32_t digits = 0;
    for (const TocEntry& t : toc.tracks)
        for (std::uint32_t s = (t.startLba + kLeadInFrames) / kFramesPerSecond; s > 0; s /= 10)
            digits += s % 10;
    const std::uint32_t seconds = (toc.leadOut + kLeadInFrames) / kFramesPerSecond -
                                  (toc.tracks.front().startLba + kLeadInFrames) / kFramesPerSecond;
    return (digits % 255) << 24 | (seconds & 0xFFFF) << 8 |
           (static_cast<std::uint32_t>(toc.tracks.size()) & 0xFF);
}

std::string MusicBrainzDiscId(const TableOfContents& toc) {
    // The audio session: every track up to the last audio one (a data track before
    // it, as on a mixed-mode disc, belongs to the same session).
    std::size_t last = toc.tracks.size();
    while (last > 0 && toc.tracks[last - 1].data) --last;
    if (last == 0) return {};
    int offsets[100] = {};
    offsets[0] = static_cast<int>(AudioSessionEnd(toc) + kLeadInFrames);
    for (std::size_t i = 0; i < last; ++i)
        offsets[toc.tracks[i].number] = static_cast<int>(toc.tracks[i].startLba + kLeadInFrames);
    DiscId* d = discid_new();
    if (!d) return {};
    std::string id;
    if (discid_put(d, toc.firstTrack, toc.tracks[last - 1].number, offsets)) id = discid_get_id(d);
    discid_free(d);
    return id;
}

AccurateRipDiscId AccurateRipIds(const TableOfContents& toc) {
    AccurateRipDiscId ids;
    const std::vector<TocEntry> audio = AudioTracks(toc);
    ids.audioTracks = static_cast<int>(audio.size());
    std::uint32_t index = 1;
    for (const TocEntry& t : audio) {
        ids.id1 += t.startLba;
        ids.id2 += (t.startLba > 0 ? t.startLba : 1) * index++;
    }
    ids.id1 += toc.leadOut;
    ids.id2 += toc.leadOut * index;
    ids.cddb = CddbDiscId(toc);
    return ids;
}

std::string AccurateRipDiscId::Text() const {
    char count[8];
    std::snprintf(count, sizeof count, "%03d", audioTracks);
    return std::string(count) + "-" + Hex8(id1) + "-" + Hex8(id2) + "-" + Hex8(cddb);
}

std::string AccurateRipDiscId::RecordPath() const {
    char dirs[16];
    std::snprintf(dirs, sizeof dirs, "%x/%x/%x/", id1 & 0xF, (id1 >> 4) & 0xF, (id1 >> 8) & 0xF);
    return std::string(dirs) + "dBAR-" + Text() + ".bin";
}

std::string CtdbTocId(const TableOfContents& toc) {
    const std::vector<TocEntry> audio = AudioTracks(toc);
    if (audio.empty()) return {};
    const std::uint32_t first = audio.front().startLba;
    std::string text;
    char hex[16];
    for (std::size_t i = 1; i < audio.size(); ++i) {
        std::snprintf(hex, sizeof hex, "%08X", audio[i].startLba - first);
        text += hex;
    }
    std::snprintf(hex, sizeof hex, "%08X", AudioSessionEnd(toc) - first);
    text += hex;
    text.resize(std::max<std::size_t>(text.size(), 800), '0');
    QByteArray id =
        QCryptographicHash::hash(QByteArray::fromStdString(text), QCryptographicHash::Sha1)
            .toBase64();
    id.replace('+', '.').replace('/', '_').replace('=', '-');
    return id.toStdString();
}

std::string CtdbLookupToc(const TableOfContents& toc) {
    std::string text;
    for (const TocEntry& t : toc.tracks)
        text += (t.data ? "-" : "") + std::to_string(t.startLba) + ":";
    return text + std::to_string(toc.leadOut);
}

}  // namespace cd
