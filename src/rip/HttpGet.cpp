#include "rip/HttpGet.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

namespace rip {

// Not inlined: the test suite's ThreadSanitizer suppression for Qt Network's own
// thread names this function.
__attribute__((noinline)) HttpAnswer HttpGet(const std::string& address, int timeoutMs,
                                             qint64 maxBytes,
                                             const std::function<bool()>& cancelled,
                                             const HttpRequestOptions& options) {
    HttpAnswer answer;
    if (!QCoreApplication::instance()) {
        answer.problem = "no event loop to fetch it with";
        return answer;
    }
    if (cancelled && cancelled()) {
        answer.outcome = HttpAnswer::Outcome::Cancelled;
        answer.problem = "cancelled";
        return answer;
    }
    const QUrl url(QString::fromStdString(address));
    if (!url.isValid() || (url.scheme() != "http" && url.scheme() != "https")) {
        answer.problem = "the address " + url.toString().toStdString() + " is not an http address";
        return answer;
    }
    QNetworkAccessManager manager;
    QNetworkRequest request(url);
    request.setTransferTimeout(timeoutMs);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    if (options.maxRedirects > 0) request.setMaximumRedirectsAllowed(options.maxRedirects);
    if (!options.userAgent.empty())
        request.setHeader(QNetworkRequest::UserAgentHeader,
                          QString::fromStdString(options.userAgent));
    if (!options.accept.empty()) request.setRawHeader("Accept", options.accept.c_str());
    QNetworkReply* reply = manager.get(request);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    bool timedOut = false, stopped = false, tooLarge = false;
    QObject::connect(reply, &QNetworkReply::downloadProgress, &loop,
                     [reply, &tooLarge, maxBytes](qint64 received, qint64 total) {
                         if (received <= maxBytes && total <= maxBytes) return;
                         tooLarge = true;
                         reply->abort();
                     });
    // The whole answer within the time, however slowly it trickles in.
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

    answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    // The request's own transfer time-out may end it just before the timer does; Qt
    // then reports it as cancelled.
    const QNetworkReply::NetworkError error = reply->error();
    timedOut = timedOut || error == QNetworkReply::OperationCanceledError ||
               error == QNetworkReply::TimeoutError;
    if (stopped) {
        answer.outcome = HttpAnswer::Outcome::Cancelled;
        answer.problem = "cancelled";
    } else if (tooLarge) {
        answer.outcome = HttpAnswer::Outcome::TooLarge;
        answer.problem = "the database's answer is larger than a record can be";
    } else if (timedOut) {
        answer.outcome = HttpAnswer::Outcome::TimedOut;
        answer.problem = "no answer within " + std::to_string(timeoutMs / 1000) + " s";
    } else if (answer.status == 404) {
        // Not found is the database's answer, not a failure to reach it.
        answer.outcome = HttpAnswer::Outcome::Answered;
    } else if (error != QNetworkReply::NoError) {
        answer.problem = reply->errorString().toStdString();
    } else {
        answer.outcome = HttpAnswer::Outcome::Answered;
        answer.body = reply->readAll();
    }
    delete reply;
    return answer;
}

}  // namespace rip
