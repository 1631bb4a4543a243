#pragma once

#include <cerrno>
#include <cstring>
#include <string>

#include <poll.h>
#include <sys/socket.h>

// Small helpers shared by the services that own BSD sockets.
namespace orvelo::socketsupport {

inline std::string systemText(int error)
{
    return std::strerror(error);
}

// Errors after which a UDP socket still works: an interrupted call, a drained queue, an ICMP
// port-unreachable left by one of our own sends, a momentary shortage of memory.
inline bool isTransient(int error)
{
    return error == EINTR || error == EAGAIN || error == EWOULDBLOCK || error == ECONNREFUSED || error == ENOBUFS ||
           error == ENOMEM;
}

inline void setFlag(int fd, int option)
{
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, option, &one, sizeof one);
}

// What a receive loop does after a read failed with `error`.
enum class AfterReceiveError { readAgain, stop, fail };

// Decides it, waiting where there is nothing to do: for data or the wake descriptor
// (waitFor[1]), or only briefly when memory ran short. A real failure is the caller's to report.
inline AfterReceiveError afterReceiveError(int error, pollfd (&waitFor)[2])
{
    if (!isTransient(error))
        return AfterReceiveError::fail;
    if (error == EINTR || error == ECONNREFUSED)
        return AfterReceiveError::readAgain;
    const int timeoutMs = (error == ENOBUFS || error == ENOMEM) ? 10 : -1;
    if (::poll(waitFor, 2, timeoutMs) > 0 && (waitFor[1].revents & POLLIN))
        return AfterReceiveError::stop;
    return AfterReceiveError::readAgain;
}

} // namespace orvelo::socketsupport
