#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

namespace orvelo {

// The universes other than its own that a DMX input has been sent lately: what tells a
// console on the wrong universe from a dead network. The receive thread counts the frames;
// the main thread looks about once a second, and a universe is forgotten a few seconds after
// its last frame.
class ForeignUniverses {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr Clock::duration forgetAfter = std::chrono::seconds(3);

    // Any thread.
    void count(int universe);

    // Main thread: takes in the frames counted since the last look. The input's own universe
    // (`own`) is never among those heard.
    void look(int own, Clock::time_point now);
    // In ascending order.
    const std::vector<int>& heard() const { return heard_; }
    // Frames of other universes since they were last unheard of.
    std::uint64_t frames() const { return frames_; }
    // Main thread: an input that stops hears nothing.
    void forget();

private:
    std::mutex mutex_;
    std::map<int, std::uint64_t> counted_;

    std::map<int, Clock::time_point> lastHeard_;
    std::vector<int> heard_;
    std::uint64_t frames_ = 0;
};

} // namespace orvelo
