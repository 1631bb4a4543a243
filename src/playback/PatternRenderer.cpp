#include "playback/PatternRenderer.h"

#include <QImage>
#include <QLinearGradient>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace orvelo {

namespace {

constexpr double pi = std::numbers::pi;

QColor withOpacity(QColor colour, double opacity)
{
    colour.setAlphaF(static_cast<float>(std::clamp(colour.alphaF() * opacity, 0.0, 1.0)));
    return colour;
}

// Values from the web API are stored unchecked: a non-finite number draws as 0 rather than
// turning every coordinate into NaN.
double finiteOr0(double value)
{
    return std::isfinite(value) ? value : 0.0;
}

// Gaps beyond a million points all leave nothing of a cell; keeping them there keeps every
// coordinate within what the painter converts to integers.
double boundedGap(double gap)
{
    return std::clamp(finiteOr0(gap), -1e6, 1e6);
}

// Audio levels as the drawing uses them: 0..1, nothing for a non-number.
double unitLevel(float level)
{
    return std::isfinite(level) ? std::clamp(static_cast<double>(level), 0.0, 1.0) : 0.0;
}

// Size is an element count: truncated toward zero, capped so a frame stays cheap.
int elementCount(double size)
{
    if (!(size > 0.0))
        return 0;
    return static_cast<int>(std::min(size, static_cast<double>(PatternRenderer::maxElements)));
}

// The colour a cell ends with when color1 and then color2 at opacity v are filled over the
// opaque black backdrop: one opaque fill instead of two blended ones.
QColor plasmaCellColour(const QColor& c1, const QColor& c2, double v)
{
    const double a1 = c1.alphaF();
    const double a2 = std::clamp(c2.alphaF() * v, 0.0, 1.0);
    const auto mix = [&](double first, double second) {
        return static_cast<float>(std::clamp(second * a2 + first * a1 * (1.0 - a2), 0.0, 1.0));
    };
    return QColor::fromRgbF(mix(c1.redF(), c2.redF()), mix(c1.greenF(), c2.greenF()), mix(c1.blueF(), c2.blueF()),
                            1.0f);
}

// The pattern time counts seconds since 2001, so the time terms of the formulas are angles
// near 1e9 radians, where sin and cos take libm's slow reduction path. Each time term is
// brought into one turn once per frame; what the loops add to it stays small.
double angle(double radians)
{
    return std::isfinite(radians) ? std::remainder(radians, 2.0 * pi) : 0.0;
}

// 2π·turns, for terms given in turns.
double turnsAngle(double turns)
{
    return std::isfinite(turns) ? 2.0 * pi * (turns - std::floor(turns)) : 0.0;
}

} // namespace

PatternRenderer::PatternRenderer(AudioVisualPattern pattern, Style style) : pattern_(pattern), style_(style)
{
}

void PatternRenderer::noteBeat(const PatternFrame& frame)
{
    if (frame.beat && !previousBeat_)
        lastBeatTime_ = frame.time;
    previousBeat_ = frame.beat;
}

void PatternRenderer::draw(QImage& image, const PatternFrame& frame)
{
    if (image.isNull())
        return;
    double t = finiteOr0(frame.time) * finiteOr0(frame.speed);
    if (!std::isfinite(t))
        t = 0.0;
    if (pattern_ == AudioVisualPattern::beatStrobe || pattern_ == AudioVisualPattern::pulsingRing)
        noteBeat(frame);

    image.fill(Qt::black);
    switch (pattern_) {
    case AudioVisualPattern::blackScreen:
        break;
    case AudioVisualPattern::colorfulAbstract:
        drawPlasma(image, t, frame);
        break;
    case AudioVisualPattern::verticalStripes:
        drawStripes(image, t, frame, false);
        break;
    case AudioVisualPattern::horizontalStripes:
        drawStripes(image, t, frame, true);
        break;
    case AudioVisualPattern::oscilloscope:
        drawOscilloscope(image, t, frame);
        break;
    case AudioVisualPattern::spectrumBars:
        drawSpectrumBars(image, t, frame);
        break;
    case AudioVisualPattern::circularWave:
        drawCircularWave(image, t, frame);
        break;
    case AudioVisualPattern::waveformMirror:
        drawWaveformMirror(image, t, frame);
        break;
    case AudioVisualPattern::beatStrobe:
        drawBeatStrobe(image, frame);
        break;
    case AudioVisualPattern::pulsingRing:
        drawPulsingRing(image, frame);
        break;
    }
}

