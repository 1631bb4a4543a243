#include "core/TimecodePacer.h"

#include <algorithm>
#include <cmath>

namespace orvelo {

TimecodePacer::Decision TimecodePacer::observe(double position, double framesPerSecond, double rate,
                                               Clock::time_point now)
{
    using std::chrono::milliseconds;
    if (!std::isfinite(position) || position < 0.0 || !(framesPerSecond > 0.0))
        return {std::nullopt, heldInterval};
    // The small allowance keeps a position that lands exactly on a boundary on its frame.
    const long long frame = static_cast<long long>(std::floor(position * framesPerSecond + 1e-6));
    const bool playing = rate > 0.0 && std::isfinite(rate);
    const bool moved = frame != lastFrame_;
    const bool heldDue = !playing && now - lastSent_ >= heldInterval;
    std::optional<long long> send;
    if (moved || heldDue) {
        send = frame;
        lastFrame_ = frame;
        lastSent_ = now;
    }
    if (!playing)
        return {send, std::chrono::duration_cast<milliseconds>(heldInterval - (now - lastSent_))};
    // Look again just after the position crosses into the next frame.
    const double untilNext = (static_cast<double>(frame + 1) / framesPerSecond - position) / rate;
    const auto wait = milliseconds(static_cast<long long>(std::ceil(untilNext * 1000.0)) + 1);
    return {send, std::clamp(wait, milliseconds(1), milliseconds(heldInterval))};
}

void TimecodePacer::reset()
{
    lastFrame_.reset();
    lastSent_ = {};
}

} // namespace orvelo
