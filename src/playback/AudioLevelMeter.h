#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <span>

namespace orvelo {

// What one audio buffer measured. Levels are raw (not scaled or capped).
struct AudioLevels {
    float rms = 0.0f;
    float peak = 0.0f; // largest absolute sample
    bool beat = false;
    // RMS of the first, second and last third of the buffer (bass, mid, high); absent for
    // buffers of fewer than 3 samples. The bands split the buffer in time, not in frequency.
    std::optional<std::array<float, 3>> bands;
};

// The per-buffer arithmetic of the audio analyser: levels, the running RMS history and beat
// detection. A beat is a buffer whose RMS exceeds both 1.5 times the average of the recent
// buffers (itself included) and an absolute threshold, at least a cooldown after the last one.
// Pure apart from its own state; one thread at a time.
class AudioLevelMeter {
public:
    static constexpr float beatThreshold = 0.4f;
    static constexpr double beatCooldownSeconds = 0.1;
    static constexpr int historySize = 30;

    // One buffer of first-channel samples, `now` in wall-clock seconds. Nothing for an empty
    // buffer or one with samples so large or broken that the sums are not finite (such a
    // buffer leaves the history alone).
    std::optional<AudioLevels> measure(std::span<const float> samples, double now);

private:
    std::array<float, historySize> history_{};
    int historyCount_ = 0;
    int historyNext_ = 0;
    double lastBeatTime_ = -1.0e300; // the distant past
};

} // namespace orvelo
