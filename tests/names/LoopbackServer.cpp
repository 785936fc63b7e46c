#include "LoopbackServer.h"

#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <future>
#include <mutex>

namespace testnet {

struct LoopbackServer::State : QThread {
    std::vector<ServedAnswer> answers;
    std::promise<quint16> port;
    quint16 portNumber = 0;
    mutable std::mutex mutex;  // guards seen
    std::vector<SeenRequest> seen;

    void run() override {
        Listen();
        // The server's last act, under the lock the destructor takes after wait(): the
        // race checker does not see Qt's own hand-over at a thread's end.
        std::lock_guard<std::mutex> done(mutex);
    }

    void Listen() {
        QTcpServer server;
        if (!server.listen(QHostAddress::LocalHost)) {
            port.set_value(0);
            return;
        }
        QObject::connect(&server, &QTcpServer::newConnection, &server, [this, &server] {
            while (QTcpSocket* socket = server.nextPendingConnection()) Serve(socket);
        });
        port.set_value(server.serverPort());
        exec();
    }

    void Serve(QTcpSocket* socket) {
        auto request = std::make_shared<QByteArray>();
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, request] {
            *request += socket->readAll();
            if (!request->contains("\r\n\r\n")) return;
            SeenRequest r;
            r.path = request->split(' ').value(1).toStdString();
            r.when = std::chrono::steady_clock::now();
            for (const QByteArray& line : request->split('\n'))
                if (line.toLower().startsWith("user-agent:"))
                    r.userAgent = line.mid(11).trimmed().toStdString();
            std::size_t index;
            {
                std::lock_guard<std::mutex> guard(mutex);
                index = std::min(seen.size(), answers.size() - 1);
                seen.push_back(r);
            }
            request->clear();
            const ServedAnswer& a = answers[index];
            socket->write("HTTP/1.1 " + QByteArray::number(a.status) +
                          (a.status == 200 ? " OK" : " Failed") +
                          "\r\nContent-Type: application/json\r\nContent-Length: " +
                          QByteArray::number(a.body.size()) + "\r\nConnection: close\r\n\r\n");
            if (a.dripMs <= 0) {
                socket->write(a.body);
                socket->disconnectFromHost();
                return;
            }
            auto* timer = new QTimer(socket);
            auto sent = std::make_shared<int>(0);
            QObject::connect(timer, &QTimer::timeout, socket, [socket, timer, sent, body = a.body] {
                if (*sent >= body.size()) {
                    timer->stop();
                    socket->disconnectFromHost();
                    return;
                }
                socket->write(body.mid((*sent)++, 1));
            });
            timer->start(a.dripMs);
        });
    }
};

LoopbackServer::LoopbackServer(std::vector<ServedAnswer> answers) : state_(new State) {
    state_->answers =
        answers.empty() ? std::vector<ServedAnswer>{{404, {}, 0}} : std::move(answers);
    auto ready = state_->port.get_future();
    state_->start();
    state_->portNumber = ready.get();
}

LoopbackServer::~LoopbackServer() {
    state_->quit();
    state_->wait();
    std::lock_guard<std::mutex> done(state_->mutex);
}

std::string LoopbackServer::BaseUrl() const {
    return "http://127.0.0.1:" + std::to_string(state_->portNumber);
}

std::vector<SeenRequest> LoopbackServer::Requests() const {
    std::lock_guard<std::mutex> guard(state_->mutex);
    return state_->seen;
}

QByteArray RecordedAnswer(const std::string& name) {
    QFile file(QString::fromStdString(std::string(NAMES_ANSWERS) + "/" + name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace testnet
