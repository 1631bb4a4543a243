#pragma once

#include "playback/AudioVisualPattern.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <array>
#include <optional>

namespace orvelo {

class PatternState;

// The patterns auto-rotation steps through: every one in catalogue order but "Black Screen".
inline constexpr std::array<AudioVisualPattern, 9> rotatablePatterns{
    AudioVisualPattern::colorfulAbstract, AudioVisualPattern::verticalStripes, AudioVisualPattern::horizontalStripes,
    AudioVisualPattern::oscilloscope,     AudioVisualPattern::spectrumBars,    AudioVisualPattern::circularWave,
    AudioVisualPattern::waveformMirror,   AudioVisualPattern::beatStrobe,      AudioVisualPattern::pulsingRing,
};

// The pattern after `current` in rotation order, wrapping from the last to the first; from a
// pattern outside the rotation ("Black Screen") it is the first.
AudioVisualPattern nextRotatablePattern(AudioVisualPattern current);

// Stores the next pattern as the selection (which the settings republish and keep).
void rotateToNextPattern(PatternState& state);

// Steps the selected pattern on while auto-rotation is on: a one-second tick on the main
// thread rotates once `rotateInterval` seconds have passed since its last rotation, so
// the period is the interval rounded up to whole ticks. The first tick with auto-rotation on
// rotates at once. Each output view runs one; its memory starts afresh with it.
class PatternAutoRotator : public QObject {
    Q_OBJECT

public:
    static constexpr int tickMilliseconds = 1000;

    explicit PatternAutoRotator(PatternState& state, QObject* parent = nullptr);

    void start();
    void stop();
    bool isRunning() const { return timer_.isActive(); }

    // One tick at `nowSeconds` on a steady clock; the timer calls it with the time since the
    // rotator was made. Returns whether it rotated.
    bool tick(double nowSeconds);

private:
    PatternState& state_;
    QTimer timer_;
    QElapsedTimer clock_;
    std::optional<double> lastRotateTime_; // none: the distant past
};

} // namespace orvelo
