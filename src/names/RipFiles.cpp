#include "names/RipFiles.h"

#include <QThread>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "core/Settings.h"
#include "names/CoverArt.h"
#include "names/NamingTemplate.h"
#include "names/TagWriter.h"
#include "platform/WorkFile.h"

namespace names {

namespace {

// One batch's front cover, fetched on a thread of its own from the moment the batch's
// record is made. Destroying it cancels a fetch still running and waits for its thread.
class CoverFetch {
  public:
    explicit CoverFetch(std::string releaseId) {
        thread_ = QThread::create([this, releaseId] {
            CoverImage image =
                FetchFrontCover(releaseId, kCoverTimeoutMs, [this] { return cancelled_.load(); });
            std::lock_guard<std::mutex> lock(mutex_);
            image_ = std::move(image);
            done_ = true;
            ready_.notify_all();
        });
        thread_->start();
    }
    ~CoverFetch() {
        cancelled_ = true;
        thread_->wait();
        delete thread_;
    }
    CoverFetch(const CoverFetch&) = delete;
    CoverFetch& operator=(const CoverFetch&) = delete;

    // The cover, once the fetch has ended (its time-out bounds the wait).
    const CoverImage& Wait() {
        std::unique_lock<std::mutex> lock(mutex_);
        ready_.wait(lock, [this] { return done_; });
        return image_;
    }

  private:
    QThread* thread_ = nullptr;
    std::atomic<bool> cancelled_{false};
    std::mutex mutex_;
    std::condition_variable ready_;
    bool done_ = false;
    CoverImage image_;
};

std::string ExtensionOf(const std::string& path) {
    const std::size_t dot = path.rfind('.');
    const std::size_t slash = path.find_last_of("\\/");
    if (dot == std::string::npos || (slash != std::string::npos && slash > dot)) return {};
    return path.substr(dot + 1);
}

// Changes a finished file through a copy of it that takes its place once changed, so
// the file under its name is whole at every moment; on failure the copy is removed.
bool ChangeThroughCopy(const std::string& path,
                       const std::function<bool(const std::string& copy, std::string& why)>& change,
                       std::string& problem) {
    platform::WorkFile work;
    std::FILE* copy = platform::CreateWorkFile(path, work, problem);
    if (!copy) return false;
    errno = 0;
    std::FILE* in = std::fopen(path.c_str(), "rb");
    bool ok = in != nullptr;
    std::vector<char> buffer(1 << 20);
    while (ok) {
        const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), in);
        if (n == 0) {
            ok = !std::ferror(in);
            break;
        }
        ok = std::fwrite(buffer.data(), 1, n, copy) == n;
    }
    if (in) std::fclose(in);
    if (std::fclose(copy) != 0) ok = false;
    if (!ok) {
        problem = std::string("the file could not be copied: ") +
                  (errno ? std::strerror(errno) : "read or write failed");
        platform::DiscardWorkFile(work);
        return false;
    }
    if (!change(work.workPath, problem)) {
        platform::DiscardWorkFile(work);
        return false;
    }
    const std::string kept = platform::SettleWorkFile(work, true, problem);
    if (kept.empty()) return false;
    if (kept == path) return true;
    std::remove(kept.c_str());
    problem = "another file took its name meanwhile";
    return false;
}

std::string GainText(double db) {
    char text[32];
    std::snprintf(text, sizeof text, "%+.2f dB", db);
    return text;
}

std::string PeakText(double peak) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", peak);
    return text;
}

// Writes a rip's measured gains into its MP3 and FLAC files.
rip::TrackFiles::Gains GainsWriter(bool id3v24) {
    return [id3v24](const std::string& path, const rip::GainValues& track,
                    const rip::GainValues& album, std::string& problem) {
        TagFormat format;
        if (!TagFormatForExtension(ExtensionOf(path), format) || format == TagFormat::Wav)
            return true;
        GainTags tags;
        tags.trackGain = GainText(track.gainDb);
        tags.trackPeak = PeakText(track.peak);
        if (album.valid) {
            tags.albumGain = GainText(album.gainDb);
            tags.albumPeak = PeakText(album.peak);
        }
        return ChangeThroughCopy(
            path,
            [&](const std::string& copy, std::string& why) {
                return WriteGainTags(copy, format, tags, id3v24, &why);
            },
            problem);
    };
}

}  // namespace

RipFileSettings ReadRipFileSettings(const std::string& naming) {
    RipFileSettings settings;
    settings.naming = naming.empty() ? core::ReadNamingSetting() : naming;
    settings.id3v24 = core::ReadId3v24Setting();
    settings.cover = core::ReadCoverSetting();
    settings.replayGain = core::ReadReplayGainSetting();
    return settings;
}

rip::TrackFiles RipFilesFor(const DiscNames& names, const RipFileSettings& settings) {
    rip::TrackFiles files;
    if (settings.replayGain) files.gains = GainsWriter(settings.id3v24);
    if (!names.Known()) return files;
    // A template that would name every track alike (a hand-edited settings file) is
    // not used: the default names them apart.
    std::string pattern = EffectiveNamingTemplate(settings.naming);
    if (!NamingTemplateProblem(pattern).empty()) pattern = kDefaultNamingTemplate;
    files.relativeName = [names, pattern](int number, const std::string&) {
        return TrackFileStem(pattern, names, number);
    };
    std::shared_ptr<CoverFetch> cover;
    if (settings.cover && !names.musicBrainzReleaseId.empty())
        cover = std::make_shared<CoverFetch>(names.musicBrainzReleaseId);
    TagOptions options;
    options.id3v24 = settings.id3v24;
    options.trackCount =
        settings.trackCount > 0 ? settings.trackCount : static_cast<int>(names.tracks.size());
    files.finish = [names, options, cover](const std::string& workPath,
                                           const std::string& finalPath, int number,
                                           std::string& problem) {
        TagFormat format;
        if (!TagFormatForExtension(ExtensionOf(finalPath), format)) return true;
        TagOptions withCover = options;
        if (cover) withCover.cover = &cover->Wait();
        if (WriteTrackTags(workPath, format, names, number, withCover, &problem)) return true;
        problem = "the tags could not be written: " + problem;
        return false;
    };
    return files;
}

rip::CueSheetNames CueNamesFor(const DiscNames& names) {
    rip::CueSheetNames cue;
    if (!names.Known()) return cue;
    cue.disc = {names.album, names.albumArtist};
    for (const TrackNames& t : names.tracks)
        cue.tracks[t.number] = {t.title, t.artist.empty() ? names.albumArtist : t.artist};
    return cue;
}

}  // namespace names
