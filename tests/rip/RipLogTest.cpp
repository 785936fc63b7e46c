// The rip log's AccurateRip verdicts, in process: a batch ripped from the simulated
// drive (RipTestSupport.h) is looked up against a small HTTP server the test runs on
// the loopback address (TRACKMILL_ACCURATERIP_URL points the lookup at it). The
// server answers on the test's own thread: the lookup waits in a local event loop,
// which also serves the server's sockets.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <cstdlib>
#include <ctime>

#include "RipTestSupport.h"
#include "cd/DiscIds.h"
#include "rip/RipLog.h"

using namespace riptest;

namespace {

// A one-shot HTTP server: answers every GET with `status` and `body`, and keeps the
// path asked for.
class RecordServer : public QTcpServer {
  public:
    RecordServer(int status, QByteArray body) : status_(status), body_(std::move(body)) {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    request_ += socket->readAll();
                    if (!request_.contains("\r\n\r\n")) return;
                    path = request_.split(' ').value(1).toStdString();
                    QByteArray reply = "HTTP/1.1 " + QByteArray::number(status_) +
                                       (status_ == 200 ? " OK" : " Not Found") +
                                       "\r\nContent-Length: " + QByteArray::number(body_.size()) +
                                       "\r\nConnection: close\r\n\r\n" + body_;
                    socket->write(reply);
                    socket->disconnectFromHost();
                });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
    std::string path;

  private:
    int status_;
    QByteArray body_;
    QByteArray request_;
};

void AppendLe32(QByteArray& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.append(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// One pressing of a record: the disc's ids, then (confidence, checksum) per track.
QByteArray Pressing(const cd::AccurateRipDiscId& id,
                    const std::vector<std::pair<int, std::uint32_t>>& tracks) {
    QByteArray b;
    b.append(static_cast<char>(tracks.size()));
    AppendLe32(b, id.id1);
    AppendLe32(b, id.id2);
    AppendLe32(b, id.cddb);
    for (const auto& [confidence, sum] : tracks) {
        b.append(static_cast<char>(confidence));
        AppendLe32(b, sum);
        AppendLe32(b, 0);
    }
    return b;
}

TEST(RipLogTest, AccurateRipLookupGivesEveryVerdictInTheLog) {
    QTemporaryDir dir;
    SimDisc disc = OpenSimDisc({20, 15, 25}, 3);
    auto engine = std::make_unique<RipEngine>(disc.handle);
    engine->SetOutput(Options(dir.path().toStdString(), false));
    FakeDialog dialog;
    for (int t = 0; t < 3; ++t) ASSERT_TRUE(RunTrack(*engine, dialog, disc.Entry(t)));
    ASSERT_NE(engine->Toc(), nullptr);
    const cd::AccurateRipDiscId id = cd::AccurateRipIds(*engine->Toc());
    std::vector<TrackProof> proof;
    for (const TrackRecord& r : engine->BatchRecords()) proof.push_back(r.proof);
    ASSERT_EQ(proof.size(), 3u);

    rip::BatchInfo info;
    info.folder = dir.path().toStdString();
    info.accurateRip = true;
    info.when = std::time(nullptr);
    auto lookUp = [&](RecordServer* server) {
        qputenv("TRACKMILL_ACCURATERIP_URL", QByteArray("http://127.0.0.1:") +
                                                 QByteArray::number(server->serverPort()) + "/db/");
        std::string error;
        const std::string path = rip::FinishBatch(*engine, info, error);
        EXPECT_FALSE(path.empty()) << error;
        return ReadText(path);
    };

    // Two pressings: the v1 sums with confidence 3 for tracks 1 and 2 (track 3 other),
    // and the v2 sums with confidence 2 for all three.
    {
        RecordServer server(200, Pressing(id, {{3, proof[0].accurateRipV1},
                                               {3, proof[1].accurateRipV1},
                                               {3, proof[2].accurateRipV1 ^ 1}}) +
                                     Pressing(id, {{2, proof[0].accurateRipV2},
                                                   {2, proof[1].accurateRipV2},
                                                   {2, proof[2].accurateRipV2}}));
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
        const std::string log = lookUp(&server);
        EXPECT_EQ(server.path, "/db/" + id.RecordPath());
        EXPECT_NE(log.find("accuraterip: accurately ripped (confidence 5)"), std::string::npos)
            << log;
        EXPECT_NE(log.find("accuraterip: accurately ripped (confidence 2)"), std::string::npos);
    }
    {
        RecordServer server(200, Pressing(id, {{4, 1}, {4, 2}, {4, 3}}));
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
        const std::string log = lookUp(&server);
        EXPECT_NE(log.find("accuraterip: not accurate"), std::string::npos) << log;
        EXPECT_EQ(log.find("accurately ripped"), std::string::npos) << log;
    }
    {
        RecordServer server(404, "");
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
        const std::string log = lookUp(&server);
        EXPECT_NE(log.find("accuraterip: not in database"), std::string::npos) << log;
        EXPECT_NE(log.find("result: ok"), std::string::npos);
    }
    {
        // A port nothing listens on any more.
        quint16 port;
        {
            QTcpServer closed;
            ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
            port = closed.serverPort();
        }
        qputenv("TRACKMILL_ACCURATERIP_URL",
                QByteArray("http://127.0.0.1:") + QByteArray::number(port));
        std::string error;
        const std::string log = ReadText(rip::FinishBatch(*engine, info, error));
        EXPECT_NE(log.find("accuraterip: could not be checked ("), std::string::npos) << log;
        EXPECT_NE(log.find("summary: 3 track(s), 3 ok, 0 suspicious, 0 failed"), std::string::npos);
    }
    {
        // An answer far larger than any record is refused.
        RecordServer server(200, QByteArray(5 << 20, '\x01'));
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
        const std::string log = lookUp(&server);
        EXPECT_NE(log.find("could not be checked (the database's answer is larger"),
                  std::string::npos)
            << log;
    }
    {
        // A server that never answers, and a lookup called off while it waits.
        QTcpServer silent;
        ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
        qputenv("TRACKMILL_ACCURATERIP_URL",
                QByteArray("http://127.0.0.1:") + QByteArray::number(silent.serverPort()));
        std::string error;
        const std::string log = ReadText(rip::FinishBatch(
            *engine, info, error, [&silent] { return silent.hasPendingConnections(); }));
        EXPECT_NE(log.find("accuraterip: could not be checked (cancelled)"), std::string::npos)
            << log;
    }
    qunsetenv("TRACKMILL_ACCURATERIP_URL");
    EXPECT_EQ(Logs(dir.path()).size(), 6u);
    engine.reset();
    cdaccess::ClearAddedDrives();
}

}  // namespace
