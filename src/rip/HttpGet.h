// One bounded HTTP GET for the databases a rip is checked against (AccurateRip,
// CTDB): waits at most a given time, refuses answers larger than a limit, and can
// be called off. Runs a local event loop: call it on a thread with a Qt application
// object.
#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <functional>
#include <string>

namespace rip {

struct HttpAnswer {
    // Empty when the server answered; else why nothing usable came ("cancelled", "no
    // answer within 15 s", the network's own error text...).
    std::string problem;
    int status = 0;   // the HTTP status when the server answered
    QByteArray body;  // the answer's body when the status is 2xx
};

// GETs `url` (http or https). Waits at most timeoutMs in all; `cancelled`, when
// given, is asked ten times a second and ends the request as "cancelled". A 404 is
// an answer (status 404, no problem); any other failing status is a problem. An
// answer larger than maxBytes, or announced so, is not read into memory.
HttpAnswer HttpGet(const std::string& url, int timeoutMs, qint64 maxBytes,
                   const std::function<bool()>& cancelled = {});

}  // namespace rip
