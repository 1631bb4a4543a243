#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace orvelo {

// Puts the timecode frame that is coming on the wire at the moment it is due, from a thread of
// its own ("TimecodeSender"): the main thread, busy with pictures, wakes milliseconds late,
// which a console reads as jitter. Every send goes through one lock, so the console gets the
// frames in order. Without its own thread (tests), a frame that came due goes out at the next
// update instead.
class TimecodeSender {
public:
    using Clock = std::chrono::steady_clock;
    using Send = std::function<void()>;
    struct Pending {
        Clock::time_point due;
        Send send;
    };

    explicit TimecodeSender(bool ownThread = true);
    ~TimecodeSender();
    TimecodeSender(const TimecodeSender&) = delete;
    TimecodeSender& operator=(const TimecodeSender&) = delete;

    // Sends `now` if given, else what is already due; then keeps `ahead` (if any) for its time in
    // place of what was waiting. Any thread.
    void update(const Send& now, std::optional<Pending> ahead);

private:
    void run();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<Pending> pending_;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace orvelo