void PatternRenderer::drawPlasma(QImage& image, double t, const PatternFrame& f) const
{
    const double w = image.width();
    const double h = image.height();
    QPainter p(&image);
    const int n = std::max(elementCount(f.size), 2);
    const double gap = boundedGap(f.gap);
    const double cw = w / n;
    const double ch = h / n;
    const double rw = std::max(cw - gap, 1.0);
    const double rh = std::max(ch - gap, 1.0);
    // Cells overlap only when a minimum-size cell is wider than its slot; then the second fill
    // of a cell must blend over its neighbour, so both fills are drawn as they are.
    const bool overlapping = rw > cw || rh > ch;
    const double pa = angle(0.5 * t);
    const double pb = angle(2.0 * t);
    const double pc = angle(0.75 * t);
    for (int i = 0; i < n; ++i) {
        const double fy = static_cast<double>(i) / n;
        const double a = std::sin(fy * 5.0 + pa);
        for (int j = 0; j < n; ++j) {
            const double fx = static_cast<double>(j) / n;
            const double b = std::sin(fx * 10.0 + pb);
            const double c = std::sin((fx * 5.0 + fy * 5.0) * 0.5 + pc);
            const double v = ((a + b + c) / 3.0 + 1.0) * 0.5;
            const QRectF cell(j * cw + gap / 2.0, i * ch + gap / 2.0, rw, rh);
            if (overlapping) {
                p.fillRect(cell, f.color1);
                p.fillRect(cell, withOpacity(f.color2, v));
            } else {
                p.fillRect(cell, plasmaCellColour(f.color1, f.color2, v));
            }
        }
    }
}

void PatternRenderer::drawStripes(QImage& image, double t, const PatternFrame& f, bool horizontal) const
{
    const double w = image.width();
    const double h = image.height();
    QPainter p(&image);
    p.fillRect(QRectF(0, 0, w, h), f.color2);
    const int n = std::max(elementCount(f.size), 2);
    const double gap = boundedGap(f.gap);
    const double length = horizontal ? h : w;
    const double cell = length / (n / 2);
    const double bar = std::max(cell - gap, 1.0);
    const double offset = std::fmod(t * 60.0, 2.0 * cell);
    for (int k = -2; k <= n + 1; ++k) {
        if (k % 2 != 0)
            continue;
        const double pos = k * cell - offset + gap / 2.0;
        p.fillRect(horizontal ? QRectF(0, pos, w, bar) : QRectF(pos, 0, bar, h), f.color1);
    }
}

void PatternRenderer::drawOscilloscope(QImage& image, double t, const PatternFrame& f)
{
    const double w = image.width();
    const double h = image.height();
    // The grid lines are hairlines of width 0.5: each is drawn as the pixel rows (or columns)
    // it touches, in the grid colour weighted by how much of each it covers. (QPainter takes
    // over a millisecond for these eighteen anti-aliased lines at 1080p.)
    const QColor gridColour = withOpacity(QColor(0, 255, 0), 0.15);
    const auto hairline = [&](double centre, bool across) {
        const double from = centre - 0.25;
        const double to = centre + 0.25;
        for (int pixel = static_cast<int>(std::floor(from)); pixel < to; ++pixel) {
            const double covered = std::min(to, pixel + 1.0) - std::max(from, static_cast<double>(pixel));
            if (covered <= 0.0)
                continue;
            const QRect band = across ? QRect(0, pixel, image.width(), 1) : QRect(pixel, 0, 1, image.height());
            CoverageRasterizer::blendRect(image, band, qPremultiply(withOpacity(gridColour, covered).rgba()));
        }
    };
    for (int k = 1; k <= 9; ++k) {
        hairline(h * k / 10.0, true);
        hairline(w * k / 10.0, false);
    }

    const double mid = h / 2.0;
    const double amp = 0.35 * h;
    points_.clear();
    const double pa = turnsAngle(2.0 * t);
    const double pb = turnsAngle(3.0 * t);
    const double pc = turnsAngle(5.0 * t);
    for (double x = 0.0; x < w; x += 2.0) {
        const double pos = x / w;
        const double a = std::sin(2.0 * pi * pos * 8.0 + pa);
        const double b = 0.5 * std::sin(2.0 * pi * pos * 12.0 + pb);
        const double c = std::sin(2.0 * pi * pos * 20.0 + pc);
        points_ << QPointF(x, (a + b + 0.25 * c) / 1.75 * amp + mid);
    }
    if (style_ == Style::flat) {
        const CoverageRasterizer::StrokeLayer single[] = {{2.0, f.color1}};
        rasterizer_.strokeGraph(image, points_, single);
        return;
    }
    const CoverageRasterizer::StrokeLayer glow[] = {
        {6.0, withOpacity(f.color1, 0.3)},
        {3.0, withOpacity(f.color1, 0.5)},
        {1.5, f.color1},
    };
    rasterizer_.strokeGraph(image, points_, glow);
}

