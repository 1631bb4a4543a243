#include "core/TimecodePacer.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace orvelo {

TimecodePacer::Decision TimecodePacer::observe(double position, double framesPerSecond, double rate,
                                               Clock::time_point now)
{
    using std::chrono::milliseconds;
    const std::optional<Ahead> ahead = std::exchange(ahead_, std::nullopt);
    if (!std::isfinite(position) || position < 0.0 || !(framesPerSecond > 0.0))
        return {std::nullopt, std::nullopt, heldInterval};
    // The small allowance keeps a position that lands exactly on a boundary on its frame.
    const long long frame = static_cast<long long>(std::floor(position * framesPerSecond + 1e-6));
    const bool playing = rate > 0.0 && std::isfinite(rate);
    const bool aheadWentOut = ahead && now >= ahead->due;
    if (aheadWentOut) {
        lastFrame_ = ahead->frame;
        lastSent_ = ahead->due;
    }
    // While playing, the picture a moment behind the frame that went out on time is no move:
    // saying it again would step the console's timecode back.
    const bool trailing = playing && lastFrame_ && frame == *lastFrame_ - 1;
    const bool moved = frame != lastFrame_ && !trailing;
    const bool heldDue = !playing && now - lastSent_ >= heldInterval;
    std::optional<long long> send;
    if (moved || heldDue) {
        send = frame;
        lastFrame_ = frame;
        lastSent_ = now;
    }
    if (!playing)
        return {send, std::nullopt, std::chrono::duration_cast<milliseconds>(heldInterval - (now - lastSent_))};
    const long long next = std::max(frame, *lastFrame_) + 1;
    const double untilNext = (static_cast<double>(next) / framesPerSecond - position) / rate;
    const auto due = now + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(untilNext));
    ahead_ = Ahead{next, due};
    // Look again just after it is due, to learn where the picture really is.
    const auto wait = milliseconds(static_cast<long long>(std::ceil(untilNext * 1000.0)) + 1);
    return {send, ahead_, std::clamp(wait, milliseconds(1), milliseconds(heldInterval))};
}

void TimecodePacer::reset()
{
    lastFrame_.reset();
    lastSent_ = {};
    ahead_.reset();
}

} // namespace orvelo
