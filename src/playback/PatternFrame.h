#pragma once

#include "playback/AudioVisualPattern.h"

#include <QColor>
#include <QDateTime>

namespace orvelo {

// Everything one pattern frame is drawn from, captured when the frame is drawn: the drawing
// itself reads no settings and no analyser, so it can run on any thread.
struct PatternFrame {
    double time = 0.0;       // seconds since the reference date (patternTimeNow)
    double speed = 1.0;      // multiplies time
    double size = 20.0;      // element count, truncated toward zero
    double gap = 0.0;        // points between elements
    QColor color1{0x80, 0x00, 0x80};
    QColor color2{0xFF, 0xA5, 0x00};
    float amplitude = 0.5f;  // 0..1
    bool beat = false;
};

// Pattern time: seconds since 2001-01-01 00:00:00 UTC, the reference date the animation
// formulas count from.
inline double patternTimeNow()
{
    constexpr qint64 kReferenceDateMsSinceEpoch = 978307200000LL;
    return static_cast<double>(QDateTime::currentMSecsSinceEpoch() - kReferenceDateMsSinceEpoch) / 1000.0;
}

} // namespace orvelo
