#pragma once

#include <cstdio>
#include <iostream>

#include <fcntl.h>
#include <unistd.h>

namespace orvelo::bench {

// The services log one line per event; while measuring, standard output goes to /dev/null so
// the terminal's speed is not what is measured. Results printed after it ends still show.
class QuietStdout {
public:
    QuietStdout()
    {
        std::cout.flush();
        std::fflush(stdout);
        saved_ = ::dup(STDOUT_FILENO);
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        ::dup2(null, STDOUT_FILENO);
        ::close(null);
    }
    ~QuietStdout()
    {
        std::cout.flush();
        std::fflush(stdout);
        ::dup2(saved_, STDOUT_FILENO);
        ::close(saved_);
    }
    QuietStdout(const QuietStdout&) = delete;
    QuietStdout& operator=(const QuietStdout&) = delete;

private:
    int saved_ = -1;
};

} // namespace orvelo::bench
