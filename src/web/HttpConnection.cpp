#include "web/HttpConnection.h"

#include "platform/Log.h"
#include "web/HttpResponder.h"

#include <boost/asio/dispatch.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/error.hpp>

namespace orvelo {

namespace net = boost::asio;
namespace beast = boost::beast;

HttpConnection::HttpConnection(net::ip::tcp::socket socket, Timing timing,
                               std::shared_ptr<const RequestHandler> onRequest, std::function<void()> onFinished)
    : stream_(std::move(socket)),
      timing_(timing),
      onRequest_(std::move(onRequest)),
      onFinished_(std::move(onFinished))
{
}

void HttpConnection::start()
{
    net::dispatch(stream_.get_executor(), [self = shared_from_this()] {
        // One deadline for the whole request: a client that trickles bytes cannot hold its
        // slot longer than one that sends nothing.
        self->stream_.expires_after(self->timing_.request);
        self->readRequest();
    });
}

void HttpConnection::send(HttpResponse response)
{
    net::post(stream_.get_executor(), [self = shared_from_this(), response = std::move(response)]() mutable {
        self->write(std::move(response));
    });
}

void HttpConnection::closeWithoutAnswer()
{
    net::post(stream_.get_executor(), [self = shared_from_this()] {
        if (!self->answered_) {
            self->answered_ = true;
            self->finish();
        }
    });
}

void HttpConnection::readRequest()
{
    stream_.async_read_some(net::buffer(readBuffer_),
                            [self = shared_from_this()](beast::error_code error, std::size_t count) {
                                self->onRead(error, count);
                            });
}

void HttpConnection::onRead(beast::error_code error, std::size_t count)
{
    if (answered_)
        return;
    if (error == net::error::eof) {
        // The client has said all it will: what arrived is the request.
        if (framer_.finish() == HttpRequestFramer::State::complete) {
            deliver();
        } else {
            answered_ = true;
            finish();
        }
        return;
    }
    if (error == beast::error::timeout || error == net::error::operation_aborted) {
        answered_ = true;
        finish();
        return;
    }
    if (error) {
        logLine("WebServer: Receive error: " + error.message());
        answered_ = true;
        finish();
        return;
    }
    switch (framer_.append(std::string_view(readBuffer_.data(), count))) {
    case HttpRequestFramer::State::incomplete:
        readRequest();
        break;
    case HttpRequestFramer::State::complete:
        deliver();
        break;
    case HttpRequestFramer::State::tooLarge:
        write(HttpResponse::plainText(413, "Payload Too Large"));
        break;
    }
}

void HttpConnection::deliver()
{
    // No read is pending while the answer is prepared (possibly on the main thread), so the
    // deadline has nothing to cancel; the write sets its own.
    (*onRequest_)(framer_.request(), HttpResponder(weak_from_this()));
}

void HttpConnection::write(HttpResponse response)
{
    if (answered_)
        return;
    answered_ = true;
    outgoing_ = response.serialize();
    stream_.expires_after(timing_.writeAndLinger);
    net::async_write(stream_, net::buffer(outgoing_),
                     [self = shared_from_this()](beast::error_code error, std::size_t) {
                         if (error) {
                             self->finish();
                             return;
                         }
                         beast::error_code ignored;
                         self->stream_.socket().shutdown(net::ip::tcp::socket::shutdown_send, ignored);
                         self->drainUntilClosed();
                     });
}

void HttpConnection::drainUntilClosed()
{
    stream_.async_read_some(net::buffer(readBuffer_),
                            [self = shared_from_this()](beast::error_code error, std::size_t) {
                                if (error)
                                    self->finish();
                                else
                                    self->drainUntilClosed();
                            });
}

void HttpConnection::finish()
{
    if (finished_)
        return;
    finished_ = true;
    beast::error_code ignored;
    stream_.socket().shutdown(net::ip::tcp::socket::shutdown_both, ignored);
    stream_.socket().close(ignored);
    if (onFinished_)
        onFinished_();
}

} // namespace orvelo
