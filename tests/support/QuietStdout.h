#pragma once

#include <cstdio>
#include <iostream>

#include <fcntl.h>
#include <unistd.h>

namespace orvelo::test {

// The services log one line per event; while measuring or soaking, standard output goes to
// /dev/null so the terminal is not what is measured. What is printed after it ends still shows.
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

} // namespace orvelo::test
