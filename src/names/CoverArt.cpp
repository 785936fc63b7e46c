#include "names/CoverArt.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>
#include <cctype>
#include <cstdlib>

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
    if (!QCoreApplication::instance()) {
        cover.problem = "no event loop to fetch it with";
        return cover;
    }
    const QUrl url(
        QString::fromStdString(CoverArtBaseUrl() + "/release/" + releaseId + "/front-500"));
    if (!url.isValid() || (url.scheme() != "http" && url.scheme() != "https")) {
        cover.problem = "the address " + url.toString().toStdString() + " is not an http address";
        return cover;
    }
    QNetworkAccessManager manager;
    QNetworkRequest request(url);
    request.setTransferTimeout(timeoutMs);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(5);
    request.setHeader(QNetworkRequest::UserAgentHeader,
                      QStringLiteral("Trackmill/" TRACKMILL_VERSION));
    QNetworkReply* reply = manager.get(request);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    bool timedOut = false, stopped = false, tooLarge = false;
    QObject::connect(reply, &QNetworkReply::downloadProgress, &loop,
                     [reply, &tooLarge](qint64 received, qint64 total) {
                         if (received <= kMaxCoverBytes && total <= kMaxCoverBytes) return;
                         tooLarge = true;
                         reply->abort();
                     });
    QTimer::singleShot(timeoutMs, &loop, [reply, &timedOut] {
        timedOut = true;
        reply->abort();
    });
    QTimer poll;
    if (cancelled) {
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (!cancelled()) return;
            stopped = true;
            reply->abort();
        });
        poll.start(100);
    }
    if (!reply->isFinished()) loop.exec();
    poll.stop();

    const int http = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (stopped) {
        cover.problem = "cancelled";
    } else if (tooLarge) {
        cover.problem = "the cover is larger than " + std::to_string(kMaxCoverBytes >> 20) + " MiB";
    } else if (timedOut) {
        cover.problem = "no answer within " + std::to_string(timeoutMs / 1000) + " s";
    } else if (http == 404) {
        cover.problem = "the release has no front cover";
    } else if (reply->error() != QNetworkReply::NoError) {
        cover.problem = reply->errorString().toStdString();
    } else {
        const QByteArray data = reply->readAll();
        std::string bytes(data.constData(), static_cast<std::size_t>(data.size()));
        cover.mimeType = ImageMimeType(bytes);
        if (cover.mimeType.empty())
            cover.problem = "the cover is not a JPEG or PNG image";
        else
            cover.bytes = std::move(bytes);
    }
    delete reply;
    return cover;
}

}  // namespace names
