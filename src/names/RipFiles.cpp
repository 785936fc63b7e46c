#include "names/RipFiles.h"

#include <QThread>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "core/Settings.h"
#include "names/CoverArt.h"
#include "names/NamingTemplate.h"
#include "names/TagWriter.h"

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

}  // namespace

RipFileSettings ReadRipFileSettings(const std::string& naming) {
    RipFileSettings settings;
    settings.naming = naming.empty() ? core::ReadNamingSetting() : naming;
    settings.id3v24 = core::ReadId3v24Setting();
    settings.cover = core::ReadCoverSetting();
    return settings;
}

rip::TrackFiles RipFilesFor(const DiscNames& names, const RipFileSettings& settings) {
    rip::TrackFiles files;
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
