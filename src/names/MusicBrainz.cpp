#include "names/MusicBrainz.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "rip/HttpGet.h"

#ifndef TRACKMILL_VERSION
#define TRACKMILL_VERSION "unknown"
#endif

namespace names {

namespace {

constexpr const char* kDefaultBaseUrl = "https://musicbrainz.org";
constexpr const char* kIncludes = "artist-credits+recordings+labels+release-groups+isrcs";

std::string Text(const QJsonValue& v) {
    return v.toString().toStdString();
}

// An artist credit as printed: each name followed by its join phrase ("A feat. B").
std::string CreditText(const QJsonArray& credit) {
    std::string text;
    for (const QJsonValue& c : credit)
        text += Text(c.toObject().value("name")) + Text(c.toObject().value("joinphrase"));
    return text;
}

std::string FirstArtistId(const QJsonArray& credit) {
    return credit.isEmpty()
               ? std::string()
               : Text(credit.first().toObject().value("artist").toObject().value("id"));
}

bool MediumHolds(const QJsonObject& medium, const std::string& discId) {
    for (const QJsonValue& d : medium.value("discs").toArray())
        if (Text(d.toObject().value("id")) == discId) return true;
    return false;
}

// The medium's audio tracks: its track list (an enhanced CD's data tracks are listed
// apart, a hidden pregap track at position 0), else its track count.
int AudioTrackCount(const QJsonObject& medium) {
    if (!medium.contains("tracks")) return medium.value("track-count").toInt();
    int count = 0;
    for (const QJsonValue& t : medium.value("tracks").toArray())
        if (t.toObject().value("position").toInt() >= 1) ++count;
    return count;
}

Release ReadRelease(const QJsonObject& r, const std::string& discId,
                    const std::vector<int>& audioTracks) {
    Release release;
    DiscNames& n = release.names;
    n.source = NamesSource::MusicBrainz;
    n.musicBrainzDiscId = discId;
    n.musicBrainzReleaseId = Text(r.value("id"));
    n.album = Text(r.value("title"));
    n.year = Text(r.value("date"));
    n.barcode = Text(r.value("barcode"));
    release.country = Text(r.value("country"));
    const QJsonArray credit = r.value("artist-credit").toArray();
    n.albumArtist = CreditText(credit);
    n.musicBrainzArtistId = FirstArtistId(credit);
    n.musicBrainzReleaseGroupId = Text(r.value("release-group").toObject().value("id"));
    for (const QJsonValue& li : r.value("label-info").toArray()) {
        const QJsonObject info = li.toObject();
        if (n.label.empty()) n.label = Text(info.value("label").toObject().value("name"));
        if (n.catalogueNumber.empty()) n.catalogueNumber = Text(info.value("catalog-number"));
    }

    // The medium holding this disc id; else the first with as many tracks as the
    // disc; else the first.
    const QJsonArray media = r.value("media").toArray();
    int chosen = -1;
    for (int i = 0; i < media.size() && chosen < 0; ++i)
        if (MediumHolds(media[i].toObject(), discId)) chosen = i;
    release.mediumHoldsDisc = chosen >= 0;
    for (int i = 0; i < media.size() && chosen < 0; ++i)
        if (AudioTrackCount(media[i].toObject()) == static_cast<int>(audioTracks.size()))
            chosen = i;
    if (chosen < 0 && !media.isEmpty()) chosen = 0;
    if (chosen < 0) return release;
    const QJsonObject medium = media[chosen].toObject();
    n.discNumber = medium.value("position").toInt(chosen + 1);
    n.discCount = static_cast<int>(media.size());
    release.format = Text(medium.value("format"));
    release.trackCount = AudioTrackCount(medium);
    // A medium's audio tracks are the disc's audio tracks in order; a track past the
    // disc's last one is not on this disc.
    for (const QJsonValue& tv : medium.value("tracks").toArray()) {
        const QJsonObject t = tv.toObject();
        const int position = t.value("position").toInt();
        if (position < 1 || static_cast<std::size_t>(position) > audioTracks.size()) continue;
        TrackNames track;
        track.number = audioTracks[static_cast<std::size_t>(position) - 1];
        const QJsonObject recording = t.value("recording").toObject();
        track.title = Text(t.value("title"));
        if (track.title.empty()) track.title = Text(recording.value("title"));
        QJsonArray trackCredit = t.value("artist-credit").toArray();
        if (trackCredit.isEmpty()) trackCredit = recording.value("artist-credit").toArray();
        track.artist = CreditText(trackCredit);
        track.musicBrainzArtistId = FirstArtistId(trackCredit);
        const QJsonArray isrcs = recording.value("isrcs").toArray();
        if (!isrcs.isEmpty()) track.isrc = Text(isrcs.first());
        track.musicBrainzTrackId = Text(t.value("id"));
        track.musicBrainzRecordingId = Text(recording.value("id"));
        n.tracks.push_back(std::move(track));
    }
    return release;
}

// One request per second from the whole process: a lookup waits until a second has
// passed since the previous one began and since it ended.
class Pacer {
  public:
    // Waits for the turn; false when cancelled meanwhile.
    bool Wait(const std::function<bool()>& cancelled) {
        std::lock_guard<std::mutex> turn(turn_);
        for (;;) {
            const auto now = Clock::now();
            const auto due = Last() + std::chrono::seconds(1);
            if (!any_ || now >= due) break;
            if (cancelled && cancelled()) return false;
            std::this_thread::sleep_for(std::min<Clock::duration>(due - now, kSlice));
        }
        Mark();
        return true;
    }
    // The request ended: the next one waits a second from now.
    void Done() { Mark(); }

