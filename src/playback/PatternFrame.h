#pragma once

#include "playback/PatternParameters.h"

#include <QColor>
#include <QDateTime>

namespace orvelo {

// Everything one pattern frame is drawn from, captured when the frame is drawn: the drawing
// itself reads no settings and no analyser, so it can run on any thread. Until captured, the
// look is a fresh installation's.
struct PatternFrame {
    double time = 0.0;                        // seconds since the reference date (patternTimeNow)
    double speed = PatternParameters{}.speed; // multiplies time
    double size = PatternParameters{}.size;   // element count, truncated toward zero
    double gap = PatternParameters{}.gap;     // points between elements
    QColor color1 = PatternParameters{}.color1;
    QColor color2 = PatternParameters{}.color2;
    float amplitude = 0.5f; // 0..1
    bool beat = false;
};

// Pattern time: seconds since 2001-01-01 00:00:00 UTC, the reference date the animation
// formulas count from.
inline double patternTimeNow()
{
    constexpr qint64 referenceDateMsSinceEpoch = 978307200000LL;
    return static_cast<double>(QDateTime::currentMSecsSinceEpoch() - referenceDateMsSinceEpoch) / 1000.0;
}

} // namespace orvelo
