#pragma once

#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace orvelo::test {

// Tests that run the whole application on its own ports take turns, across processes: its
// Art-Net start clears port 6454 of other holders, which would kill another such test.
class DefaultPortsTurn {
public:
    DefaultPortsTurn()
        : fd_(::open((std::string(std::getenv("ORVELO_BUILD_DIR")) + "/default-ports.lock").c_str(),
                     O_RDWR | O_CREAT | O_CLOEXEC, 0644))
    {
        if (fd_ >= 0)
            ::flock(fd_, LOCK_EX);
    }
    ~DefaultPortsTurn()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    DefaultPortsTurn(const DefaultPortsTurn&) = delete;
    DefaultPortsTurn& operator=(const DefaultPortsTurn&) = delete;

private:
    int fd_;
};

} // namespace orvelo::test
