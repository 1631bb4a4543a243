#pragma once

#include "web/HttpBodySink.h"
#include "web/HttpRequestFramer.h"
#include "web/HttpResponse.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core/tcp_stream.hpp>

#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace orvelo {

class HttpResponder;

// One accepted TCP connection: reads one request within the request timeout, hands it on,
// writes the single answer (408 when the request is not whole in time, 400 when it cannot be
// read), then waits briefly for the client to close before closing
// itself, so a client still sending (an oversize request) is not reset before it has read the
// answer. A request whose head a streaming route claims (an upload) has its body handed to
// that route's sink as it arrives instead, with a deadline per read rather than for the whole
// request. All its work runs on its own strand; send and close may be called from any thread.
class HttpConnection : public std::enable_shared_from_this<HttpConnection> {
public:
    // `peer` is the client's address, for the log and for limits kept per client.
    using RequestHandler = std::function<void(std::string request, const std::string& peer, HttpResponder responder)>;

    struct Timing {
        std::chrono::milliseconds request;        // to deliver the whole request
        std::chrono::milliseconds writeAndLinger; // to take the answer and close
        std::chrono::milliseconds bodyStall;      // a streamed body: longest wait for its next bytes
    };

    HttpConnection(boost::asio::ip::tcp::socket socket, Timing timing, std::shared_ptr<const RequestHandler> onRequest,
                   std::shared_ptr<const HttpStreamOpener> streamOpener, std::function<void()> onFinished);

    void start();
    void send(HttpResponse response);
    void closeWithoutAnswer();

private:
    void armDeadline(std::chrono::milliseconds after);
    void onDeadline();
    void readRequest();
    void onRead(boost::beast::error_code error, std::size_t count);
    void deliver();
    void beginStream(HttpStreamStart start, std::string_view firstBodyBytes);
    bool takeBody(std::string_view bytes);
    void readBody();
    void onBodyRead(boost::beast::error_code error, std::size_t count);
    void write(HttpResponse response);
    void drainUntilClosed();
    void finish();

    boost::beast::tcp_stream stream_;
    // The request's and a streamed body's deadline. Unlike the stream's own expiry, which closes
    // the socket, it leaves the connection open for the 408 answer.
    boost::asio::steady_timer deadline_;
    std::string peer_;
    Timing timing_;
    std::shared_ptr<const RequestHandler> onRequest_;
    std::shared_ptr<const HttpStreamOpener> streamOpener_;
    std::function<void()> onFinished_;
    HttpRequestFramer framer_;
    bool headOffered_ = false;
    std::unique_ptr<HttpBodySink> sink_;
    std::uint64_t bodyRemaining_ = 0;
    std::vector<char> bodyBuffer_; // only while a body streams
    std::array<char, 16384> readBuffer_{};
    std::string outgoing_;
    bool answered_ = false;
    bool finished_ = false;
};

} // namespace orvelo
