#pragma once

#include "playback/AudioVisualPattern.h"

#include <QColor>

namespace orvelo {

// The operator's choices for the generated pattern, as the output views, the auto-rotation and
// the NDI source read them. The defaults are those of a fresh installation.
struct PatternParameters {
    AudioVisualPattern selected = AudioVisualPattern::blackScreen;
    double speed = 1.0;              // multiplies pattern time
    double size = 20.0;              // element count
    double gap = 0.0;                // points between elements
    QColor color1{0x80, 0x00, 0x80}; // the SVG colour "purple"
    QColor color2{0xFF, 0xA5, 0x00}; // the SVG colour "orange"
    bool autoRotate = false;
    double rotateInterval = 10.0; // seconds
    bool audioReactive = true;

    bool operator==(const PatternParameters&) const = default;
};

} // namespace orvelo
