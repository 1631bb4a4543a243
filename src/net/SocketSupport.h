#pragma once

#include <cerrno>
#include <cstring>
#include <string>

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

} // namespace orvelo::socketsupport
