// Fetching a small document over HTTP: one GET with a size limit and a deadline, answered once
// with the body, with where the server sent it instead, or with why there is none.
//
// Thread: main thread only. The completion never runs from within `get`; it runs later on the
// main thread, once, unless the request handle is destroyed first.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <variant>

namespace plenhall {

struct HttpRequest {
    std::string url;
    std::string userAgent;
    std::size_t maxBytes = 0;               // a longer body fails as tooLarge
    std::chrono::milliseconds deadline{0};  // from the start to the last byte
};

enum class HttpFailure {
    invalidAddress,  // the URL cannot be requested at all
    network,         // no answer: name lookup, connection, TLS, a broken transfer
    status,          // the server answered with a status other than 200
    tooLarge,        // the body went past maxBytes
    timedOut,        // the deadline passed first
};

struct HttpError {
    HttpFailure failure;
    int status = 0;      // the HTTP status, for `status`
    std::string detail;  // the reason phrase for `status`; the transport's own words for `network`
};

// The server sent the request on to another address. The client never follows a redirect itself:
// where a request may go is the caller's decision.
struct HttpRedirect {
    std::string location;  // absolute: the Location header resolved against the request's URL
};

using HttpResult = std::variant<std::string, HttpError, HttpRedirect>;

class HttpClient {
  public:
    // A request under way; destroying it cancels the request and its completion never runs. It
    // may be destroyed from within its own completion.
    class Request {
      public:
        virtual ~Request() = default;
    };

    virtual ~HttpClient() = default;
    [[nodiscard]] virtual std::unique_ptr<Request> get(
        const HttpRequest& request, std::function<void(HttpResult)> completion) = 0;
};

}  // namespace plenhall
