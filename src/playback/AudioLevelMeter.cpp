#include "playback/AudioLevelMeter.h"

#include <cmath>

namespace orvelo {

namespace {

// Eight running partial sums, so the loop vectorises without reassociating a single sum.
float sumOfSquares(const float* samples, std::size_t count)
{
    float lanes[8] = {};
    std::size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        for (int j = 0; j < 8; ++j)
            lanes[j] += samples[i + static_cast<std::size_t>(j)] * samples[i + static_cast<std::size_t>(j)];
    }
    float sum = 0.0f;
    for (; i < count; ++i)
        sum += samples[i] * samples[i];
    for (float lane : lanes)
        sum += lane;
    return sum;
}

float maxMagnitude(const float* samples, std::size_t count)
{
    float peak = 0.0f;
    for (std::size_t i = 0; i < count; ++i) {
        const float magnitude = std::fabs(samples[i]);
        peak = magnitude > peak ? magnitude : peak;
    }
    return peak;
}

} // namespace

std::optional<AudioLevels> AudioLevelMeter::measure(std::span<const float> buffer, double now)
{
    const float* samples = buffer.data();
    const std::size_t count = buffer.size();
    if (count == 0 || samples == nullptr)
        return std::nullopt;

    AudioLevels levels;
    float total = 0.0f;
    if (count >= 3) {
        const std::size_t third = count / 3;
        const float bass = sumOfSquares(samples, third);
        const float mid = sumOfSquares(samples + third, third);
        const float high = sumOfSquares(samples + 2 * third, count - 2 * third);
        total = bass + mid + high;
        levels.bands = std::array<float, 3>{
            std::sqrt(bass / static_cast<float>(third)),
            std::sqrt(mid / static_cast<float>(third)),
            std::sqrt(high / static_cast<float>(count - 2 * third)),
        };
    } else {
        total = sumOfSquares(samples, count);
    }
    if (!std::isfinite(total))
        return std::nullopt;
    levels.rms = std::sqrt(total / static_cast<float>(count));
    levels.peak = maxMagnitude(samples, count);

    history_[static_cast<std::size_t>(historyNext_)] = levels.rms;
    historyNext_ = (historyNext_ + 1) % historySize;
    if (historyCount_ < historySize)
        ++historyCount_;
    float sum = 0.0f;
    for (int i = 0; i < historyCount_; ++i)
        sum += history_[static_cast<std::size_t>(i)];
    const float average = sum / static_cast<float>(historyCount_);

    const bool candidate = levels.rms > 1.5f * average && levels.rms > beatThreshold;
    if (candidate && now - lastBeatTime_ > beatCooldownSeconds) {
        lastBeatTime_ = now;
        levels.beat = true;
    }
    return levels;
}

} // namespace orvelo
