#include "names/CoverArt.h"

#include <cctype>
#include <cstdlib>

#include "rip/HttpGet.h"

namespace names {

namespace {

constexpr const char* kDefaultBaseUrl = "https://coverartarchive.org";

bool IsReleaseId(const std::string& id) {
    if (id.empty() || id.size() > 64) return false;
    for (char c : id)
        if (!std::isxdigit(static_cast<unsigned char>(c)) && c != '-') return false;
    return true;
}

}  // namespace

std::string CoverArtBaseUrl() {
    const char* env = std::getenv("TRACKMILL_COVERART_URL");
    std::string base = env && *env ? env : kDefaultBaseUrl;
    while (!base.empty() && base.back() == '/') base.pop_back();
    return base;
}

std::string ImageMimeType(const std::string& bytes) {
    if (bytes.rfind("\xFF\xD8\xFF", 0) == 0) return "image/jpeg";
    if (bytes.rfind("\x89PNG\r\n\x1A\n", 0) == 0) return "image/png";
    return {};
}

// Not inlined: the test suite's ThreadSanitizer suppression for Qt Network's own
// thread names the fetching functions.
__attribute__((noinline)) CoverImage FetchFrontCover(const std::string& releaseId, int timeoutMs,
                                                     const std::function<bool()>& cancelled) {
    CoverImage cover;
    if (!IsReleaseId(releaseId)) {
        cover.problem = "no MusicBrainz release to fetch a cover for";
        return cover;
    }
    rip::HttpRequestOptions options;
    options.userAgent = "Trackmill/" TRACKMILL_VERSION;
    options.maxRedirects = 5;
    const rip::HttpAnswer answer =
        rip::HttpGet(CoverArtBaseUrl() + "/release/" + releaseId + "/front-500", timeoutMs,
                     kMaxCoverBytes, cancelled, options);
    if (answer.outcome == rip::HttpAnswer::Outcome::TooLarge) {
        cover.problem = "the cover is larger than " + std::to_string(kMaxCoverBytes >> 20) + " MiB";
    } else if (!answer.problem.empty()) {
        cover.problem = answer.problem;
    } else if (answer.status == 404) {
        cover.problem = "the release has no front cover";
    } else {
        std::string bytes(answer.body.constData(), static_cast<std::size_t>(answer.body.size()));
        cover.mimeType = ImageMimeType(bytes);
        if (cover.mimeType.empty())
            cover.problem = "the cover is not a JPEG or PNG image";
        else
            cover.bytes = std::move(bytes);
    }
    return cover;
}

}  // namespace names
