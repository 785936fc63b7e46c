// One bounded HTTP GET for the services the program asks (AccurateRip, CTDB,
// MusicBrainz, the cover archive): waits at most a given time, refuses answers larger
// than a limit, follows redirects that stay as safe, and can be called off. Runs a
// local event loop: call it on a thread with a Qt application object.
#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <functional>
#include <string>

namespace rip {

// What a request sends beyond its address; an empty field leaves Qt's default.
struct HttpRequestOptions {
    std::string userAgent;
    std::string accept;    // the Accept header
    int maxRedirects = 0;  // 0: Qt's default
};

struct HttpAnswer {
    // How the request ended. Answered covers every status the server gave that is not
    // a failure: 2xx, and 404 (a service's "not known").
    enum class Outcome { Answered, Cancelled, TooLarge, TimedOut, Failed };
    Outcome outcome = Outcome::Failed;
    // Empty when Answered; else why nothing usable came ("cancelled", "no answer within
    // 15 s", the network's own error text...).
    std::string problem;
    int status = 0;   // the HTTP status when the server answered
    QByteArray body;  // the answer's body when the status is 2xx
};

// GETs `url` (http or https). Waits at most timeoutMs in all; `cancelled`, when
// given, is asked ten times a second and ends the request as "cancelled". A 404 is
// an answer (status 404, no problem); any other failing status is a problem. An
// answer larger than maxBytes, or announced so, is not read into memory.
HttpAnswer HttpGet(const std::string& url, int timeoutMs, qint64 maxBytes,
                   const std::function<bool()>& cancelled = {},
                   const HttpRequestOptions& options = {});

}  // namespace rip
