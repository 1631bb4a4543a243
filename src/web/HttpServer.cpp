#include "web/HttpServer.h"

#include "platform/Log.h"
#include "web/HttpConnection.h"

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>

#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace orvelo {

namespace net = boost::asio;
using Tcp = net::ip::tcp;

namespace {
constexpr int threadNiceness = 5;
} // namespace

struct HttpServer::Impl {
    Impl(Options o, RequestHandler handler)
        : options(std::move(o)), onRequest(std::make_shared<const RequestHandler>(std::move(handler))),
          streamOpener(std::make_shared<const HttpStreamOpener>(options.streamOpener))
    {
    }

    void accept(Tcp::acceptor& acceptor);
    void retryAcceptLater(Tcp::acceptor& acceptor);
    void remove(std::uint64_t id);

    Options options;
    std::shared_ptr<const RequestHandler> onRequest;
    std::shared_ptr<const HttpStreamOpener> streamOpener;
    net::io_context io{options.threadCount};
    net::strand<net::io_context::executor_type> acceptStrand{net::make_strand(io)};
    std::vector<std::unique_ptr<Tcp::acceptor>> acceptors;
    // Keeps the threads serving while the listener is between accepts.
    net::executor_work_guard<net::io_context::executor_type> work{io.get_executor()};
    std::atomic<std::uint16_t> boundPort{0};
    std::vector<std::thread> threads;

    // Every connection accepted and not yet finished, keyed so its own completion can remove
    // it. The table is what keeps a connection alive while its answer is being prepared.
    mutable std::mutex connectionsMutex;
    std::unordered_map<std::uint64_t, std::shared_ptr<HttpConnection>> connections;
    std::uint64_t nextId = 0;
};

void HttpServer::Impl::accept(Tcp::acceptor& acceptor)
{
    acceptor.async_accept(net::make_strand(io), [this, &acceptor](boost::system::error_code error, Tcp::socket socket) {
        if (error == net::error::operation_aborted || !acceptor.is_open())
            return;
        if (error) {
            logLine("WebServer: Connection failed: " + error.message());
            // Running out of descriptors fails every accept at once: pause instead of spinning.
            retryAcceptLater(acceptor);
            return;
        }
        const HttpConnection::Timing timing{options.requestTimeout, options.writeAndLingerTimeout,
                                            options.bodyStallTimeout};
        std::shared_ptr<HttpConnection> connection;
        {
            std::lock_guard lock(connectionsMutex);
            const std::uint64_t id = nextId++;
            connection = std::make_shared<HttpConnection>(std::move(socket), timing, onRequest, streamOpener,
                                                          [this, id] { remove(id); });
            connections.emplace(id, connection);
        }
        connection->start();
        accept(acceptor);
    });
}

void HttpServer::Impl::retryAcceptLater(Tcp::acceptor& acceptor)
{
    // A timer of its own per pause, so each listener pauses independently.
    auto timer = std::make_shared<net::steady_timer>(acceptStrand, std::chrono::milliseconds(100));
    timer->async_wait([this, &acceptor, timer](boost::system::error_code error) {
        if (!error)
            accept(acceptor);
    });
}

void HttpServer::Impl::remove(std::uint64_t id)
{
    std::shared_ptr<HttpConnection> last;
    std::lock_guard lock(connectionsMutex);
    const auto it = connections.find(id);
    if (it == connections.end())
        return;
    // Released after the lock: the connection may be finishing inside its own handler.
    last = std::move(it->second);
    connections.erase(it);
}

HttpServer::HttpServer(Options options, RequestHandler onRequest)
    : impl_(std::make_unique<Impl>(std::move(options), std::move(onRequest)))
{
}

HttpServer::~HttpServer()
{
    impl_->io.stop();
    for (auto& thread : impl_->threads)
        thread.join();
    boost::system::error_code ignored;
    for (auto& acceptor : impl_->acceptors)
        acceptor->close(ignored);
    // Connections still open are dropped here; those referenced only by pending handlers go
    // with the io context.
    std::lock_guard lock(impl_->connectionsMutex);
    impl_->connections.clear();
}

std::optional<HttpServer::StartError> HttpServer::start()
{
    std::uint16_t port = impl_->options.port;
    for (const std::string& text : impl_->options.addresses) {
        boost::system::error_code error;
        const auto address = net::ip::make_address(text, error);
        if (error)
            return StartError{true, text + ": " + error.message()};
        const Tcp::endpoint endpoint(address, port);
        auto acceptor = std::make_unique<Tcp::acceptor>(impl_->acceptStrand);
        acceptor->open(endpoint.protocol(), error);
        if (error)
            return StartError{true, error.message()};
        acceptor->set_option(net::socket_base::reuse_address(true), error);
        acceptor->bind(endpoint, error);
        if (!error)
            acceptor->listen(net::socket_base::max_listen_connections, error);
        if (error) {
            boost::system::error_code ignored;
            acceptor->close(ignored);
            for (auto& opened : impl_->acceptors)
                opened->close(ignored);
            return StartError{false, error.message()};
        }
        // A port chosen by the system for the first address is used for the others.
        port = acceptor->local_endpoint(error).port();
        impl_->acceptors.push_back(std::move(acceptor));
    }
    impl_->boundPort = port;

    net::post(impl_->acceptStrand, [impl = impl_.get()] {
        for (auto& acceptor : impl->acceptors)
            impl->accept(*acceptor);
    });
    for (int i = 0; i < std::max(1, impl_->options.threadCount); ++i) {
        impl_->threads.emplace_back([impl = impl_.get()] {
            pthread_setname_np(pthread_self(), "WebServer");
            // Show control comes first: when phones poll hard, the main thread (DMX decoding,
            // playback, timecode) keeps the CPU ahead of these threads.
            setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), threadNiceness);
            impl->io.run();
        });
    }
    return std::nullopt;
}

std::uint16_t HttpServer::port() const
{
    return impl_->boundPort;
}

std::size_t HttpServer::connectionCount() const
{
    std::lock_guard lock(impl_->connectionsMutex);
    return impl_->connections.size();
}

} // namespace orvelo
