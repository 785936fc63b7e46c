#include "rip/RipLog.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "platform/Paths.h"
#include "rip/AccurateRip.h"
#include "rip/Ctdb.h"
#include "rip/LogSeal.h"

#ifndef TRACKMILL_VERSION
#define TRACKMILL_VERSION "unknown"
#endif

namespace rip {

namespace {

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

// "mm:ss.ff" with ff in frames (75 a second).
std::string Duration(std::uint32_t frames) {
    return Format("%02u:%02u.%02u", frames / 75 / 60, frames / 75 % 60, frames % 75);
}

std::string Hex(std::uint32_t v) {
    return Format("%08x", v);
}

std::string UtcStamp(std::time_t when, const char* format) {
    std::tm tm{};
    gmtime_r(&when, &tm);
    char text[64];
    std::strftime(text, sizeof text, format, &tm);
    return text;
}

}  // namespace

BatchCounts CountBatch(const std::vector<TrackRecord>& tracks) {
    BatchCounts c;
    for (const TrackRecord& t : tracks) {
        if (t.endReason != kEndRunning)
            ++c.failed;
        else if (t.proof.suspicious)
            ++c.suspicious;
        else
            ++c.ok;
    }
    return c;
}

std::string TrackResultText(const TrackRecord& track) {
    if (track.endReason != kEndRunning)
        return std::string("failed (") + EndReasonText(track.endReason) +
               (track.outputProblem.empty() ? "" : ": " + track.outputProblem) + ")";
    if (track.proof.suspicious) return "suspicious (the test and copy passes differ)";
    return "ok";
}

std::string FormatRipLog(const BatchInfo& info, const cd::TableOfContents* toc,
                         const std::vector<TrackRecord>& tracks) {
    std::string out;
    auto line = [&out](const std::string& text) { out += text + "\n"; };
    line("Trackmill rip log");
    line(std::string("program: trackmill ") + TRACKMILL_VERSION);
    line("date: " + UtcStamp(info.when, "%Y-%m-%d %H:%M:%S UTC"));
    line("drive: " + info.drive);
    line("output folder: " + info.folder);
    line(std::string("format: ") + encode::InfoOf(info.format).name);
    line(Format("read offset: %+d samples", info.readOffset));
    line(std::string("test and copy: ") + (info.verify ? "yes" : "no"));
    line(std::string("accuraterip lookup: ") + (info.accurateRip ? "yes" : "no"));
    line(std::string("ctdb lookup: ") + (info.ctdb ? "yes" : "no"));
    for (const std::string& n : info.names) line(n);
    if (!info.cueSheet.empty()) line("cue sheet: " + info.cueSheet);
    line("");
    line("table of contents:");
    if (toc) {
        line(" track |  start |  length | type");
        for (std::size_t i = 0; i < toc->tracks.size(); ++i) {
            const cd::TocEntry& t = toc->tracks[i];
            // An audio track before a data session ends where its session does.
            std::uint32_t next = toc->leadOut;
            if (i + 1 < toc->tracks.size()) {
                next = toc->tracks[i + 1].startLba;
                if (!t.data && toc->tracks[i + 1].data)
                    next = std::max(t.startLba, std::min(next, cd::AudioSessionEnd(*toc)));
            }
            line(Format(" %5d | %6u | %7u | %s", t.number, t.startLba, next - t.startLba,
                        t.data ? "data" : "audio"));
        }
        line(Format(" lead-out | %6u", toc->leadOut));
        line("");
        line("cddb id: " + Hex(cd::CddbDiscId(*toc)));
        const std::string mb = cd::MusicBrainzDiscId(*toc);
        line("musicbrainz id: " + (mb.empty() ? std::string("(none)") : mb));
        line("accuraterip id: " + cd::AccurateRipIds(*toc).Text());
        const std::string ctdb = cd::CtdbTocId(*toc);
        line("ctdb id: " + (ctdb.empty() ? std::string("(none)") : ctdb));
        std::uint32_t ctdbCrc = 0;
        if (CtdbDiscCrc(*toc, tracks, ctdbCrc)) line("ctdb crc32: " + Hex(ctdbCrc));
        if (!info.ctdbDisc.empty()) line("ctdb: " + info.ctdbDisc);
        if (!info.hiddenAudio.empty()) line("hidden audio before track 1: " + info.hiddenAudio);
    } else {
        line(" (could not be read)");
    }
    for (const TrackRecord& t : tracks) {
        line("");
        line("track: " + t.title);
        // A track that failed, or held no audio, leaves no file.
        std::error_code ec;
        const bool written = !t.outputPath.empty() && std::filesystem::exists(t.outputPath, ec);
        line("file: " + (written ? t.outputPath : std::string("(none)")));
        line(Format("start: %u", t.entry.startLba));
        line("length: " + Duration(t.entry.lengthFrames) +
             Format(" (%u frames)", t.entry.lengthFrames));
        const TrackDetails* details = toc ? info.disc.Track(DiscTrackNumber(t, *toc)) : nullptr;
        if (details && details->preEmphasis)
            line("pre-emphasis: yes (the audio is copied as on the disc, not de-emphasised)");
        // AccurateRip has no sums for the audio hidden before track 1.
        const bool hidden = toc && IsHiddenTrack(t, *toc);
        if (t.proof.complete) {
            line("crc32: " + Hex(t.proof.crc32));
            if (t.proof.verified) line("test crc32: " + Hex(t.proof.testCrc32));
            if (!hidden) {
                line("accuraterip v1: " + Hex(t.proof.accurateRipV1));
                line("accuraterip v2: " + Hex(t.proof.accurateRipV2));
                line("ctdb crc32: " + Hex(t.proof.ctdbCrc));
            }
        } else {
            line("crc32: (track not complete)");
        }
        line(Format("recovered read errors: %u", t.proof.recoveredErrors));
        line(Format("overlap-checked re-reads: %u", t.proof.overlapReads));
        if (hidden)
            line(
                "accuraterip: not covered (AccurateRip does not cover audio hidden before "
                "track 1)");
        else if (!t.accurateRip.empty())
            line("accuraterip: " + t.accurateRip);
        if (!hidden && !t.ctdb.empty()) line("ctdb: " + t.ctdb);
        if (t.loudness) line("replaygain track: " + DescribeGain(t.trackGain));
        if (!t.gainTagProblem.empty())
            line("replaygain tags: not written (" + t.gainTagProblem + ")");
        line("result: " + TrackResultText(t));
    }
    // The album: every measured track of the batch as one programme.
    AlbumLoudness album;
    for (const TrackRecord& t : tracks)
        if (t.loudness) album.Include(t.loudness);
    if (std::any_of(tracks.begin(), tracks.end(),
                    [](const TrackRecord& t) { return t.loudness != nullptr; })) {
        line("");
        line("replaygain album: " + DescribeGain(album.Result()));
    }
    line("");
    const BatchCounts c = CountBatch(tracks);
    line(Format("summary: %zu track(s), %d ok, %d suspicious, %d failed", tracks.size(), c.ok,
                c.suspicious, c.failed));
    return out;
}

std::string WriteRipLog(const BatchInfo& info, const cd::TableOfContents* toc,
                        const std::vector<TrackRecord>& tracks, std::string& error) {
    std::string folder = info.folder.empty() ? std::string(".") : info.folder;
    if (!platform::IsPathSeparator(folder.back())) folder += platform::kPathSeparator;
    const std::string base = folder + "trackmill-" +
                             (toc ? Hex(cd::CddbDiscId(*toc)) : std::string("unknown")) + "-" +
                             UtcStamp(info.when, "%Y%m%d-%H%M%S");
    std::string why = "the disc's table of contents could not be read";
    const std::string cue =
        toc ? FormatCueSheet(*toc, info.disc, info.cueNames, tracks, folder, why) : std::string();
    for (int n = 1; n < 1000; ++n) {
        const std::string path = base + (n == 1 ? std::string() : Format("-%d", n)) + ".log";
        const std::string cuePath = CueSheetPathFor(path);
        std::error_code ec;
        if (!cue.empty() && std::filesystem::exists(cuePath, ec)) continue;
        // "x": never replace an existing log.
        FILE* f = std::fopen(path.c_str(), "wx");
        if (!f) {
            if (errno == EEXIST) continue;
            error = "the rip log " + path + " could not be created: " + std::strerror(errno);
            return {};
        }
        BatchInfo named = info;
        std::string cueError;
        if (cue.empty())
            named.cueSheet = "(none: " + why + ")";
        else if (WriteCueSheet(cuePath, cue, cueError))
            named.cueSheet = std::filesystem::path(cuePath).filename().string();
        else
            named.cueSheet = "(none: the cue sheet " + cuePath + " " + cueError + ")";
        const std::string text = SealLog(FormatRipLog(named, toc, tracks));
        const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
        if (std::fclose(f) != 0 || !written) {
            // A full disk leaves no half log behind.
            error = "the rip log " + path + " could not be written: " + std::strerror(errno);
            std::remove(path.c_str());
            return {};
        }
        return path;
    }
    error = "too many rip logs named " + base;
    return {};
}

// Writes the measured gains into the batch's whole tracks, the album's gain being
// that of every measured track together, as the log lists it.
static void WriteGainTags(const TrackFiles::Gains& write, std::vector<TrackRecord>& tracks) {
    if (!write) return;
    AlbumLoudness album;
    bool measured = false;
    for (const TrackRecord& t : tracks) {
        if (!t.loudness) continue;
        album.Include(t.loudness);
        measured = true;
    }
    if (!measured) return;
    const GainValues albumGain = album.Result();
    for (TrackRecord& t : tracks) {
        if (t.endReason != kEndRunning || !t.trackGain.valid || t.outputPath.empty()) continue;
        std::string problem;
        if (!write(t.outputPath, t.trackGain, albumGain, problem))
            t.gainTagProblem = problem.empty() ? "no reason given" : problem;
    }
}

std::string FinishBatch(RipEngine& engine, BatchInfo& info, std::string& error,
                        const std::function<bool()>& cancelled) {
    const cd::TableOfContents* toc = engine.Toc();
    std::vector<TrackRecord>& tracks = engine.BatchRecords();
    if (info.accurateRip) {
        AccurateRipRecord record;
        if (toc) {
            record =
                FetchAccurateRipRecord(cd::AccurateRipIds(*toc), kAccurateRipTimeoutMs, cancelled);
        } else {
            record.problem = "the disc's table of contents could not be read";
        }
        for (TrackRecord& t : tracks) {
            if (!t.proof.complete || (toc && IsHiddenTrack(t, *toc))) continue;
            t.accurateRip = AccurateRipVerdict(record, t.discIndex, t.proof.accurateRipV1,
                                               t.proof.accurateRipV2);
        }
    }
    info.ctdbDisc.clear();
    for (TrackRecord& t : tracks) t.ctdb.clear();
    if (info.ctdb) {
        CtdbRecord record;
        if (toc) {
            record = FetchCtdbRecord(*toc, kCtdbTimeoutMs, cancelled);
        } else {
            record.problem = "the disc's table of contents could not be read";
        }
        std::uint32_t discCrc = 0;
        if (toc && CtdbDiscCrc(*toc, tracks, discCrc)) {
            info.ctdbDisc = CtdbDiscVerdict(record, discCrc);
        } else {
            for (TrackRecord& t : tracks)
                if (t.proof.complete)
                    t.ctdb = toc ? CtdbTrackVerdict(record, *toc, t)
                                 : "could not be checked (" + record.problem + ")";
        }
    }
    info.disc = ReadDiscDetails(engine.Session().cdHandle);
    for (TrackRecord& t : tracks) t.gainTagProblem.clear();
    WriteGainTags(engine.Files().gains, tracks);
    return WriteRipLog(info, toc, tracks, error);
}

}  // namespace rip
