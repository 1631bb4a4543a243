#include "platform/Log.h"

#include "platform/LogLimiter.h"
#include "platform/LogPriority.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
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

bool writingToJournal()
{
    static const bool journal = [] {
        struct stat out {};
        return fstat(fileno(stdout), &out) == 0 &&
               isJournalStream(std::getenv("JOURNAL_STREAM"), out.st_dev, out.st_ino);
    }();
    return journal;
}
} // namespace

void logLine(std::string_view line, std::string_view floodKey)
{
    std::lock_guard lock(logMutex());
    const auto written = limiter().offer(line, floodKey, LogLimiter::Clock::now());
    for (const std::string& text : written) {
        if (writingToJournal())
            std::fprintf(stdout, "<%d>", static_cast<int>(priorityOf(text)));
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
