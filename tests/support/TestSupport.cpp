#include "TestSupport.h"

#include "platform/Log.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <filesystem>
#include <fstream>

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
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < duration.count()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
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

bool LogCapture::contains(const std::string& line) const
{
    return indexOf(line) >= 0;
}

int LogCapture::indexOf(const std::string& line) const
{
    std::lock_guard lock(mutex_);
    const auto it = std::find(lines_.begin(), lines_.end(), line);
    return it == lines_.end() ? -1 : static_cast<int>(it - lines_.begin());
}

int LogCapture::count(const std::string& line) const
{
    std::lock_guard lock(mutex_);
    return static_cast<int>(std::count(lines_.begin(), lines_.end(), line));
}

bool LogCapture::containsPrefix(const std::string& prefix) const
{
    std::lock_guard lock(mutex_);
    return std::any_of(lines_.begin(), lines_.end(),
                       [&](const std::string& l) { return l.size() > prefix.size() && l.starts_with(prefix); });
}

void LogCapture::clear()
{
    std::lock_guard lock(mutex_);
    lines_.clear();
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