void PatternRenderer::drawSpectrumBars(QImage& image, double t, const PatternFrame& f) const
{
    const double w = image.width();
    const double h = image.height();
    QPainter p(&image);
    const int n = std::max(elementCount(f.size), 4);
    const double gap = boundedGap(f.gap);
    const double slot = w / n;
    const double bar = std::max(slot - gap, 2.0);
    const int boosted = n / 4;
    for (int i = 0; i < n; ++i) {
        const double ph = (i + 1) * 0.15 * t;
        const double u = 0.5 * i;
        double v = (std::sin(u + angle(ph)) + 0.5 * std::sin(2.0 * u + angle(1.5 * ph)) +
                    0.3 * std::cos(angle(0.7 * ph) + u) + 1.8) /
                   3.6;
        if (i < boosted)
            v *= 1.3;
        v = std::min(v, 0.95);
        const double height = v * h;
        const double x = i * slot + gap / 2.0;
        const double top = h - height;
        if (style_ == Style::flat) {
            p.fillRect(QRectF(x, top, bar, height), f.color1);
        } else {
            QLinearGradient gradient(QPointF(x, h), QPointF(x, top));
            gradient.setColorAt(0.0, f.color1);
            gradient.setColorAt(1.0, f.color2);
            p.fillRect(QRectF(x, top, bar, height), gradient);
        }
        p.fillRect(QRectF(x, top - 4.0, bar, 2.0), Qt::white);
    }
}

void PatternRenderer::drawCircularWave(QImage& image, double t, const PatternFrame& f)
{
    const double w = image.width();
    const double h = image.height();
    const double cx = w / 2.0;
    const double cy = h / 2.0;
    const double radiusBase = 0.3 * std::min(w, h);
    const double p1 = angle(2.0 * t);
    const double p2 = angle(3.0 * t);
    const double p3 = angle(1.5 * t);
    for (int r = 0; r < 3; ++r) {
        const double o = 0.33 * r;
        points_.clear();
        for (int d = 0; d < 360; d += 2) {
            const double a = d * pi / 180.0;
            const double s1 = std::sin(8.0 * a + p1 + o);
            const double s2 = 0.5 * std::sin(12.0 * a + p2 + o);
            const double c = std::cos(4.0 * a + p3 + o);
            const double radius = ((s1 + s2 + 0.3 * c + 1.8) / 3.6 * 0.5 + 1.0) * radiusBase + 30.0 * r;
            points_ << QPointF(cx + radius * std::cos(a), cy + radius * std::sin(a));
        }
        const QColor colour = r % 2 == 0 ? f.color1 : f.color2;
        const double alpha = 1.0 - 0.25 * r;
        if (style_ == Style::flat) {
            const CoverageRasterizer::StrokeLayer line[] = {{2.0, withOpacity(colour, alpha)}};
            CoverageRasterizer::strokePolyline(image, points_, true, line);
            continue;
        }
        const CoverageRasterizer::StrokeLayer glow[] = {
            {8.0, withOpacity(colour, 0.3 * alpha)},
            {4.0, withOpacity(colour, 0.6 * alpha)},
            {2.0, withOpacity(colour, alpha)},
        };
        CoverageRasterizer::strokePolyline(image, points_, true, glow);
    }
}

void PatternRenderer::drawWaveformMirror(QImage& image, double t, const PatternFrame& f)
{
    const double w = image.width();
    const double h = image.height();
    const double mid = h / 2.0;
    const double amp = 0.4 * h;
    QPolygonF upper;
    QPolygonF lower;
    const auto points = static_cast<qsizetype>(w / 3.0) + 4;
    upper.reserve(points);
    lower.reserve(points);
    upper << QPointF(0, mid);
    lower << QPointF(0, mid);
    const double pa = turnsAngle(2.0 * t);
    const double pb = turnsAngle(3.0 * t);
    const double pc = turnsAngle(4.0 * t);
    const double pd = turnsAngle(t);
    for (double x = 0.0; x < w; x += 3.0) {
        const double pos = x / w;
        const double a = std::sin(2.0 * pi * pos * 6.0 + pa);
        const double b = 0.6 * std::sin(2.0 * pi * pos * 10.0 + pb);
        const double c = 0.3 * std::sin(2.0 * pi * pos * 16.0 + pc);
        const double d = std::sin(2.0 * pi * pos * 3.0 + pd);
        const double v = std::pow(std::abs(0.8 * d + a + b + c) / 2.7, 0.8) * amp;
        upper << QPointF(x, mid - v);
        lower << QPointF(x, mid + v);
    }
    upper << QPointF(w, mid) << QPointF(0, mid);
    lower << QPointF(w, mid) << QPointF(0, mid);

    // Linear gradients along y, from `from` at y0 to `to` at y1, padded beyond both ends.
    const auto fillGradient = [&](const QPolygonF& shape, const QColor& from, double y0, const QColor& to, double y1) {
        const QRgb a = qPremultiply(from.rgba());
        const QRgb b = qPremultiply(to.rgba());
        rasterizer_.reset(image.width(), image.height());
        rasterizer_.addContour(shape);
        rasterizer_.fill(image, [=](int row) {
            const double s = std::clamp((row + 0.5 - y0) / (y1 - y0), 0.0, 1.0);
            const auto mix = [s](int p, int q) { return static_cast<int>(std::lround(p + (q - p) * s)); };
            return qRgba(mix(qRed(a), qRed(b)), mix(qGreen(a), qGreen(b)), mix(qBlue(a), qBlue(b)),
                         mix(qAlpha(a), qAlpha(b)));
        });
    };
    if (style_ == Style::flat) {
        rasterizer_.reset(image.width(), image.height());
        rasterizer_.addContour(upper);
        rasterizer_.fill(image, withOpacity(f.color1, 0.8));
        rasterizer_.reset(image.width(), image.height());
        rasterizer_.addContour(lower);
        rasterizer_.fill(image, withOpacity(f.color2, 0.8));
    } else {
        fillGradient(upper, withOpacity(f.color1, 0.8), mid - amp, withOpacity(f.color1, 0.2), mid);
        fillGradient(lower, withOpacity(f.color2, 0.2), mid, withOpacity(f.color2, 0.8), mid + amp);
    }
    QPainter line(&image);
    line.setPen(QPen(withOpacity(Qt::white, 0.3), 1.0));
    line.drawLine(QPointF(0, mid), QPointF(w, mid));
}

