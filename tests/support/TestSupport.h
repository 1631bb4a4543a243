#pragma once

#include <chrono>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace orvelo::test {

// Runs the Qt event loop until `done` holds or the time runs out; returns `done()`.
bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = std::chrono::milliseconds(3000));

// Runs the event loop for a while, to let queued hand-offs arrive.
void spinFor(std::chrono::milliseconds duration);

// Collects every log line written while it lives.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    std::vector<std::string> lines() const;
    bool contains(const std::string& line) const { return indexOf(line) >= 0; }
    // Index of the first line equal to `line`, or -1.
    int indexOf(const std::string& line) const;
    // How many lines equal `line`; whether a line starts with `prefix` and goes on after it.
    int count(const std::string& line) const;
    bool containsPrefix(const std::string& prefix) const;
    void clear();

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

// Holds an exclusive lock on the file at `path` (made when missing) while it lives: processes
// that take the same lock wait for one another.
class FileLock {
public:
    explicit FileLock(const std::string& path);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    int fd_;
};

bool networkIsIsolated();

// A folder private to the running test binary.
std::string tempDir();

// Threads of this process whose name is `name`: shows whether a stop really ended a receiver.
int threadsNamed(const std::string& name);

} // namespace orvelo::test

// Tests that open sockets send broadcasts and multicast: they run only inside the private
// network namespace that ./orvelo test creates (or with ORVELO_ALLOW_NETWORK=1).
#define ORVELO_REQUIRE_ISOLATED_NETWORK()                                                                              \
    do {                                                                                                               \
        if (!::orvelo::test::networkIsIsolated())                                                                      \
            GTEST_SKIP() << "not in a private network namespace; run through ./orvelo test";                           \
    } while (0)
