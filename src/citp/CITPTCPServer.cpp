#include "citp/CITPTCPServer.h"

#include "net/SocketSupport.h"
#include "platform/Log.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

namespace orvelo {

namespace {

using socketsupport::setFlag;
using socketsupport::systemText;

constexpr std::size_t readSize = 65536;
constexpr int listenBacklog = 5;
// How long a peer that stopped reading may hold up one answer.
constexpr int sendTimeoutMs = 5000;
// Pause after an accept failure (no descriptors left, say), so it is not retried in a tight loop.
constexpr int acceptRetryMs = 100;
// The accept thread wakes at least this often to join ended client threads.
constexpr int reapIntervalMs = 1000;

// Waits up to `timeoutMs` for `fd` to become ready for `events`; false on time-out, error or
// when the stop signal fires first.
bool waitFor(int fd, short events, int wake, int timeoutMs)
{
    pollfd fds[2] = {{fd, events, 0}, {wake, POLLIN, 0}};
    const int ready = ::poll(fds, 2, timeoutMs);
    return ready > 0 && fds[1].revents == 0;
}

} // namespace

CITPTCPServer::CITPTCPServer(Options options, Handlers handlers) : options_(options), handlers_(std::move(handlers))
{
}

CITPTCPServer::~CITPTCPServer()
{
    stop();
}

bool CITPTCPServer::start()
{
    if (listenFD_ >= 0)
        return true;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        logLine("CITPService: Failed to create TCP socket");
        return false;
    }
    setFlag(fd, SO_REUSEADDR);
    setFlag(fd, SO_REUSEPORT);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(options_.port);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        logLine("CITPService: TCP bind failed: " + systemText(errno));
        ::close(fd);
        return false;
    }
    if (::listen(fd, listenBacklog) != 0) {
        logLine("CITPService: TCP listen failed: " + systemText(errno));
        ::close(fd);
        return false;
    }
    const int wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wake < 0) {
        logLine("CITPService: Failed to create TCP socket");
        ::close(fd);
        return false;
    }
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    listenFD_ = fd;
    wakeFD_ = wake;
    boundPort_ = ntohs(address.sin_port);
    shouldStop_ = false;
    logLine("CITPService: TCP listening on port " + std::to_string(boundPort_));
    acceptThread_ = std::thread([this] { acceptLoop(); });
    ::pthread_setname_np(acceptThread_.native_handle(), "CITPTCPAccept");
    return true;
}

void CITPTCPServer::stop()
{
    if (listenFD_ < 0)
        return;
    shouldStop_ = true;
    // The eventfd stays readable once written, so it wakes the accept thread and every client.
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(wakeFD_, &one, sizeof one);
    if (acceptThread_.joinable())
        acceptThread_.join();
    {
        const std::lock_guard lock(clientsMutex_);
        for (auto& client : clients_)
            if (client->thread.joinable())
                client->thread.join();
        clients_.clear();
    }
    ::close(listenFD_);
    ::close(wakeFD_);
    listenFD_ = -1;
    wakeFD_ = -1;
    boundPort_ = 0;
}

void CITPTCPServer::acceptLoop()
{
    pollfd fds[2] = {{listenFD_, POLLIN, 0}, {wakeFD_, POLLIN, 0}};
    while (!shouldStop_) {
        reapFinished();
        const int ready = ::poll(fds, 2, reapIntervalMs);
        if (fds[1].revents != 0)
            return;
        if (ready <= 0)
            continue;
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        const int fd = ::accept4(listenFD_, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            const int error = errno;
            if (shouldStop_)
                return;
            if (error != EINTR && error != EAGAIN && error != EWOULDBLOCK && error != ECONNABORTED)
                waitFor(-1, 0, wakeFD_, acceptRetryMs);
            continue;
        }
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
        admit(fd, text);
    }
}

void CITPTCPServer::admit(int fd, const std::string& address)
{
    logLine("CITPService: TCP connection from " + address);
    if (static_cast<std::size_t>(openConnections_.load()) >= options_.maxClients) {
        logLine("CITPService: TCP connection refused from " + address + " (too many connections)");
        ::close(fd);
        return;
    }
    auto client = std::make_unique<Client>();
    client->fd = fd;
    client->address = address;
    Client& admitted = *client;
    ++openConnections_;
    {
        const std::lock_guard lock(clientsMutex_);
        clients_.push_back(std::move(client));
        try {
            admitted.thread = std::thread([this, &admitted] { serve(admitted); });
        } catch (const std::system_error& error) {
            // Out of threads: this client is turned away, the others go on.
            logLine("CITPService: TCP connection refused from " + address + " (" + error.what() + ")");
            ::close(fd);
            --openConnections_;
            clients_.pop_back();
            return;
        }
        ::pthread_setname_np(admitted.thread.native_handle(), "CITPTCPClient");
    }
    if (handlers_.connectionsChanged)
        handlers_.connectionsChanged();
}

void CITPTCPServer::serve(Client& client)
{
    using Clock = std::chrono::steady_clock;
    CITPStreamFramer framer;
    std::vector<std::uint8_t> buffer(readSize);
    auto lastActivity = Clock::now();
    pollfd fds[2] = {{client.fd, POLLIN, 0}, {wakeFD_, POLLIN, 0}};
    while (!shouldStop_) {
        const auto idleLeft =
            std::chrono::duration_cast<std::chrono::milliseconds>(options_.idleTimeout - (Clock::now() - lastActivity));
        if (idleLeft.count() <= 0) {
            logLine("CITPService: Closing idle TCP connection from " + client.address);
            break;
        }
        const int ready = ::poll(fds, 2, static_cast<int>(std::min<std::int64_t>(idleLeft.count(), 60000)));
        if (ready < 0 && errno != EINTR)
            break;
        if (fds[1].revents != 0)
            break;
        if (ready <= 0)
            continue;
        const ssize_t n = ::recv(client.fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)
                continue;
            break;
        }
        lastActivity = Clock::now();
        const std::span<const std::uint8_t> bytes(buffer.data(), static_cast<std::size_t>(n));
        logLine("CITPService: TCP received " + std::to_string(n) + " bytes from " + client.address);
        if (handlers_.received)
            handlers_.received(client.address, bytes);
        const auto framed = framer.push(bytes);
        bool writable = true;
        for (const auto& message : framed.messages) {
            const auto answer = handlers_.message ? handlers_.message(client.address, message) : std::nullopt;
            if (!answer)
                continue;
            if (!sendAll(client.fd, *answer)) {
                writable = false;
                break;
            }
            if (handlers_.sent)
                handlers_.sent(client.address, *answer);
        }
        if (!writable)
            break;
        if (framed.broken) {
            logLine("CITPService: Dropping TCP connection from " + client.address + ": impossible message size " +
                    std::to_string(framed.badSize));
            break;
        }
    }
    ::close(client.fd);
    logLine("CITPService: TCP connection closed from " + client.address);
    --openConnections_;
    client.finished = true;
    if (handlers_.connectionsChanged)
        handlers_.connectionsChanged();
}

bool CITPTCPServer::sendAll(int fd, std::span<const std::uint8_t> bytes) const
{
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && waitFor(fd, POLLOUT, wakeFD_, sendTimeoutMs))
            continue;
        return false;
    }
    return true;
}

void CITPTCPServer::reapFinished()
{
    const std::lock_guard lock(clientsMutex_);
    for (auto it = clients_.begin(); it != clients_.end();) {
        if ((*it)->finished.load()) {
            (*it)->thread.join();
            it = clients_.erase(it);
        } else {
            ++it;
        }
    }
}

} // namespace orvelo
