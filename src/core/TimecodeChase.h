#pragma once

#include <chrono>
#include <optional>

namespace orvelo {

// Chases incoming timecode: decides which track plays, where and how fast, so that the frame on
// show is the frame the timecode names. The hour picks the playlist entry (or the selected track
// follows, hour ignored); minutes, seconds and frames the position. Small errors are taken up
// with a rate of at most ±2 %, larger ones by a seek (a jam); when timecode stops, the player
// runs on for the freewheel frames, then holds. Pure: timecode, the player's state and times in;
// commands and a lock state out.
class TimecodeChase {
public:
    using Clock = std::chrono::steady_clock;

    enum class Lock { locked, freewheel, lost };

    struct Settings {
        long long offsetFrames = 0;
        bool followSelectedTrack = false;
        int freewheelFrames = 10;
    };

    // Where the player stands: the playlist entry it has (none while nothing is), whether that
    // is still loading (or a seek is on its way), the position of the frame on show, and
    // whether it plays.
    struct Player {
        std::optional<int> track;
        bool loading = false;
        double position = 0.0;
        bool playing = false;
    };

    struct Command {
        std::optional<int> loadTrack; // load and cue this entry
        std::optional<double> seekTo; // seconds within the track
        std::optional<bool> play;     // play (true) or pause (false)
        std::optional<double> rate;   // the playback rate
        bool operator==(const Command&) const = default;
    };

    static constexpr double maxNudge = 0.02;
    static constexpr double jamFrames = 2.0;

    void setSettings(const Settings& settings) { settings_ = settings; }
    // One timecode packet: `frame` counted from midnight at `framesPerSecond`.
    void received(long long frame, double framesPerSecond, Clock::time_point at);
    // What to change so the player shows the timecode's frame at `now`.
    Command look(const Player& player, int selectedTrack, Clock::time_point now);
    // Forget the timecode heard so far (the source changed).
    void reset();

    // Locked from within a frame until a jam is needed; freewheel or lost in a dropout.
    Lock lock() const { return lock_; }
    // The last timecode heard, offset applied, in frames from midnight; none before the first.
    std::optional<long long> incoming() const;
    double framesPerSecond() const { return framesPerSecond_; }
    // The frame on show minus the frame the timecode names, at the last look.
    double errorFrames() const { return errorFrames_; }

private:
    struct Heard {
        long long frame;
        Clock::time_point at;
    };

    Settings settings_;
    std::optional<Heard> last_;
    bool rolling_ = false;
    // When the frame heard last changed.
    Clock::time_point changedAt_{};
    double framesPerSecond_ = 25.0;
    Lock lock_ = Lock::lost;
    double errorFrames_ = 0.0;
    double rate_ = 1.0;
    std::optional<Clock::time_point> lastJam_;
    // How far ahead of the timecode a jam aims (seconds), and whether the next settled look
    // should correct it.
    double jamLead_ = 0.0;
    bool learnLead_ = false;
    // Where a still picture was last sought to.
    std::optional<double> heldAt_;
};

} // namespace orvelo
