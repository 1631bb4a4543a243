#pragma once

#include <chrono>
#include <mutex>
#include <optional>

namespace orvelo {

// Lets transport commands from the web through no closer together than a minimum interval,
// so that a double tap, or two phones pressing at once, cannot skip two cues. Ignored
// commands do not move the window. Any thread.
class TransportPacer {
public:
    using Clock = std::chrono::steady_clock;

    // Nothing when the command may run (and it counts from now on); else how long ago the last
    // one ran, in seconds.
    std::optional<double> admit(Clock::time_point now, std::chrono::duration<double> minimumInterval)
    {
        std::lock_guard lock(mutex_);
        if (last_ && now - *last_ < minimumInterval)
            return std::chrono::duration<double>(now - *last_).count();
        last_ = now;
        return std::nullopt;
    }

private:
    std::mutex mutex_;
    std::optional<Clock::time_point> last_;
};

} // namespace orvelo
