#include "platform/Log.h"

#include <cstdio>
#include <mutex>

namespace orvelo {

namespace {
std::mutex& logMutex()
{
    static std::mutex mutex;
    return mutex;
}

LogObserver& observerSlot()
{
    static LogObserver observer;
    return observer;
}
} // namespace

void logLine(std::string_view line)
{
    std::lock_guard lock(logMutex());
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    if (auto& observer = observerSlot())
        observer(line);
}

void setLogObserver(LogObserver observer)
{
    std::lock_guard lock(logMutex());
    observerSlot() = std::move(observer);
}

} // namespace orvelo
