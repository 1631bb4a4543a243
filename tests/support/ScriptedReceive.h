#pragma once

#include "net/DatagramReceiver.h"

#include <sys/socket.h>

#include <atomic>
#include <cerrno>
#include <deque>

namespace orvelo::test {

// The system's recvfrom, after any scripted errors, or failing for good once told to. The
// errors are set before the reader starts.
struct ScriptedReceive {
    std::deque<int> errors;
    std::atomic<int> fatal{0};
    // The last read found the queue empty: the reader goes on to wait.
    std::atomic<bool> drained{false};

    DatagramReceiver::ReceiveFunction function()
    {
        return [this](int fd, void* buffer, std::size_t size, sockaddr_in* from) -> ssize_t {
            if (const int error = fatal.load()) {
                errno = error;
                return -1;
            }
            if (!errors.empty()) {
                errno = errors.front();
                errors.pop_front();
                return -1;
            }
            socklen_t length = sizeof *from;
            const ssize_t n = ::recvfrom(fd, buffer, size, 0, reinterpret_cast<sockaddr*>(from), &length);
            drained = n < 0 && errno == EAGAIN;
            return n;
        };
    }
};

} // namespace orvelo::test
