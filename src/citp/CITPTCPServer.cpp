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
#include <string_view>
#include <system_error>

namespace orvelo {

namespace {

using socketsupport::setFlag;
using socketsupport::systemText;

constexpr std::size_t readSize = 65536;
// Room for a burst of connections to wait for the accept thread: past it the system drops
// connection attempts, and a console's attempt then waits a second or more for its retry.
constexpr int listenBacklog = 64;
// How long a peer that stopped reading may hold up one answer.
constexpr int sendTimeoutMs = 5000;
// Pause after an accept failure (no descriptors left, say), so it is not retried in a tight loop.
constexpr int acceptRetryMs = 100;
// The accept thread wakes at least this often to join ended client threads.
constexpr int reapIntervalMs = 1000;

// Connection lines of one peer share a flood key, so that a peer opening connections in a loop
// cannot bury the rest of the log.
std::string churnKey(const std::string& address)
{
    return "CITPService: TCP connections from " + address;
}

struct Occupant {
    std::string_view address;
    std::chrono::steady_clock::time_point lastHeard;
};

struct Admission {
    bool admit = false;
    // The occupant to close first, when every place is taken.
    std::optional<std::size_t> giveWay;
};

// Whether a newcomer from `address` is let in among `occupants`: not past the address's cap;
// past the overall one, in place of whoever was heard from longest ago, so that silent
// connections can delay a console but never keep it out.
Admission admission(std::span<const Occupant> occupants, std::string_view address, std::size_t maxClients,
                    std::size_t maxPerAddress)
{
    const auto fromAddress =
        std::count_if(occupants.begin(), occupants.end(), [&](const Occupant& o) { return o.address == address; });
    if (static_cast<std::size_t>(fromAddress) >= maxPerAddress)
        return {};
    // One place at least, so there is always someone to give way.
    if (occupants.size() < std::max<std::size_t>(maxClients, 1))
        return {true, std::nullopt};
    const auto longestIdle = std::min_element(occupants.begin(), occupants.end(),
                                              [](const auto& a, const auto& b) { return a.lastHeard < b.lastHeard; });
    return {true, static_cast<std::size_t>(longestIdle - occupants.begin())};
}

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
    // Joined outside the lock, which each client thread takes once more to close its socket.
    std::list<std::unique_ptr<Client>> ending;
    {
        const std::lock_guard lock(clientsMutex_);
        ending.swap(clients_);
    }
    for (auto& client : ending)
        if (client->thread.joinable())
            client->thread.join();
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
    logLine("CITPService: TCP connection from " + address, churnKey(address));
    auto client = std::make_unique<Client>();
    client->fd = fd;
    client->address = address;
    client->lastHeard = Clock::now();
    Client& admitted = *client;
    {
        const std::lock_guard lock(clientsMutex_);
        std::vector<Client*> present;
        std::vector<Occupant> occupants;
        for (const auto& other : clients_) {
            if (other->fd >= 0 && !other->givingWay) {
                present.push_back(other.get());
                occupants.push_back({other->address, other->lastHeard.load()});
            }
        }
        const Admission decision = admission(occupants, address, options_.maxClients, options_.maxClientsPerAddress);
        if (!decision.admit) {
            logLine("CITPService: TCP connection refused from " + address + " (" +
                        std::to_string(options_.maxClientsPerAddress) + " connections from that address already)",
                    churnKey(address));
            ::close(fd);
            return;
        }
        if (decision.giveWay) {
            // Its thread wakes on the shutdown, closes the socket and ends as after any close.
            Client& longestIdle = *present[*decision.giveWay];
            logLine("CITPService: TCP connection from " + longestIdle.address + " gives way to one from " + address +
                        " (all " + std::to_string(options_.maxClients) + " places taken, it was idle longest)",
                    churnKey(address));
            longestIdle.givingWay = true;
            ::shutdown(longestIdle.fd, SHUT_RDWR);
        }
        ++openConnections_;
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
    CITPStreamFramer framer;
    std::vector<std::uint8_t> buffer(readSize);
    auto lastHeard = client.lastHeard.load();
    bool heard = false;
    pollfd fds[2] = {{client.fd, POLLIN, 0}, {wakeFD_, POLLIN, 0}};
    while (!shouldStop_) {
        // A connection that never spoke is not a console's: it gets the shorter time.
        const auto allowed =
            heard ? options_.idleTimeout : std::min(options_.idleTimeout, options_.firstMessageTimeout);
        const auto idleLeft =
            std::chrono::duration_cast<std::chrono::milliseconds>(allowed - (Clock::now() - lastHeard));
        if (idleLeft.count() <= 0) {
            if (heard)
                logLine("CITPService: Closing idle TCP connection from " + client.address);
            else
                logLine("CITPService: Closing silent TCP connection from " + client.address + " (nothing received in " +
                            std::to_string(allowed.count()) + " ms)",
                        churnKey(client.address));
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
        lastHeard = Clock::now();
        client.lastHeard = lastHeard;
        heard = true;
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
    {
        const std::lock_guard lock(clientsMutex_);
        ::close(client.fd);
        client.fd = -1;
    }
    logLine("CITPService: TCP connection closed from " + client.address, churnKey(client.address));
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
