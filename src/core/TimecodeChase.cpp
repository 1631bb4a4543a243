#include "core/TimecodeChase.h"

#include <algorithm>
#include <cmath>

namespace orvelo {

namespace {

// A gap of this many frames between packets is a dropout, not jitter.
constexpr double dropoutFrames = 2.0;
// An error is taken up over about this long by the rate nudge.
constexpr double correctionSeconds = 1.0;
// Below this error the rate stays at 1: chasing noise would only wobble the picture.
constexpr double deadbandFrames = 0.25;
// The first frames after a seek lands still settle: no second jam before they have.
constexpr auto jamSettle = std::chrono::milliseconds(100);
constexpr double rateStep = 0.005;
constexpr double maxJamLead = 0.5;

} // namespace

void TimecodeChase::received(long long frame, double framesPerSecond, Clock::time_point at)
{
    if (!(framesPerSecond > 0.0))
        return;
    const long long shifted = frame + settings_.offsetFrames;
    if (!last_ || shifted != last_->frame) {
        // A jump while rolling (a rewind on the desk) rolls on: stopping for it would pause the
        // picture and seek it twice.
        rolling_ = last_ && (shifted > last_->frame || rolling_);
        changedAt_ = at;
    } else if (std::chrono::duration<double>(at - changedAt_).count() * framesPerSecond > 1.5) {
        // The same frame again within a frame period is a source that repeats itself; for longer
        // it is a transport standing still.
        rolling_ = false;
    }
    framesPerSecond_ = framesPerSecond;
    last_ = Heard{shifted, at};
}

void TimecodeChase::reset()
{
    last_.reset();
    rolling_ = false;
    lock_ = Lock::lost;
    errorFrames_ = 0.0;
    lastJam_.reset();
    heldAt_.reset();
}

std::optional<long long> TimecodeChase::incoming() const
{
    if (!last_)
        return std::nullopt;
    return last_->frame;
}

TimecodeChase::Command TimecodeChase::look(const Player& player, int selectedTrack, Clock::time_point now)
{
    Command command;
    if (!last_) {
        lock_ = Lock::lost;
        return command;
    }
    const double fps = framesPerSecond_;
    const double gap = std::chrono::duration<double>(now - last_->at).count() * fps;
    // Past the freewheel the player holds where the timecode would have been at its end.
    const bool holding = gap > std::max<double>(settings_.freewheelFrames, dropoutFrames);
    const double elapsed = rolling_ ? std::min(gap, static_cast<double>(settings_.freewheelFrames)) : 0.0;
    const double target = static_cast<double>(last_->frame) + std::max(elapsed, 0.0);
    const double hourFrames = 3600.0 * fps;
    if (target < 0.0) {
        lock_ = Lock::lost;
        if (player.playing)
            command.play = false;
        return command;
    }
    const double hour = std::floor(target / hourFrames);
    const int track = settings_.followSelectedTrack ? selectedTrack : static_cast<int>(hour);
    const double position = (target - hour * hourFrames) / fps;
    const bool running = rolling_ && !holding;

    // A seek shows its frame only after the pipeline has refilled: aim that far ahead, as
    // learned from the error the last jam left.
    const double lead = running ? jamLead_ : 0.0;
    if (player.track != track) {
        command.loadTrack = track;
        command.seekTo = position + lead;
        command.play = running;
        lastJam_ = now;
        heldAt_ = running ? std::nullopt : std::optional(position);
        learnLead_ = false;
        lock_ = Lock::lost;
        return command;
    }
    // A track or a seek on its way is given time: its position says nothing yet. The settling
    // counts from when it has landed.
    if (player.loading) {
        lock_ = Lock::lost;
        lastJam_ = now;
        return command;
    }
    errorFrames_ = (player.position - position) * fps;
    const bool settling = lastJam_ && now - *lastJam_ < jamSettle;
    // A jam that landed most of a frame off is done once more with the lead it taught, rather
    // than nudged for seconds.
    bool again = false;
    if (learnLead_ && !settling && running) {
        jamLead_ = std::clamp(jamLead_ - errorFrames_ / fps, 0.0, maxJamLead);
        learnLead_ = false;
        again = std::abs(errorFrames_) > 0.75;
    }
    // A still picture is sought once: media whose frames fall between the timecode's may never
    // come closer, and seeking it again and again would only flush the pipeline ten times a
    // second.
    const bool soughtAlready = !running && heldAt_ && *heldAt_ == position;
    if ((std::abs(errorFrames_) > (running ? jamFrames : 0.5) || again) && !soughtAlready) {
        if (!settling) {
            heldAt_ = running ? std::nullopt : std::optional(position);
            command.seekTo = position + (running ? jamLead_ : 0.0);
            lastJam_ = now;
            learnLead_ = running && !again;
        }
    } else if (running && !settling) {
        // In steps of half a percent: each change of rate costs the pipeline some work.
        const double error = std::abs(errorFrames_) < deadbandFrames ? 0.0 : errorFrames_ / fps;
        const double wanted = std::clamp(1.0 - error / correctionSeconds, 1.0 - maxNudge, 1.0 + maxNudge);
        const double rate = std::round(wanted / rateStep) * rateStep;
        if (std::abs(rate - rate_) > rateStep / 2)
            command.rate = rate_ = rate;
    }
    if (running)
        heldAt_.reset();
    if (running != player.playing)
        command.play = running;
    if (!running && rate_ != 1.0)
        command.rate = rate_ = 1.0;
    if (gap > dropoutFrames)
        lock_ = holding ? Lock::lost : Lock::freewheel;
    else if (std::abs(errorFrames_) <= 1.0)
        lock_ = Lock::locked;
    else if (lock_ != Lock::locked || std::abs(errorFrames_) > jamFrames)
        // A picture a frame and a bit off, which the nudge is taking up, stays locked: the error
        // of a whole frame against running timecode rises and falls within every frame period,
        // and would otherwise flip the state (and the log) every frame.
        lock_ = Lock::lost;
    return command;
}

} // namespace orvelo
