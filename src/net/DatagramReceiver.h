#pragma once

#include <netinet/in.h>
#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace orvelo {

// Why a receiver could not open, or stopped reading.
struct ReceiveFailure {
    enum class Step { createSocket, bind, receive };
    Step step;
    int error = 0;

    // As services publish it: "Failed to bind: Address already in use", "Receive error: ...".
    std::string text() const;
};

// One UDP socket bound on all addresses and the named thread that reads it. The thread hands
// every datagram to the owner's handler and ends on close(), or after a read failed for good,
// which it reports once through the failure handler. Reads that fail only for a moment (an
// interruption, an empty queue, an ICMP refusal left by one of our own sends, memory running
// short) are retried; the unusual ones are logged once per kind and start. Start and close
// from one thread (the main thread).
class DatagramReceiver {
public:
    // The system's recvfrom on the non-blocking socket.
    using ReceiveFunction = std::function<ssize_t(int fd, void* buffer, std::size_t size, sockaddr_in* from)>;
    // Both run on the receive thread (or on the caller of pollOnce).
    using DatagramHandler = std::function<void(std::span<const std::uint8_t> datagram, const sockaddr_in& from)>;
    using FailureHandler = std::function<void(const ReceiveFailure& failure)>;

    // How the socket is read. Tests read with pollOnce() on their own thread, so that a
    // datagram is decoded and answered before the next line runs, and may put failures in
    // place of the system's recvfrom.
    struct Reading {
        bool ownThread = true;
        ReceiveFunction receive;
    };

    struct Options {
        std::uint16_t port = 0; // 0 lets the system choose
        std::string threadName; // at most 15 characters
        std::string logName;    // the owner's name, at the start of its log lines
        std::size_t maxDatagram = 1500;
        int receiveBufferBytes = 0; // 0 keeps the system's size
        Reading reading;

        // A socket on `port` read on a thread of its own, both named `name` (the thread keeps
        // the first 15 characters).
        static Options named(std::uint16_t port, std::string name)
        {
            Options options;
            options.port = port;
            options.threadName = name.substr(0, 15);
            options.logName = std::move(name);
            return options;
        }
    };

    DatagramReceiver(Options options, DatagramHandler onDatagram, FailureHandler onFailure);
    ~DatagramReceiver();
    DatagramReceiver(const DatagramReceiver&) = delete;
    DatagramReceiver& operator=(const DatagramReceiver&) = delete;

    // Creates and binds the socket (address and port shared, broadcast allowed) and starts the
    // thread. A failure is logged and returned, and leaves nothing open. Does nothing while open.
    std::optional<ReceiveFailure> start();
    // Wakes and joins the thread, then closes the socket: no thread ever reads a closed (or
    // reused) descriptor. Never from the receive thread.
    void close();
    // Without the thread: waits up to `timeout` for one datagram and hands it over here. False
    // when none came, or when the read failed for good (reported as the thread would).
    bool pollOnce(std::chrono::milliseconds timeout = std::chrono::milliseconds(2000));

    bool isOpen() const { return fd_ >= 0; }
    // For answers and announcements sent from the same port; -1 while closed.
    int fd() const { return fd_; }
    // The bound port (the chosen one when the options asked for 0); 0 while closed.
    std::uint16_t port() const { return port_; }

private:
    enum class Read { datagram, nothing, stop };

    void receiveLoop();
    // One read; waits up to `waitMs` (-1: until woken) when there is nothing to read.
    Read readOne(int waitMs);
    // True when woken to stop.
    bool waitForData(int waitMs) const;
    void noteRetry(int error);

    const Options options_;
    const ReceiveFunction receive_;
    const DatagramHandler onDatagram_;
    const FailureHandler onFailure_;
    std::vector<std::uint8_t> buffer_;
    int fd_ = -1;
    int wakeFD_ = -1;
    std::uint16_t port_ = 0;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    // The errors already logged this start; reading side only.
    std::vector<int> retriedErrors_;
};

} // namespace orvelo
