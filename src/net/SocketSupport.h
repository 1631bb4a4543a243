#pragma once

#include <cstring>
#include <string>

#include <sys/socket.h>

// Small helpers shared by the services that own BSD sockets.
namespace orvelo::socketsupport {

inline std::string systemText(int error)
{
    return std::strerror(error);
}

inline void setFlag(int fd, int option)
{
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, option, &one, sizeof one);
}

} // namespace orvelo::socketsupport
