// A small HTTP server on the loopback address, in a thread of its own, for tests of
// the network lookups: answers the n-th request with the n-th answer it was given
// (the last one again after that) and records what it was asked, when. Its own
// thread lets the lookups block in theirs, from as many threads as a test likes.
#pragma once

#include <QByteArray>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace testnet {

struct ServedAnswer {
    int status = 200;
    QByteArray body;
    int dripMs = 0;  // > 0: the body goes out one byte every dripMs
};

struct SeenRequest {
    std::string path;       // with the query
    std::string userAgent;  // the User-Agent header
    std::chrono::steady_clock::time_point when;
};

class LoopbackServer {
  public:
    explicit LoopbackServer(std::vector<ServedAnswer> answers);
    ~LoopbackServer();
    // "http://127.0.0.1:<port>"
    std::string BaseUrl() const;
    std::vector<SeenRequest> Requests() const;

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// The contents of a recorded answer in tests/names/answers/.
QByteArray RecordedAnswer(const std::string& name);

}  // namespace testnet