void PatternRenderer::drawBeatStrobe(QImage& image, const PatternFrame& f) const
{
    const double w = image.width();
    const double h = image.height();
    const double amplitude = unitLevel(f.amplitude);
    const auto fill = [&](const QRectF& area, const QColor& colour) {
        CoverageRasterizer::blendRect(image, area.toRect(), qPremultiply(colour.rgba()));
    };
    if (style_ == Style::flat) {
        const double intensity = f.beat ? 1.0 : 0.5 * amplitude;
        if (intensity > 0.1)
            fill(QRectF(0, 0, w, h), withOpacity(f.color1, intensity));
        fill(QRectF(0, h - 30.0, amplitude * w, 30.0), withOpacity(f.color1, 0.7));
        return;
    }
    const double flash = std::max(1.0 - 8.0 * (f.time - lastBeatTime_), 0.0);
    const double intensity = std::max(flash, 0.5 * amplitude);
    if (intensity <= 0.1)
        fill(QRectF(0, 0, w, h), f.color2);
    else
        fill(QRectF(0, 0, w, h), withOpacity(f.color1, std::min(intensity, 1.0)));
    fill(QRectF(0, h - 20.0, amplitude * w, 20.0), withOpacity(f.color1, 0.7));
}

void PatternRenderer::drawPulsingRing(QImage& image, const PatternFrame& f)
{
    const double w = image.width();
    const double h = image.height();
    const double amplitude = unitLevel(f.amplitude);
    const double pulse = style_ == Style::flat ? 0.0 : 0.5 * std::max(1.0 - 3.0 * (f.time - lastBeatTime_), 0.0);
    const double scale = 0.8 * amplitude + 0.3 + pulse;
    const double thick = 20.0 * amplitude;
    const QPointF centre(w / 2.0, h / 2.0);
    const double radiusBase = 0.4 * std::min(w, h);
    for (int i = 0; i < 5; ++i) {
        const double fi = i / 5.0;
        const double radius = (0.8 * fi + 0.2) * radiusBase * scale;
        const QColor colour = i % 2 == 0 ? f.color1 : f.color2;
        const double alpha = 1.0 - 0.3 * fi;
        const double width = (1.0 - 0.5 * fi) * thick + 4.0;
        if (style_ == Style::flat) {
            const CoverageRasterizer::StrokeLayer ring[] = {{width, withOpacity(colour, alpha)}};
            rasterizer_.strokeCircle(image, centre, radius, ring);
            continue;
        }
        const CoverageRasterizer::StrokeLayer ring[] = {
            {width + 10.0, withOpacity(colour, 0.3 * alpha)},
            {width, withOpacity(colour, alpha)},
            {2.0, withOpacity(Qt::white, 0.5 * alpha)},
        };
        rasterizer_.strokeCircle(image, centre, radius, ring);
    }
    const double dot = 30.0 * amplitude + 10.0;
    rasterizer_.reset(image.width(), image.height());
    rasterizer_.addDisc(centre, dot);
    rasterizer_.fill(image, withOpacity(Qt::white, style_ == Style::flat ? 1.0 : 0.8 + 0.2 * pulse));
}

} // namespace orvelo
