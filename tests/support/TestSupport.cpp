#include "TestSupport.h"

#include "platform/Log.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace orvelo::test {

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeout.count())
            return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

void spinFor(std::chrono::milliseconds duration)
{
    waitUntil([] { return false; }, duration);
}

LogCapture::LogCapture()
{
    setLogObserver([this](std::string_view line) {
        std::lock_guard lock(mutex_);
        lines_.emplace_back(line);
    });
}

LogCapture::~LogCapture()
{
    setLogObserver(nullptr);
}

std::vector<std::string> LogCapture::lines() const
{
    std::lock_guard lock(mutex_);
    return lines_;
}

int LogCapture::indexOf(const std::string& line) const
{
    const auto all = lines();
    const auto it = std::find(all.begin(), all.end(), line);
    return it == all.end() ? -1 : static_cast<int>(it - all.begin());
}

int LogCapture::count(const std::string& line) const
{
    const auto all = lines();
    return static_cast<int>(std::count(all.begin(), all.end(), line));
}

bool LogCapture::containsPrefix(const std::string& prefix) const
{
    const auto all = lines();
    return std::any_of(all.begin(), all.end(),
                       [&](const std::string& l) { return l.size() > prefix.size() && l.starts_with(prefix); });
}

void LogCapture::clear()
{
    std::lock_guard lock(mutex_);
    lines_.clear();
}

FileLock::FileLock(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644))
{
    if (fd_ >= 0)
        ::flock(fd_, LOCK_EX);
}

FileLock::~FileLock()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool networkIsIsolated()
{
    const char* isolated = std::getenv("ORVELO_ISOLATED");
    const char* allowed = std::getenv("ORVELO_ALLOW_NETWORK");
    return (isolated && std::string(isolated) == "1") || (allowed && std::string(allowed) == "1");
}

std::string tempDir()
{
    const char* dir = std::getenv("ORVELO_TEST_TMP");
    return dir ? dir : "/tmp";
}

int threadsNamed(const std::string& name)
{
    int count = 0;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream comm(task.path() / "comm");
        std::string taskName;
        count += std::getline(comm, taskName) && taskName == name ? 1 : 0;
    }
    return count;
}

} // namespace orvelo::test
