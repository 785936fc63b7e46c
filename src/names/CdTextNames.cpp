#include "names/CdTextNames.h"

namespace names {

DiscNames NamesFromCdText(const cdaccess::DiscText& text) {
    DiscNames n;
    n.album = text.disc.title;
    n.albumArtist = text.disc.performer;
    for (const cdaccess::TextEntry& e : text.tracks) {
        if (e.track < 1 || e.track > 99 || e.Empty()) continue;
        TrackNames t;
        t.number = e.track;
        t.title = e.title;
        t.artist = e.performer;
        t.composer = e.songwriter;
        n.tracks.push_back(std::move(t));
    }
    if (!n.album.empty() || !n.albumArtist.empty() || !n.tracks.empty())
        n.source = NamesSource::CdText;
    return n;
}

DiscNames ReadCdTextNames(std::uint32_t handle) {
    cdaccess::DiscText text;
    if (!cdaccess::ReadDiscText(handle, text)) return {};
    return NamesFromCdText(text);
}

}  // namespace names
