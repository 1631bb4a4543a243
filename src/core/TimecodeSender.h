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
    struct Frame {
        long long number;
        Send send;
    };
    struct Pending {
        Clock::time_point due;
        Frame frame;
    };

    explicit TimecodeSender(bool ownThread = true);
    ~TimecodeSender();
    TimecodeSender(const TimecodeSender&) = delete;
    TimecodeSender& operator=(const TimecodeSender&) = delete;

    // Sends `now` if given, else what is already due; then keeps `ahead` (if any) for its time in
    // place of what was waiting. A frame `now` that the thread sent on time since the last update
    // (the caller decided a moment before it went out) is not sent again. Any thread.
    void update(std::optional<Frame> now, std::optional<Pending> ahead);

private:
    void run();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<Pending> pending_;
    std::optional<long long> sentAhead_;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace orvelo
