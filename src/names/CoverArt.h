// The front cover of a MusicBrainz release, fetched from the Cover Art Archive.
//
// The image lives at <base>/release/<release id>/front-500; the base is
// TRACKMILL_COVERART_URL when that is set (tests serve an image from a local server),
// else the archive's own address. Redirects are followed (the archive answers with
// one to where the image is stored). A 404 means the release has no cover. Failing to
// fetch a cover never fails a rip: the files are then tagged without one.
#pragma once

#include <functional>
#include <string>

namespace names {

struct CoverImage {
    std::string bytes;     // the image file as served; empty when there is none
    std::string mimeType;  // "image/jpeg" or "image/png"
    std::string problem;   // why there is none, when it could not be fetched
    bool Found() const { return !bytes.empty(); }
};

// The archive's base address (no trailing slash).
std::string CoverArtBaseUrl();

// The kind of image the bytes hold, by their signature: "image/jpeg", "image/png", or
// empty for anything else.
std::string ImageMimeType(const std::string& bytes);

// Fetches the release's front cover, waiting at most timeoutMs and keeping at most
// kMaxCoverBytes. Runs a local event loop: call it on a thread with a Qt application
// object. `cancelled`, when given, is asked ten times a second. A release id that is
// not a MusicBrainz id (hex digits and dashes) fetches nothing.
inline constexpr int kCoverTimeoutMs = 10000;
inline constexpr long long kMaxCoverBytes = 8 << 20;
CoverImage FetchFrontCover(const std::string& releaseId, int timeoutMs = kCoverTimeoutMs,
                           const std::function<bool()>& cancelled = {});

}  // namespace names
