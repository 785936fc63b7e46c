// The CTDB check of a rip, end to end and in process: `--rip wav --ctdb` rips a BIN/CUE
// image the test writes (two audio tracks, a data track after them) and looks the disc
// up on a small HTTP server the test runs on the loopback address
// (TRACKMILL_CTDB_URL points the lookup at it). The server answers on the test's own
// thread, from the local event loops the command and the lookup run. The CRC32s the
// server lists are zlib's, over the ranges the database defines, worked out here.
#include <gtest/gtest.h>
#include <zlib.h>

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>

#include "RipTestSupport.h"
#include "cli/Commands.h"
#include "rip/Ctdb.h"

using namespace riptest;

namespace {

// Answers every GET with `status` and `body` (none while `silent`) and keeps the target.
class AnswerServer : public QTcpServer {
  public:
    AnswerServer() {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    request_ += socket->readAll();
                    if (!request_.contains("\r\n\r\n") || silent) return;
                    target = request_.split(' ').value(1).toStdString();
                    request_.clear();
                    socket->write("HTTP/1.1 " + QByteArray::number(status) +
                                  (status == 200 ? " OK" : " Not Found") +
                                  "\r\nContent-Length: " + QByteArray::number(body.size()) +
                                  "\r\nConnection: close\r\n\r\n" + body);
                    socket->disconnectFromHost();
                });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
    int status = 200;
    QByteArray body;
    bool silent = false;
    std::string target;

  private:
    QByteArray request_;
};

std::uint32_t Crc(const std::vector<unsigned char>& audio, std::size_t fromFrame,
                  std::size_t toFrame) {
    return static_cast<std::uint32_t>(
        crc32(0, audio.data() + fromFrame * kFrameBytes,
              static_cast<uInt>((toFrame - fromFrame) * kFrameBytes)));
}

TEST(CtdbRipTest, RipOfADiscImageIsJudgedByTheDatabasesAnswers) {
    QTemporaryDir dir;
    const std::string root = dir.path().toStdString();
    // Tracks of 150 and 83 frames, then a data track: the audio is 233 frames, so the
    // disc's CRC32 leaves out 10 frames at its start and 10 + 3 at its end.
    const auto audio = cdaccess::SimulatedDrive::MakeTestAudio(233, 11);
    auto writeImage = [&](const std::string& name, std::vector<unsigned char> bytes) {
        bytes.resize(bytes.size() + 40 * kFrameBytes, 0);
        std::ofstream(root + "/" + name + ".bin", std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        std::ofstream(root + "/" + name + ".cue")
            << "FILE \"" << name << ".bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
            << "  TRACK 02 AUDIO\n    INDEX 01 00:02:00\n"
            << "  TRACK 03 MODE1/2352\n    INDEX 01 00:03:08\n";
    };
    writeImage("disc", audio);
    auto changed = audio;
    changed[100 * kFrameBytes + 6] ^= 0x40;  // one sample of track 1
    writeImage("changed", changed);

    char entries[512];
    std::snprintf(entries, sizeof entries,
                  "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                  "<ctdb>\n"
                  "  <entry confidence=\"3\" crc32=\"%08x\" toc=\"0:150:-233:273\" "
                  "trackcrcs=\"%08x %08x\"/>\n"
                  "  <entry confidence=\"1\" crc32=\"0badf00d\" toc=\"0:150:-233:273\" "
                  "trackcrcs=\"00000000 %08x\"/>\n</ctdb>\n",
                  Crc(audio, 10, 220), Crc(audio, 10, 150), Crc(audio, 150, 220),
                  Crc(audio, 150, 220));
    AnswerServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    qputenv("TRACKMILL_CTDB_URL",
            "http://127.0.0.1:" + QByteArray::number(server.serverPort()) + "/db/");
    int run = 0;
    auto rip = [&](const std::string& image, int status, const QByteArray& body,
                   const std::vector<std::string>& more = {}) {
        server.status = status;
        server.body = body;
        const std::string out = root + "/out" + std::to_string(++run);
        std::filesystem::create_directory(out);
        std::vector<std::string> args = {"--rip", "wav", "--disc", root + "/" + image + ".cue",
                                         "--out", out,   "--ctdb"};
        args.insert(args.end(), more.begin(), more.end());
        EXPECT_EQ(cli::RunRipCommand(args), 0);
        cdaccess::ClearAddedDrives();
        const auto logs = Logs(QString::fromStdString(out));
        return logs.size() == 1 ? ReadText(logs[0]) : std::string();
    };

    std::string log = rip("disc", 200, entries);
    EXPECT_EQ(server.target, "/db/lookup2.php?version=3&ctdb=1&fuzzy=1&toc=0:150:-233:273");
    char crc[32];
    std::snprintf(crc, sizeof crc, "\nctdb crc32: %08x\n", Crc(audio, 10, 220));
    EXPECT_NE(log.find(crc), std::string::npos) << log;
    EXPECT_NE(log.find("\nctdb: accurately ripped (confidence 3)\n"), std::string::npos) << log;

    log = rip("changed", 200, entries);
    EXPECT_NE(log.find("\nctdb: not accurate at this offset (2 entries)\n"), std::string::npos)
        << log;
    // The read offset shifts the audio summed as it shifts the files': one frame later.
    log = rip("disc", 200, entries, {"--offset", "588"});
    std::snprintf(crc, sizeof crc, "\nctdb crc32: %08x\n", Crc(audio, 11, 221));
    EXPECT_NE(log.find(crc), std::string::npos) << log;
    EXPECT_NE(log.find("\nctdb: not accurate at this offset (2 entries)\n"), std::string::npos)
        << log;
    // Some tracks only: each is compared with the entries' track CRC32s.
    log = rip("changed", 200, entries, {"--tracks", "2"});
    EXPECT_NE(log.find("\nctdb: accurately ripped (confidence 4)\n"), std::string::npos) << log;
    log = rip("changed", 200, entries, {"--tracks", "1"});
    EXPECT_NE(log.find("\nctdb: not accurate\n"), std::string::npos) << log;

    EXPECT_NE(rip("disc", 404, "").find("\nctdb: not in database\n"), std::string::npos);
    log = rip("disc", 200, "<html><body>Service Unavailable</body></html>");
    EXPECT_NE(log.find("\nctdb: could not be checked (the database's answer is not"),
              std::string::npos)
        << log;
    log = rip("disc", 200, QByteArray(5 << 20, '<'));
    EXPECT_NE(log.find("\nctdb: could not be checked (the database's answer is larger"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("summary: 2 track(s), 2 ok, 0 suspicious, 0 failed"), std::string::npos);

    // A server that never answers: the lookup gives up when its time is up.
    server.silent = true;
    cd::TableOfContents toc;
    toc.firstTrack = 1;
    toc.lastTrack = 2;
    toc.tracks = {{1, 0, false}, {2, 150, false}};
    toc.leadOut = 233;
    QElapsedTimer clock;
    clock.start();
    const rip::CtdbRecord record = rip::FetchCtdbRecord(toc, 1000);
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_EQ(rip::CtdbDiscVerdict(record, 0), "could not be checked (no answer within 1 s)");
    qunsetenv("TRACKMILL_CTDB_URL");
}

}  // namespace
