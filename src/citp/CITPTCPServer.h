#pragma once

#include "citp/CITPStreamFramer.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace orvelo {

// The CITP TCP side: a listening socket read by the "CITPTCPAccept" thread and one
// "CITPTCPClient" thread per connection, which cuts the stream into messages and sends back
// what the message handler answers. Connections are capped, per peer address and in all, and
// silent ones closed, so that no peer can hold threads and descriptors without end; when every
// place is taken, the client heard from longest ago gives way, so that a console is never locked
// out. The handlers run on the client threads. Start and stop from one thread (the main thread).
class CITPTCPServer {
public:
    struct Options {
        std::uint16_t port = 4809; // 0 lets the system choose
        std::size_t maxClients = 32;
        // A further connection from an address that holds this many is closed at once.
        std::size_t maxClientsPerAddress = 4;
        std::chrono::milliseconds idleTimeout{std::chrono::minutes(5)};
        // A client that has sent nothing this long after connecting is closed.
        std::chrono::milliseconds firstMessageTimeout{std::chrono::seconds(10)};
    };

    struct Handlers {
        // The number of open connections changed (accept or client thread).
        std::function<void()> connectionsChanged;
        // One read from a client, before framing, for the traffic log.
        std::function<void(const std::string& address, std::span<const std::uint8_t> bytes)> received;
        // One complete message; returns the answer to send on the same connection, if any.
        std::function<std::optional<std::vector<std::uint8_t>>(const std::string& address,
                                                               std::span<const std::uint8_t> message)>
            message;
        // An answer went out.
        std::function<void(const std::string& address, std::span<const std::uint8_t> bytes)> sent;
    };

    CITPTCPServer(Options options, Handlers handlers);
    ~CITPTCPServer();
    CITPTCPServer(const CITPTCPServer&) = delete;
    CITPTCPServer& operator=(const CITPTCPServer&) = delete;

    // Opens the listening socket and starts the accept thread; false, after logging why, when
    // the socket cannot be set up.
    bool start();
    // Wakes and joins every thread, then closes every socket. Nothing runs afterwards.
    void stop();

    bool isRunning() const { return listenFD_ >= 0; }
    // The bound port (the chosen one when the options asked for 0); 0 while stopped.
    std::uint16_t port() const { return boundPort_; }
    // Connections whose client thread is still serving. Any thread.
    int openConnections() const { return openConnections_.load(); }

private:
    using Clock = std::chrono::steady_clock;

    struct Client {
        // Closed, and set to -1, under clientsMutex_: a client made to give way is shut down
        // under it too, so never through a descriptor number already handed out again.
        int fd = -1;
        std::string address;
        std::thread thread;
        // The last read, or the connection while nothing was read; written by the client thread.
        std::atomic<Clock::time_point> lastHeard;
        // Under clientsMutex_; such a client no longer counts against the caps.
        bool givingWay = false;
        std::atomic<bool> finished{false};
    };

    void acceptLoop();
    void admit(int fd, const std::string& address);
    void serve(Client& client);
    bool sendAll(int fd, std::span<const std::uint8_t> bytes) const;
    // Joins the threads of clients that have ended. Accept thread and stop only.
    void reapFinished();

    const Options options_;
    const Handlers handlers_;
    int listenFD_ = -1;
    int wakeFD_ = -1;
    std::uint16_t boundPort_ = 0;
    std::atomic<bool> shouldStop_{false};
    std::atomic<int> openConnections_{0};
    std::thread acceptThread_;
    std::mutex clientsMutex_;
    std::list<std::unique_ptr<Client>> clients_;
};

} // namespace orvelo
