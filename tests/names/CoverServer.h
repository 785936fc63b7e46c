// A small HTTP server on the loopback address that stands in for the Cover Art
// Archive: TRACKMILL_COVERART_URL points at it while it lives. It answers on the
// test's own thread, so a fetch waiting in a local event loop (on that thread or
// another) is served while the test pumps events or waits in that loop.
#pragma once

#include <QTcpServer>
#include <QTcpSocket>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace testsupport {

// A small HTTP server: answers each path from its table (status, headers, body); any
// other path gets 404. Keeps the paths asked for.
class CoverServer : public QTcpServer {
  public:
    struct Answer {
        int status;
        QByteArray headers, body;
    };
    explicit CoverServer(std::map<QByteArray, Answer> answers) : answers_(std::move(answers)) {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    QByteArray& request = requests_[socket];
                    request += socket->readAll();
                    if (!request.contains("\r\n\r\n")) return;
                    const QByteArray path = request.split(' ').value(1);
                    {
                        std::lock_guard<std::mutex> lock(mutex_);
                        paths_.push_back(path.toStdString());
                    }
                    const auto it = answers_.find(path);
                    const Answer a = it != answers_.end() ? it->second : Answer{404, "", ""};
                    socket->write("HTTP/1.1 " + QByteArray::number(a.status) + " X\r\n" +
                                  a.headers +
                                  "Content-Length: " + QByteArray::number(a.body.size()) +
                                  "\r\nConnection: close\r\n\r\n" + a.body);
                    socket->disconnectFromHost();
                });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
        listen(QHostAddress::LocalHost);
        const std::string url = "http://127.0.0.1:" + std::to_string(serverPort()) + "/";
        setenv("TRACKMILL_COVERART_URL", url.c_str(), 1);
    }
    ~CoverServer() override { unsetenv("TRACKMILL_COVERART_URL"); }
    std::vector<std::string> Paths() {
        std::lock_guard<std::mutex> lock(mutex_);
        return paths_;
    }

  private:
    std::mutex mutex_;
    std::vector<std::string> paths_;
    std::map<QByteArray, Answer> answers_;
    std::map<QTcpSocket*, QByteArray> requests_;
};

}  // namespace testsupport
