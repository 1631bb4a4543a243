#include "platform/Log.h"

#include "platform/LogLimiter.h"

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

LogLimiter& limiter()
{
    static LogLimiter limiter;
    return limiter;
}
} // namespace

void logLine(std::string_view line, std::string_view floodKey)
{
    std::lock_guard lock(logMutex());
    const auto written = limiter().offer(line, floodKey, LogLimiter::Clock::now());
    for (const std::string& text : written) {
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fputc('\n', stdout);
    }
    if (!written.empty())
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
