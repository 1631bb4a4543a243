#pragma once

#include <chrono>
#include <deque>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace orvelo {

// Keeps repeats and floods from burying the line that matters. A line repeated within a
// second is written once, and its repeats are then counted ("... (repeated N times)"); lines
// that share a key (one kind of packet from one sender) are written a few a second and the
// rest counted ("... (N more lines not shown)"). A count is written when its second is over,
// ahead of the next line. Pure: the caller gives the time and serialises the calls.
class LogLimiter {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr Clock::duration window = std::chrono::seconds(1);
    static constexpr int linesPerKey = 5;

    // What to write now, in order: the counts of the seconds that are over, then `line`
    // unless it is held back. An empty key limits identical lines only.
    std::vector<std::string> offer(std::string_view line, std::string_view key, Clock::time_point now);

private:
    struct Window {
        int written = 0;
        long held = 0;
    };
    using Windows = std::map<std::string, Window, std::less<>>;
    struct Closing {
        Clock::time_point at;
        bool isKey;
        std::string name;
    };

    void open(bool isKey, std::string_view name, Clock::time_point now);
    void closeDue(Clock::time_point now, std::vector<std::string>& out);

    Windows lines_;
    Windows keys_;
    // Every open window once, in the order they close (they all last the same time).
    std::deque<Closing> closing_;
};

} // namespace orvelo
