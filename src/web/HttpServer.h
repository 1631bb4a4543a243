#pragma once

#include "web/HttpBodySink.h"
#include "web/HttpResponder.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orvelo {

// The TCP side of the web server: its listeners and their connections on a small pool of threads
// of its own. Each connection carries exactly one request and one answer; what the answer is
// belongs to the request handler, which runs on a pool thread. Destruction closes everything
// and joins the threads.
class HttpServer {
public:
    using RequestHandler = std::function<void(std::string request, const std::string& peer, HttpResponder responder)>;

    struct Options {
        // Every address is listened on with the same port.
        std::vector<std::string> addresses{"0.0.0.0"};
        std::uint16_t port = 8080; // 0 picks a free port (tests)
        int threadCount = 2;
        // A connection that has not delivered a whole request by then is answered 408.
        std::chrono::milliseconds requestTimeout{5000};
        // Time for the client to take the answer and close its side.
        std::chrono::milliseconds writeAndLingerTimeout{5000};
        // Requests whose bodies are taken as a stream (uploads); empty: none are.
        HttpStreamOpener streamOpener;
        // A streamed body whose next bytes take longer than this is abandoned.
        std::chrono::milliseconds bodyStallTimeout{30000};
    };

    struct StartError {
        bool creating; // the listening socket could not be made at all
        std::string text;
    };

    HttpServer(Options options, RequestHandler onRequest);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Opens the listener and starts accepting. Nothing on success.
    std::optional<StartError> start();

    // The bound port once started (the chosen one when the options asked for 0).
    std::uint16_t port() const;
    // Connections accepted and not yet finished.
    std::size_t connectionCount() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace orvelo
