#include "rip/AccurateRip.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>
#include <cstdlib>

namespace rip {

namespace {

constexpr const char* kDefaultBaseUrl = "http://www.accuraterip.com/accuraterip";

std::uint32_t Le32(const char* p) {
    auto b = [p](int i) { return std::uint32_t{static_cast<unsigned char>(p[i])}; };
    return b(0) | b(1) << 8 | b(2) << 16 | b(3) << 24;
}

}  // namespace

std::string AccurateRipBaseUrl() {
    const char* env = std::getenv("TRACKMILL_ACCURATERIP_URL");
    std::string base = env && *env ? env : kDefaultBaseUrl;
    while (!base.empty() && base.back() == '/') base.pop_back();
    return base;
}

bool ParseAccurateRipRecord(const QByteArray& data, std::vector<AccurateRipPressing>& out) {
    out.clear();
    constexpr int kHeader = 13, kTrack = 9;
    int at = 0;
    while (at < data.size()) {
        if (data.size() - at < kHeader) return false;
        const int tracks = static_cast<unsigned char>(data[at]);
        at += kHeader;
        if (data.size() - at < tracks * kTrack) return false;
        AccurateRipPressing pressing;
        for (int t = 0; t < tracks; ++t, at += kTrack)
            pressing.push_back(
                {static_cast<unsigned char>(data[at]), Le32(data.constData() + at + 1)});
        out.push_back(std::move(pressing));
    }
    return !out.empty();
}

// Not inlined: the test suite's ThreadSanitizer suppression for Qt Network's own
// thread names this function.
__attribute__((noinline)) AccurateRipRecord FetchAccurateRipRecord(
    const cd::AccurateRipDiscId& id, int timeoutMs, const std::function<bool()>& cancelled) {
    AccurateRipRecord record;
    if (!QCoreApplication::instance()) {
        record.problem = "no event loop to fetch it with";
        return record;
    }
    if (cancelled && cancelled()) {
        record.problem = "cancelled";
        return record;
    }
    const QUrl url(QString::fromStdString(AccurateRipBaseUrl() + "/" + id.RecordPath()));
    if (!url.isValid() || (url.scheme() != "http" && url.scheme() != "https")) {
        record.problem = "the address " + url.toString().toStdString() + " is not an http address";
        return record;
    }
    QNetworkAccessManager manager;
    QNetworkRequest request(url);
    request.setTransferTimeout(timeoutMs);
    QNetworkReply* reply = manager.get(request);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    // A record holds a few hundred bytes per pressing; a server that sends far more is
    // not the database, and its answer is not kept in memory.
    constexpr qint64 kMaxRecordBytes = 4 << 20;
    bool timedOut = false, stopped = false, tooLarge = false;
    QObject::connect(reply, &QNetworkReply::downloadProgress, &loop,
                     [reply, &tooLarge](qint64 received, qint64 total) {
                         if (received <= kMaxRecordBytes && total <= kMaxRecordBytes) return;
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
        record.problem = "cancelled";
    } else if (tooLarge) {
        record.problem = "the database's answer is larger than a record can be";
    } else if (timedOut) {
        record.problem = "no answer within " + std::to_string(timeoutMs / 1000) + " s";
    } else if (http == 404) {
        record.status = AccurateRipRecord::Status::NotInDatabase;
    } else if (reply->error() != QNetworkReply::NoError) {
        record.problem = reply->errorString().toStdString();
    } else if (!ParseAccurateRipRecord(reply->readAll(), record.pressings)) {
        record.problem = "the database's record is damaged";
    } else {
        record.status = AccurateRipRecord::Status::Found;
    }
    delete reply;
    return record;
}

std::string AccurateRipVerdict(const AccurateRipRecord& record, int index, std::uint32_t v1,
                               std::uint32_t v2) {
    switch (record.status) {
        case AccurateRipRecord::Status::NotInDatabase:
            return "not in database";
        case AccurateRipRecord::Status::Unavailable:
            return "could not be checked (" + record.problem + ")";
        case AccurateRipRecord::Status::Found:
            break;
    }
    if (index < 1) return "could not be checked (the track is not on the disc's audio list)";
    // An entry of confidence 0 holds no submission (a track too short to sum).
    int confidence = 0;
    bool matched = false, known = false;
    for (const AccurateRipPressing& p : record.pressings) {
        if (static_cast<std::size_t>(index) > p.size()) continue;
        const AccurateRipTrack& t = p[static_cast<std::size_t>(index) - 1];
        if (t.confidence == 0) continue;
        known = true;
        if (t.checksum == v1 || t.checksum == v2) {
            matched = true;
            confidence += t.confidence;
        }
    }
    if (!known) return "not in database";
    if (!matched) return "not accurate";
    return "accurately ripped (confidence " + std::to_string(confidence) + ")";
}

}  // namespace rip
