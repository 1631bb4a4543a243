#pragma once

#include "web/HttpRequestFramer.h"
#include "web/HttpResponse.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/tcp_stream.hpp>

#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace orvelo {

class HttpResponder;

// One accepted TCP connection: reads one request within the request timeout, hands it on,
// writes the single answer, then waits briefly for the client to close before closing
// itself, so a client still sending (an oversize request) is not reset before it has read the
// answer. All its work runs on its own strand; send and close may be called from any thread.
class HttpConnection : public std::enable_shared_from_this<HttpConnection> {
public:
    using RequestHandler = std::function<void(std::string request, HttpResponder responder)>;

    struct Timing {
        std::chrono::milliseconds request;       // to deliver the whole request
        std::chrono::milliseconds writeAndLinger; // to take the answer and close
    };

    HttpConnection(boost::asio::ip::tcp::socket socket, Timing timing, std::shared_ptr<const RequestHandler> onRequest,
                   std::function<void()> onFinished);

    void start();
    void send(HttpResponse response);
    void closeWithoutAnswer();

private:
    void readRequest();
    void onRead(boost::beast::error_code error, std::size_t count);
    void deliver();
    void write(HttpResponse response);
    void drainUntilClosed();
    void finish();

    boost::beast::tcp_stream stream_;
    Timing timing_;
    std::shared_ptr<const RequestHandler> onRequest_;
    std::function<void()> onFinished_;
    HttpRequestFramer framer_;
    std::array<char, 16384> readBuffer_{};
    std::string outgoing_;
    bool answered_ = false;
    bool finished_ = false;
};

} // namespace orvelo
