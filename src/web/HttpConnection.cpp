#include "web/HttpConnection.h"

#include "platform/Log.h"
#include "web/HttpResponder.h"

#include <boost/asio/dispatch.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/error.hpp>

#include <algorithm>

namespace orvelo {

namespace net = boost::asio;
namespace beast = boost::beast;

HttpConnection::HttpConnection(net::ip::tcp::socket socket, Timing timing,
                               std::shared_ptr<const RequestHandler> onRequest,
                               std::shared_ptr<const HttpStreamOpener> streamOpener, std::function<void()> onFinished)
    : stream_(std::move(socket)), deadline_(stream_.get_executor()), timing_(timing), onRequest_(std::move(onRequest)),
      streamOpener_(std::move(streamOpener)), onFinished_(std::move(onFinished))
{
    beast::error_code error;
    const auto endpoint = stream_.socket().remote_endpoint(error);
    if (!error)
        peer_ = endpoint.address().to_string();
}

void HttpConnection::start()
{
    net::dispatch(stream_.get_executor(), [self = shared_from_this()] {
        // One deadline for the whole request: a client that trickles bytes cannot hold its
        // slot longer than one that sends nothing.
        self->armDeadline(self->timing_.request);
        self->readRequest();
    });
}

void HttpConnection::armDeadline(std::chrono::milliseconds after)
{
    deadline_.expires_after(after);
    deadline_.async_wait([self = shared_from_this()](beast::error_code error) {
        if (!error)
            self->onDeadline();
    });
}

void HttpConnection::onDeadline()
{
    if (answered_)
        return;
    // The pending read ends as aborted and finds the connection answered.
    beast::error_code ignored;
    stream_.socket().cancel(ignored);
    if (sink_) {
        logLine("WebServer: Upload stalled, closing the connection");
        sink_.reset();
    } else if (framer_.request().empty()) {
        // A connection that never said anything has no request to answer.
        answered_ = true;
        finish();
        return;
    }
    write(HttpResponse::plainText(408, "Request Timeout"));
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
    stream_.async_read_some(
        net::buffer(readBuffer_),
        [self = shared_from_this()](beast::error_code error, std::size_t count) { self->onRead(error, count); });
}

void HttpConnection::onRead(beast::error_code error, std::size_t count)
{
    if (answered_)
        return;
    if (error == net::error::eof) {
        // The client has said all it will: what arrived is the request.
        switch (framer_.finish()) {
        case HttpRequestFramer::State::complete:
            deliver();
            break;
        case HttpRequestFramer::State::malformed:
            write(HttpResponse::plainText(400, "Bad Request"));
            break;
        default:
            answered_ = true;
            finish();
        }
        return;
    }
    if (error == net::error::operation_aborted) {
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
    const std::string_view bytes(readBuffer_.data(), count);
    const std::size_t before = framer_.request().size();
    const HttpRequestFramer::State state = framer_.append(bytes);
    if (!headOffered_ && framer_.headSize() && streamOpener_ && *streamOpener_) {
        headOffered_ = true;
        const std::size_t headSize = *framer_.headSize();
        HttpStreamStart start = (*streamOpener_)(std::string_view(framer_.request()).substr(0, headSize), peer_);
        if (start.claimed) {
            // The head ended within these bytes (it was not complete before them).
            beginStream(std::move(start), bytes.substr(headSize - before));
            return;
        }
    }
    switch (state) {
    case HttpRequestFramer::State::incomplete:
        readRequest();
        break;
    case HttpRequestFramer::State::complete:
        deliver();
        break;
    case HttpRequestFramer::State::tooLarge:
        write(HttpResponse::plainText(413, "Payload Too Large"));
        break;
    case HttpRequestFramer::State::malformed:
        write(HttpResponse::plainText(400, "Bad Request"));
        break;
    }
}

void HttpConnection::deliver()
{
    // No read is pending while the answer is prepared (possibly on the main thread); the write
    // sets its own deadline.
    deadline_.cancel();
    (*onRequest_)(framer_.request(), peer_, HttpResponder(weak_from_this()));
}

void HttpConnection::beginStream(HttpStreamStart start, std::string_view firstBodyBytes)
{
    if (start.answer || !start.sink) {
        write(start.answer ? std::move(*start.answer) : HttpResponse::plainText(500, "Internal Error"));
        return;
    }
    sink_ = std::move(start.sink);
    bodyRemaining_ = start.length;
    // Large reads keep the system calls per megabyte few; the buffer lives as long as the body.
    bodyBuffer_.resize(256 * 1024);
    if (!takeBody(firstBodyBytes))
        return;
    if (start.expectContinue && firstBodyBytes.empty()) {
        static constexpr std::string_view continueAnswer = "HTTP/1.1 100 Continue\r\n\r\n";
        stream_.expires_after(timing_.bodyStall);
        net::async_write(stream_, net::buffer(continueAnswer.data(), continueAnswer.size()),
                         [self = shared_from_this()](beast::error_code error, std::size_t) {
                             if (error) {
                                 self->sink_.reset();
                                 self->answered_ = true;
                                 self->finish();
                                 return;
                             }
                             self->stream_.expires_never();
                             self->readBody();
                         });
        return;
    }
    readBody();
}

// Passes body bytes on; false once the request is answered (all arrived, or the sink refused).
bool HttpConnection::takeBody(std::string_view bytes)
{
    bytes = bytes.substr(0, static_cast<std::size_t>(std::min<std::uint64_t>(bytes.size(), bodyRemaining_)));
    if (!bytes.empty()) {
        if (auto refusal = sink_->write(bytes)) {
            sink_.reset();
            write(std::move(*refusal));
            return false;
        }
        bodyRemaining_ -= bytes.size();
    }
    if (bodyRemaining_ > 0)
        return true;
    HttpResponse response = sink_->finish();
    sink_.reset();
    bodyBuffer_ = {};
    write(std::move(response));
    return false;
}

void HttpConnection::readBody()
{
    // Each read has its own deadline: a large body may take long, but never stall long.
    armDeadline(timing_.bodyStall);
    stream_.async_read_some(
        net::buffer(bodyBuffer_),
        [self = shared_from_this()](beast::error_code error, std::size_t count) { self->onBodyRead(error, count); });
}

void HttpConnection::onBodyRead(beast::error_code error, std::size_t count)
{
    if (answered_)
        return;
    if (error) {
        // Gone or cut short: the body will never be whole. Dropping the sink undoes it.
        if (error != net::error::operation_aborted)
            logLine("WebServer: Upload ended early, closing the connection");
        sink_.reset();
        answered_ = true;
        finish();
        return;
    }
    if (takeBody(std::string_view(bodyBuffer_.data(), count)))
        readBody();
}

void HttpConnection::write(HttpResponse response)
{
    if (answered_)
        return;
    answered_ = true;
    deadline_.cancel();
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
    deadline_.cancel();
    beast::error_code ignored;
    stream_.socket().shutdown(net::ip::tcp::socket::shutdown_both, ignored);
    stream_.socket().close(ignored);
    if (onFinished_)
        onFinished_();
}

} // namespace orvelo