  private:
    using Clock = std::chrono::steady_clock;
    static constexpr auto kSlice = std::chrono::milliseconds(50);
    Clock::time_point Last() {
        std::lock_guard<std::mutex> guard(mutex_);
        return last_;
    }
    void Mark() {
        std::lock_guard<std::mutex> guard(mutex_);
        last_ = std::max(last_, Clock::now());
        any_ = true;
    }
    std::mutex turn_;   // one waiter at a time
    std::mutex mutex_;  // guards last_ and any_
    Clock::time_point last_{};
    bool any_ = false;
};

Pacer& ThePacer() {
    static Pacer* pacer = new Pacer;  // never destroyed: lookups may run on worker threads
    return *pacer;
}

}  // namespace

std::string MusicBrainzBaseUrl() {
    const char* env = std::getenv("TRACKMILL_MUSICBRAINZ_URL");
    std::string base = env && *env ? env : kDefaultBaseUrl;
    while (!base.empty() && base.back() == '/') base.pop_back();
    return base;
}

std::string MusicBrainzUserAgent() {
    return std::string("Trackmill/") + TRACKMILL_VERSION + " ( trackmill@example.org )";
}

bool ParseDiscIdAnswer(const QByteArray& json, const std::string& discId,
                       const std::vector<int>& audioTracks, std::vector<Release>& out,
                       std::string& problem) {
    out.clear();
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        problem = "the answer is not the service's JSON" +
                  (error.error != QJsonParseError::NoError
                       ? " (" + error.errorString().toStdString() + ")"
                       : std::string());
        return false;
    }
    const QJsonObject root = doc.object();
    if (!root.contains("releases")) {
        problem = root.contains("tracks") || root.contains("track-count")
                      ? "the database holds only a CD stub for this disc"
                      : "the answer lists no release";
        return false;
    }
    for (const QJsonValue& r : root.value("releases").toArray()) {
        if (!r.isObject() || Text(r.toObject().value("id")).empty()) continue;
        out.push_back(ReadRelease(r.toObject(), discId, audioTracks));
    }
    if (out.empty()) {
        problem = "no release holds this disc";
        return false;
    }
    return true;
}

int BestRelease(const std::vector<Release>& releases, int audioTrackCount) {
    if (releases.empty()) return -1;
    for (std::size_t i = 0; i < releases.size(); ++i)
        if (releases[i].mediumHoldsDisc && releases[i].trackCount == audioTrackCount)
            return static_cast<int>(i);
    for (std::size_t i = 0; i < releases.size(); ++i)
        if (releases[i].trackCount == audioTrackCount) return static_cast<int>(i);
    return 0;
}

// Not inlined: the test suite's ThreadSanitizer suppression for Qt Network's own
// threads names this function.
__attribute__((noinline)) LookupResult LookUpDiscId(const std::string& discId,
                                                    const std::vector<int>& audioTracks,
                                                    int timeoutMs,
                                                    const std::function<bool()>& cancelled) {
    LookupResult result;
    if (discId.empty()) {
        result.problem = "the disc has no MusicBrainz disc id";
        return result;
    }
    if (!QCoreApplication::instance()) {
        result.problem = "no event loop to look it up with";
        return result;
    }
    if (!ThePacer().Wait(cancelled)) {
        result.status = LookupResult::Status::Cancelled;
        result.problem = "cancelled";
        return result;
    }
    rip::HttpRequestOptions options;
    options.userAgent = MusicBrainzUserAgent();
    options.accept = "application/json";
    const rip::HttpAnswer answer = rip::HttpGet(
        MusicBrainzBaseUrl() + "/ws/2/discid/" + discId + "?inc=" + kIncludes + "&fmt=json",
        timeoutMs, kMaxAnswerBytes, cancelled, options);
    ThePacer().Done();

    using Outcome = rip::HttpAnswer::Outcome;
    if (answer.outcome == Outcome::Cancelled) {
        result.status = LookupResult::Status::Cancelled;
        result.problem = "cancelled";
    } else if (answer.outcome == Outcome::TooLarge) {
        result.problem = "the answer is larger than any disc's (over " +
                         std::to_string(kMaxAnswerBytes >> 20) + " MiB)";
    } else if (answer.outcome == Outcome::Failed && answer.status != 0) {
        result.problem = "the service answered " + std::to_string(answer.status);
    } else if (!answer.problem.empty()) {
        result.problem = answer.problem;
    } else if (answer.status == 404) {
        result.problem = "the database does not know this disc";
    } else if (ParseDiscIdAnswer(answer.body, discId, audioTracks, result.releases,
                                 result.problem)) {
        result.status = LookupResult::Status::Found;
    }
    return result;
}

}  // namespace names
