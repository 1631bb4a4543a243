#pragma once

#include "playback/AudioVisualPattern.h"
#include "playback/CoverageRasterizer.h"
#include "playback/PatternFrame.h"

#include <QPolygonF>

class QImage;

namespace orvelo {

// Draws one of the generated patterns, one frame at a time, from the values captured in a
// PatternFrame. One renderer per selected pattern: the two audio patterns remember the last
// beat, and a new selection starts a new renderer (so no flash shows until the next beat).
// Drawing only touches the image it is given, so a renderer may live on any one thread.
class PatternRenderer {
public:
    enum class Style {
        // The output window and the preview: gradients and glow strokes.
        screen,
        // The NDI source: solid fills and single strokes; the strobe shows while the beat flag
        // holds (no fade) and the ring keeps its size on beats.
        flat,
    };

    // Element counts beyond this are drawn as this many: smaller cells are a few pixels wide
    // at most, and a plasma grid of n² cells would take long enough to stall the display.
    static constexpr int maxElements = 256;

    explicit PatternRenderer(AudioVisualPattern pattern, Style style = Style::screen);

    AudioVisualPattern pattern() const { return pattern_; }
    Style style() const { return style_; }

    // Draws one frame over the whole of `image` (Format_ARGB32_Premultiplied, or RGB32), on a
    // black backdrop: the pattern's own background, if it has one, goes over that.
    void draw(QImage& image, const PatternFrame& frame);

private:
    void noteBeat(const PatternFrame& frame);
    void drawPlasma(QImage& image, double t, const PatternFrame& f) const;
    void drawStripes(QImage& image, double t, const PatternFrame& f, bool horizontal) const;
    void drawOscilloscope(QImage& image, double t, const PatternFrame& f);
    void drawSpectrumBars(QImage& image, double t, const PatternFrame& f) const;
    void drawCircularWave(QImage& image, double t, const PatternFrame& f);
    void drawWaveformMirror(QImage& image, double t, const PatternFrame& f);
    void drawBeatStrobe(QImage& image, const PatternFrame& f) const;
    void drawPulsingRing(QImage& image, const PatternFrame& f);

    AudioVisualPattern pattern_;
    Style style_;
    double lastBeatTime_ = 0.0;
    bool previousBeat_ = false;
    CoverageRasterizer rasterizer_;
    QPolygonF points_; // the current curve, reused from frame to frame
};

} // namespace orvelo
