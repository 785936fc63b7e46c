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

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}
std::string S(const QJsonObject& o, const char* key) {
    return o.value(key).toString().toStdString();
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
    n.albumArtist = S(o, "albumArtist");
    n.album = S(o, "album");
    n.year = S(o, "year");
    n.discNumber = o.value("discNumber").toInt();
    n.discCount = o.value("discCount").toInt();
    n.label = S(o, "label");
    n.catalogueNumber = S(o, "catalogueNumber");
    n.barcode = S(o, "barcode");
    n.musicBrainzReleaseId = S(o, "releaseId");
    n.musicBrainzReleaseGroupId = S(o, "releaseGroupId");
    n.musicBrainzArtistId = S(o, "artistId");
    n.musicBrainzDiscId = discId;
    for (const QJsonValue& v : o.value("tracks").toArray()) {
        const QJsonObject t = v.toObject();
        TrackNames track;
        track.number = t.value("number").toInt();
        if (track.number < 1 || track.number > 99) continue;
        track.title = S(t, "title");
        track.artist = S(t, "artist");
        track.composer = S(t, "composer");
        track.isrc = S(t, "isrc");
        track.musicBrainzTrackId = S(t, "trackId");
        track.musicBrainzRecordingId = S(t, "recordingId");
        track.musicBrainzArtistId = S(t, "artistId");
        n.tracks.push_back(std::move(track));
    }
    out = std::move(n);
    return true;
}

bool SaveCachedNames(const DiscNames& n) {
    if (!SafeDiscId(n.musicBrainzDiscId) || !n.Known()) return false;
    QJsonObject o;
    o["source"] = SourceName(n.source);
    o["albumArtist"] = Q(n.albumArtist);
    o["album"] = Q(n.album);
    o["year"] = Q(n.year);
    o["discNumber"] = n.discNumber;
    o["discCount"] = n.discCount;
    o["label"] = Q(n.label);
    o["catalogueNumber"] = Q(n.catalogueNumber);
    o["barcode"] = Q(n.barcode);
    o["releaseId"] = Q(n.musicBrainzReleaseId);
    o["releaseGroupId"] = Q(n.musicBrainzReleaseGroupId);
    o["artistId"] = Q(n.musicBrainzArtistId);
    QJsonArray tracks;
    for (const TrackNames& t : n.tracks) {
        QJsonObject j;
        j["number"] = t.number;
        j["title"] = Q(t.title);
        j["artist"] = Q(t.artist);
        j["composer"] = Q(t.composer);
        j["isrc"] = Q(t.isrc);
        j["trackId"] = Q(t.musicBrainzTrackId);
        j["recordingId"] = Q(t.musicBrainzRecordingId);
        j["artistId"] = Q(t.musicBrainzArtistId);
        tracks.append(j);
    }
    o["tracks"] = tracks;
    if (!QDir().mkpath(Q(NamesCacheFolder()))) return false;
    QSaveFile file(CacheFile(n.musicBrainzDiscId));
    if (!file.open(QIODevice::WriteOnly)) return false;
    file.write(QJsonDocument(o).toJson());
    return file.commit();
}

}  // namespace names
