#include "names/NamesCache.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <cctype>
#include <cstdlib>

namespace names {

namespace {

// Disc ids are 28 characters of [A-Za-z0-9._-]; anything else never names a file.
bool SafeDiscId(const std::string& id) {
    if (id.empty() || id.size() > 64 || id == "." || id == "..") return false;
    for (unsigned char c : id)
        if (!std::isalnum(c) && c != '.' && c != '_' && c != '-') return false;
    return true;
}

QString CacheFile(const std::string& discId) {
    return QString::fromStdString(NamesCacheFolder() + "/" + discId + ".json");
}

const char* SourceName(NamesSource s) {
    switch (s) {
        case NamesSource::MusicBrainz:
            return "musicbrainz";
        case NamesSource::CdText:
            return "cdtext";
        case NamesSource::Edited:
            return "edited";
        case NamesSource::None:
            break;
    }
    return "none";
}

NamesSource SourceFromName(const QString& s) {
    if (s == "musicbrainz") return NamesSource::MusicBrainz;
    if (s == "cdtext") return NamesSource::CdText;
    if (s == "edited") return NamesSource::Edited;
    return NamesSource::None;
}

// The text fields of a disc and of a track, by their key in the cache file.
template <class Record>
struct TextField {
    const char* key;
    std::string Record::*member;
};
constexpr TextField<DiscNames> kDiscFields[] = {
    {"albumArtist", &DiscNames::albumArtist},
    {"album", &DiscNames::album},
    {"year", &DiscNames::year},
    {"label", &DiscNames::label},
    {"catalogueNumber", &DiscNames::catalogueNumber},
    {"barcode", &DiscNames::barcode},
    {"releaseId", &DiscNames::musicBrainzReleaseId},
    {"releaseGroupId", &DiscNames::musicBrainzReleaseGroupId},
    {"artistId", &DiscNames::musicBrainzArtistId},
};
constexpr TextField<TrackNames> kTrackFields[] = {
    {"title", &TrackNames::title},
    {"artist", &TrackNames::artist},
    {"composer", &TrackNames::composer},
    {"isrc", &TrackNames::isrc},
    {"trackId", &TrackNames::musicBrainzTrackId},
    {"recordingId", &TrackNames::musicBrainzRecordingId},
    {"artistId", &TrackNames::musicBrainzArtistId},
};

template <class Record, std::size_t N>
void ReadText(const QJsonObject& o, const TextField<Record> (&fields)[N], Record& into) {
    for (const TextField<Record>& f : fields)
        into.*f.member = o.value(f.key).toString().toStdString();
}

template <class Record, std::size_t N>
void WriteText(const Record& from, const TextField<Record> (&fields)[N], QJsonObject& o) {
    for (const TextField<Record>& f : fields) o[f.key] = QString::fromStdString(from.*f.member);
}

}  // namespace

std::string NamesCacheFolder() {
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    std::string base = xdg && *xdg == '/' ? xdg : QDir::homePath().toStdString() + "/.cache";
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    return base + "/trackmill";
}

bool LoadCachedNames(const std::string& discId, DiscNames& out) {
    if (!SafeDiscId(discId)) return false;
    QFile file(CacheFile(discId));
    if (!file.open(QIODevice::ReadOnly) || file.size() > (1 << 20)) return false;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll());
    if (!doc.isObject()) return false;
    const QJsonObject o = doc.object();
    DiscNames n;
    n.source = SourceFromName(o.value("source").toString());
    if (n.source == NamesSource::None) return false;
    ReadText(o, kDiscFields, n);
    n.discNumber = o.value("discNumber").toInt();
    n.discCount = o.value("discCount").toInt();
    n.musicBrainzDiscId = discId;
    for (const QJsonValue& v : o.value("tracks").toArray()) {
        const QJsonObject t = v.toObject();
        TrackNames track;
        track.number = t.value("number").toInt();
        if (track.number < 1 || track.number > 99) continue;
        ReadText(t, kTrackFields, track);
        n.tracks.push_back(std::move(track));
    }
    out = std::move(n);
    return true;
}

bool SaveCachedNames(const DiscNames& n) {
    if (!SafeDiscId(n.musicBrainzDiscId) || !n.Known()) return false;
    QJsonObject o;
    o["source"] = SourceName(n.source);
    WriteText(n, kDiscFields, o);
    o["discNumber"] = n.discNumber;
    o["discCount"] = n.discCount;
    QJsonArray tracks;
    for (const TrackNames& t : n.tracks) {
        QJsonObject j;
        j["number"] = t.number;
        WriteText(t, kTrackFields, j);
        tracks.append(j);
    }
    o["tracks"] = tracks;
    if (!QDir().mkpath(QString::fromStdString(NamesCacheFolder()))) return false;
    QSaveFile file(CacheFile(n.musicBrainzDiscId));
    if (!file.open(QIODevice::WriteOnly)) return false;
    file.write(QJsonDocument(o).toJson());
    return file.commit();
}

}  // namespace names
