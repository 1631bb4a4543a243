#include "playback/CoverageRasterizer.h"

#include "playback/PixelBlocks.h"

#include <QImage>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>

namespace orvelo {

namespace {

// Coverage this close to 0 or 1 counts as none or full: the area sums carry rounding.
constexpr float coverageEpsilon = 1.0f / 512.0f;

// x * a / 255 for each 8-bit component of x, rounded (a in 0..255).
inline std::uint32_t byteMul(std::uint32_t x, std::uint32_t a)
{
    std::uint32_t t = (x & 0xff00ffu) * a;
    t = (t + ((t >> 8) & 0xff00ffu) + 0x800080u) >> 8;
    t &= 0xff00ffu;
    x = ((x >> 8) & 0xff00ffu) * a;
    x = x + ((x >> 8) & 0xff00ffu) + 0x800080u;
    x &= 0xff00ff00u;
    return x | t;
}

// floor and ceil to int without a libm call (the baseline x86-64 has no rounding instruction),
// for coordinates already limited to the drawing area or near it.
inline int floorToInt(double v)
{
    v = std::clamp(v, -1e9, 1e9);
    const int i = static_cast<int>(v);
    return i - (v < i ? 1 : 0);
}

inline int ceilToInt(double v)
{
    v = std::clamp(v, -1e9, 1e9);
    const int i = static_cast<int>(v);
    return i + (v > i ? 1 : 0);
}

inline std::uint32_t alphaOf(float coverage)
{
    return static_cast<std::uint32_t>(coverage * 255.0f + 0.5f);
}

// Source-over of one premultiplied colour onto a run of pixels: the inner loop of every
// translucent stroke, kept in the form the vectoriser takes.
ORVELO_ROW_KERNEL void overSpan(std::uint32_t* __restrict pixels, int length, std::uint32_t src)
{
    const std::uint32_t inverse = 255u - (src >> 24);
    pixelblocks::forEachPixel(length, [=](int i) { pixels[i] = src + byteMul(pixels[i], inverse); });
}

// Source-over of a premultiplied colour onto row[from, to).
void blendSpan(std::uint32_t* row, int from, int to, std::uint32_t src)
{
    const int length = to - from;
    if (length <= 0 || src == 0)
        return;
    if ((src >> 24) == 255) {
        std::fill(row + from, row + to, src);
        return;
    }
    // Most spans are the one or two pixels of an anti-aliased edge: not worth a kernel call.
    if (length < pixelblocks::block) {
        const std::uint32_t inverse = 255u - (src >> 24);
        for (int x = from; x < to; ++x)
            row[x] = src + byteMul(row[x], inverse);
        return;
    }
    overSpan(row + from, length, src);
}

bool drawable(const QImage& image)
{
    return image.format() == QImage::Format_ARGB32_Premultiplied || image.format() == QImage::Format_RGB32;
}

// Points on a circle: segments of about 6 px keep the polygon within 0.02 px of the circle.
int circleSegments(double radius)
{
    const double segments = std::ceil(2.0 * std::numbers::pi * radius / 6.0);
    return static_cast<int>(std::clamp(segments, 16.0, 1024.0));
}

} // namespace

void CoverageRasterizer::reset(int width, int height)
{
    for (int r = firstRow_; r < endRow_ && r < static_cast<int>(rows_.size()); ++r)
        rows_[static_cast<std::size_t>(r)].clear();
    width_ = std::max(width, 0);
    height_ = std::max(height, 0);
    if (rows_.size() < static_cast<std::size_t>(height_))
        rows_.resize(static_cast<std::size_t>(height_));
    firstRow_ = height_;
    endRow_ = 0;
}

void CoverageRasterizer::addContour(std::span<const QPointF> points)
{
    const std::size_t n = points.size();
    if (n < 3)
        return;
    for (const QPointF& p : points) {
        if (!std::isfinite(p.x()) || !std::isfinite(p.y()))
            return;
    }
    for (std::size_t i = 0; i < n; ++i) {
        const QPointF& a = points[i];
        const QPointF& b = points[(i + 1) % n];
        addEdge(a.x(), a.y(), b.x(), b.y());
    }
}

void CoverageRasterizer::addEdge(double x0, double y0, double x1, double y1)
{
    if (y0 == y1)
        return;
    double dir = 1.0;
    if (y0 > y1) {
        std::swap(x0, x1);
        std::swap(y0, y1);
        dir = -1.0;
    }
    if (y1 <= 0.0 || y0 >= height_)
        return;

    // Split where the edge leaves the area sideways: a piece left of it covers every pixel of
    // its rows to its right, as a vertical edge on the left border would; a piece right of it
    // covers nothing.
    std::array<double, 4> cuts{0.0, 1.0, 1.0, 1.0};
    int cutCount = 1;
    if (x0 != x1) {
        double ta = (0.0 - x0) / (x1 - x0);
        double tb = (width_ - x0) / (x1 - x0);
        if (ta > tb)
            std::swap(ta, tb);
        for (const double t : {ta, tb}) {
            if (t > 0.0 && t < 1.0)
                cuts[static_cast<std::size_t>(cutCount++)] = t;
        }
    }
    cuts[static_cast<std::size_t>(cutCount++)] = 1.0;

    for (int c = 0; c + 1 < cutCount; ++c) {
        const double ta = cuts[static_cast<std::size_t>(c)];
        const double tb = cuts[static_cast<std::size_t>(c + 1)];
        if (tb <= ta)
            continue;
        double xa = x0 + (x1 - x0) * ta;
        const double ya = y0 + (y1 - y0) * ta;
        double xb = x0 + (x1 - x0) * tb;
        const double yb = y0 + (y1 - y0) * tb;
        const double mid = (xa + xb) / 2.0;
        if (mid >= width_)
            continue;
        if (mid <= 0.0)
            xa = xb = 0.0;
        xa = std::clamp(xa, 0.0, static_cast<double>(width_));
        xb = std::clamp(xb, 0.0, static_cast<double>(width_));

        // Clip to the area's rows, then walk them. Coordinates are not negative from here on,
        // so truncation is floor.
        const double top = std::max(ya, 0.0);
        const double bottom = std::min(yb, static_cast<double>(height_));
        if (bottom <= top)
            continue;
        const double slope = (xb - xa) / (yb - ya);
        const int firstRow = static_cast<int>(top);
        const int lastRow = std::min(ceilToInt(bottom) - 1, height_ - 1);
        firstRow_ = std::min(firstRow_, firstRow);
        endRow_ = std::max(endRow_, lastRow + 1);
        for (int row = firstRow; row <= lastRow; ++row) {
            const double rowTop = std::max(top, static_cast<double>(row));
            const double rowBottom = std::min(bottom, row + 1.0);
            if (rowBottom <= rowTop)
                continue;
            const double xt = std::max(xa + (rowTop - ya) * slope, 0.0);
            const double xbt = std::max(xa + (rowBottom - ya) * slope, 0.0);
            addRowPiece(rows_[static_cast<std::size_t>(row)], xt, xbt, (rowBottom - rowTop) * dir);
        }
    }
}

void CoverageRasterizer::addRowPiece(std::vector<Cell>& cells, double xa, double xb, double dy)
{
    // The part of a pixel right of the piece is covered: (1 - mean x within the pixel) of dy.
    const auto add = [&](int x, double part, double meanInPixel) {
        if (x < width_)
            cells.push_back({x, static_cast<float>(part * (1.0 - meanInPixel)), static_cast<float>(part)});
    };
    const double left = std::min(xa, xb);
    const double right = std::max(xa, xb);
    const int firstCell = static_cast<int>(left);
    if (right <= firstCell + 1.0) {
        add(firstCell, dy, (left + right) / 2.0 - firstCell);
        return;
    }
    const double perX = dy / (right - left);
    const int endCell = ceilToInt(right);
    for (int c = firstCell; c < endCell; ++c) {
        const double from = std::max(left, static_cast<double>(c));
        const double to = std::min(right, c + 1.0);
        add(c, perX * (to - from), (from + to) / 2.0 - c);
    }
}

void CoverageRasterizer::fill(QImage& image, const QColor& colour)
{
    const QRgb premultiplied = qPremultiply(colour.rgba());
    blend(image, [premultiplied](int) { return premultiplied; });
}

void CoverageRasterizer::fill(QImage& image, const std::function<QRgb(int row)>& premultipliedColourOfRow)
{
    blend(image, premultipliedColourOfRow);
}

void CoverageRasterizer::blend(QImage& image, const std::function<QRgb(int row)>& colourOfRow)
{
    const bool usable = drawable(image) && image.width() >= width_ && image.height() >= height_;
    uchar* const bits = usable ? image.bits() : nullptr;
    const qsizetype stride = image.bytesPerLine();
    for (int r = firstRow_; r < endRow_; ++r) {
        auto& cells = rows_[static_cast<std::size_t>(r)];
        if (cells.empty() || !usable) {
            cells.clear();
            continue;
        }
        std::sort(cells.begin(), cells.end(), [](const Cell& a, const Cell& b) { return a.x < b.x; });
        const QRgb colour = colourOfRow(r);
        const auto shade = [colour](float coverage) {
            const float c = std::min(std::abs(coverage), 1.0f);
            if (c <= coverageEpsilon)
                return 0u;
            return c >= 1.0f - coverageEpsilon ? colour : byteMul(colour, alphaOf(c));
        };
        auto* line = reinterpret_cast<std::uint32_t*>(bits + r * stride);
        float carried = 0.0f; // what the pixels so far pass on to those right of them
        std::size_t i = 0;
        while (i < cells.size()) {
            const int x = cells[i].x;
            float area = 0.0f;
            float cover = 0.0f;
            for (; i < cells.size() && cells[i].x == x; ++i) {
                area += cells[i].area;
                cover += cells[i].cover;
            }
            blendSpan(line, x, x + 1, shade(carried + area));
            carried += cover;
            const int next = i < cells.size() ? cells[i].x : width_;
            if (next > x + 1)
                blendSpan(line, x + 1, next, shade(carried));
        }
        cells.clear();
    }
    firstRow_ = height_;
    endRow_ = 0;
}

void CoverageRasterizer::strokeGraph(QImage& image, std::span<const QPointF> graph, std::span<const StrokeLayer> layers)
{
    const std::size_t n = graph.size();
    if (n < 2 || layers.empty() || layers.size() > maxLayers)
        return;
    if (image.format() != QImage::Format_ARGB32_Premultiplied && image.format() != QImage::Format_RGB32)
        return;
    for (const QPointF& p : graph) {
        if (!std::isfinite(p.x()) || !std::isfinite(p.y()))
            return;
    }
    const int width = image.width();
    const int height = image.height();
    const std::size_t layerCount = layers.size();
    double widest = 0.0;
    std::vector<QRgb> colours(layerCount);
    for (std::size_t l = 0; l < layerCount; ++l) {
        widest = std::max(widest, layers[l].width);
        colours[l] = qPremultiply(layers[l].colour.rgba());
    }
    if (!(widest > 0.0))
        return;

    // How much taller than its width a stroke is where the graph climbs: sqrt(1 + slope²), at
    // each point from its neighbours, interpolated in between so the thickness has no steps.
    std::vector<double> slopeFactors(n);
    for (std::size_t i = 0; i < n; ++i) {
        const QPointF& before = graph[i == 0 ? 0 : i - 1];
        const QPointF& after = graph[i + 1 == n ? n - 1 : i + 1];
        const double dx = after.x() - before.x();
        const double slope = dx != 0.0 ? (after.y() - before.y()) / dx : 0.0;
        slopeFactors[i] = std::sqrt(1.0 + slope * slope);
    }

    // Four sub-columns per pixel column give the horizontal anti-aliasing; the vertical one
    // is exact.
    constexpr int subColumns = 4;
    const int firstColumn = std::max(0, floorToInt(graph.front().x()));
    const int endColumn = std::min(width, ceilToInt(graph.back().x()));
    std::size_t segment = 0;
    std::vector<float> columnCoverage;
    for (int column = firstColumn; column < endColumn; ++column) {
        double centre[subColumns];
        double factor[subColumns];
        bool present[subColumns];
        double top = height;
        double bottom = 0.0;
        for (int k = 0; k < subColumns; ++k) {
            const double xs = column + (k + 0.5) / subColumns;
            while (segment + 2 < n && graph[segment + 1].x() <= xs)
                ++segment;
            const QPointF& a = graph[segment];
            const QPointF& b = graph[segment + 1];
            present[k] = xs >= graph.front().x() && xs <= graph.back().x() && b.x() > a.x();
            if (!present[k])
                continue;
            const double t = (xs - a.x()) / (b.x() - a.x());
            centre[k] = a.y() + (b.y() - a.y()) * t;
            factor[k] = slopeFactors[segment] + (slopeFactors[segment + 1] - slopeFactors[segment]) * t;
            const double reach = widest / 2.0 * factor[k];
            top = std::min(top, centre[k] - reach);
            bottom = std::max(bottom, centre[k] + reach);
        }
        const int firstRow = std::max(0, floorToInt(top));
        const int endRow = std::min(height, ceilToInt(bottom));
        if (endRow <= firstRow)
            continue;
        // Per layer, coverage by row as differences (+ where a sub-column's span enters a row,
        // - where it leaves), so a tall span costs two entries, not one per row.
        const auto rows = static_cast<std::size_t>(endRow - firstRow) + 1;
        columnCoverage.assign(rows * layerCount, 0.0f);
        for (std::size_t l = 0; l < layerCount; ++l) {
            float* diff = columnCoverage.data() + l * rows;
            for (int k = 0; k < subColumns; ++k) {
                if (!present[k])
                    continue;
                const double reach = layers[l].width / 2.0 * factor[k];
                const double a = std::max(centre[k] - reach, static_cast<double>(firstRow)) - firstRow;
                const double b = std::min(centre[k] + reach, static_cast<double>(endRow)) - firstRow;
                if (b <= a)
                    continue;
                // The span [a, b] adds (min(b, r+1) - max(a, r)) / subColumns to row r: a ramp that
                // the running sum below builds from these four changes of slope-free steps.
                const auto ra = static_cast<std::size_t>(a);
                const auto rb = static_cast<std::size_t>(b);
                const float w = 1.0f / subColumns;
                if (ra == rb) {
                    diff[ra] += static_cast<float>((b - a) * w);
                    diff[ra + 1] -= static_cast<float>((b - a) * w);
                    continue;
                }
                diff[ra] += static_cast<float>((ra + 1 - a) * w);
                diff[ra + 1] += static_cast<float>((a - ra) * w);
                diff[rb] -= static_cast<float>((rb + 1 - b) * w);
                if (rb + 1 < rows)
                    diff[rb + 1] -= static_cast<float>((b - rb) * w);
            }
        }
        uchar* const bits = image.bits();
        const qsizetype stride = image.bytesPerLine();
        std::array<float, maxLayers> running{};
        for (int r = firstRow; r < endRow; ++r) {
            auto* pixel = reinterpret_cast<std::uint32_t*>(bits + r * stride) + column;
            std::uint32_t value = *pixel;
            const auto index = static_cast<std::size_t>(r - firstRow);
            for (std::size_t l = 0; l < layerCount; ++l) {
                running[l] += columnCoverage[l * rows + index];
                const float c = running[l];
                if (c <= coverageEpsilon)
                    continue;
                const std::uint32_t src = c >= 1.0f - coverageEpsilon ? colours[l] : byteMul(colours[l], alphaOf(c));
                value = src + byteMul(value, 255u - (src >> 24));
            }
            *pixel = value;
        }
    }
}

void CoverageRasterizer::strokeCircle(QImage& image, QPointF centre, double radius, std::span<const StrokeLayer> layers)
{
    if (layers.empty() || layers.size() > maxLayers || !(radius >= 0.0) || !std::isfinite(radius) ||
        !std::isfinite(centre.x()) || !std::isfinite(centre.y()))
        return;
    if (image.format() != QImage::Format_ARGB32_Premultiplied && image.format() != QImage::Format_RGB32)
        return;
    std::array<double, maxLayers> halves{};
    std::array<QRgb, maxLayers> colours{};
    double widest = 0.0;
    for (std::size_t l = 0; l < layers.size(); ++l) {
        halves[l] = std::max(layers[l].width, 0.0) / 2.0;
        colours[l] = qPremultiply(layers[l].colour.rgba());
        widest = std::max(widest, halves[l]);
    }
    // A pixel's coverage is its distance from the ring's edge, as a box of one pixel across it.
    const double outer = radius + widest + 0.5;
    const int width = image.width();
    const int height = image.height();
    const int firstRow = std::max(0, floorToInt(centre.y() - outer));
    const int endRow = std::min(height, ceilToInt(centre.y() + outer));
    uchar* const bits = image.bits();
    const qsizetype stride = image.bytesPerLine();
    const std::size_t layerCount = layers.size();
    // Most pixels lie wholly inside or outside each layer: for every set of layers that wholly
    // cover a pixel, their colours composited in order, so such a pixel costs one blend.
    std::array<std::uint32_t, 1u << maxLayers> composites{};
    for (unsigned set = 1; set < (1u << layerCount); ++set) {
        std::uint32_t composite = 0;
        for (std::size_t l = 0; l < layerCount; ++l) {
            if (set & (1u << l))
                composite = colours[l] + byteMul(composite, 255u - (colours[l] >> 24));
        }
        composites[set] = composite;
    }
    // Coverage of layer l at distance d from the circle (one pixel across its edges).
    const auto pixelValue = [&](std::uint32_t value, float distance) {
        for (std::size_t l = 0; l < layerCount; ++l) {
            const float c = static_cast<float>(halves[l]) + 0.5f - distance;
            if (c <= coverageEpsilon)
                continue;
            const std::uint32_t src = c >= 1.0f - coverageEpsilon ? colours[l] : byteMul(colours[l], alphaOf(c));
            value = src + byteMul(value, 255u - (src >> 24));
        }
        return value;
    };
    // Which layers wholly cover a pixel at `distance`, or -1 when one covers it in part.
    const auto coverSet = [&](float distance) {
        unsigned set = 0;
        for (std::size_t l = 0; l < layerCount; ++l) {
            const float c = static_cast<float>(halves[l]) + 0.5f - distance;
            if (c >= 1.0f - coverageEpsilon)
                set |= 1u << l;
            else if (c > coverageEpsilon)
                return -1;
        }
        return static_cast<int>(set);
    };

    // Along a row, a pixel's class changes only where its distance from the centre crosses a
    // layer's edge band (radius ± half width ± half a pixel). Between those crossings the
    // pixels either share one composite colour (one span blend) or lie in an edge band
    // (worked out one by one).
    std::array<double, 4 * maxLayers + 2> offsets{};
    const int firstRightPixel = ceilToInt(centre.x() - 0.5);
    for (int row = firstRow; row < endRow; ++row) {
        const double dy = row + 0.5 - centre.y();
        const double ady = std::abs(dy);
        if (ady >= outer)
            continue;
        auto* line = reinterpret_cast<std::uint32_t*>(bits + row * stride);
        std::size_t count = 0;
        offsets[count++] = 0.0;
        for (std::size_t l = 0; l < layerCount; ++l) {
            for (const double rho : {radius - halves[l] - 0.5, radius - halves[l] + 0.5, radius + halves[l] - 0.5,
                                     radius + halves[l] + 0.5}) {
                if (rho > ady)
                    offsets[count++] = std::sqrt(rho * rho - dy * dy);
            }
        }
        offsets[count++] = std::sqrt(outer * outer - dy * dy);
        std::sort(offsets.begin(), offsets.begin() + static_cast<std::ptrdiff_t>(count));

        for (std::size_t k = 0; k + 1 < count; ++k) {
            const double ua = offsets[k];
            const double ub = offsets[k + 1];
            if (ub <= ua)
                continue;
            const double um = (ua + ub) / 2.0;
            const int set = coverSet(static_cast<float>(std::abs(std::sqrt(um * um + dy * dy) - radius)));
            // Pixels whose centres lie at offsets [ua, ub) right of the centre, and left of it.
            const int rightFrom = std::max({ceilToInt(centre.x() + ua - 0.5), firstRightPixel, 0});
            const int rightTo = std::min(ceilToInt(centre.x() + ub - 0.5), width);
            const int leftFrom = std::max(floorToInt(centre.x() - ub - 0.5) + 1, 0);
            const int leftTo = std::min({floorToInt(centre.x() - ua - 0.5) + 1, firstRightPixel, width});
            for (const auto& [from, to] : {std::pair{leftFrom, leftTo}, std::pair{rightFrom, rightTo}}) {
                if (to <= from)
                    continue;
                if (set == 0)
                    continue;
                if (set > 0) {
                    blendSpan(line, from, to, composites[static_cast<std::size_t>(set)]);
                    continue;
                }
                for (int x = from; x < to; ++x) {
                    const double dx = x + 0.5 - centre.x();
                    const auto distance = static_cast<float>(std::abs(std::sqrt(dx * dx + dy * dy) - radius));
                    line[x] = pixelValue(line[x], distance);
                }
            }
        }
    }
}

void CoverageRasterizer::strokePolyline(QImage& image, std::span<const QPointF> points, bool closed,
                                        std::span<const StrokeLayer> layers)
{
    const std::size_t n = points.size();
    if (n < 2 || layers.empty() || layers.size() > maxLayers || !drawable(image))
        return;
    for (const QPointF& p : points) {
        if (!std::isfinite(p.x()) || !std::isfinite(p.y()))
            return;
    }
    const std::size_t layerCount = layers.size();
    std::array<float, maxLayers> halves{};
    std::array<QRgb, maxLayers> colours{};
    float widest = 0.0f;
    for (std::size_t l = 0; l < layerCount; ++l) {
        halves[l] = static_cast<float>(std::max(layers[l].width, 0.0) / 2.0);
        colours[l] = qPremultiply(layers[l].colour.rgba());
        widest = std::max(widest, halves[l]);
    }
    // For every set of layers that wholly cover a pixel, their colours composited in order.
    std::array<std::uint32_t, 1u << maxLayers> composites{};
    for (unsigned set = 1; set < (1u << layerCount); ++set) {
        std::uint32_t composite = 0;
        for (std::size_t l = 0; l < layerCount; ++l) {
            if (set & (1u << l))
                composite = colours[l] + byteMul(composite, 255u - (colours[l] >> 24));
        }
        composites[set] = composite;
    }

    // A pixel's coverage in a layer is its distance from the line, as a box of one pixel
    // across the layer's edge; beyond `reach` no layer touches it.
    const float reach = widest + 0.5f;
    const int width = image.width();
    const int height = image.height();
    struct Segment {
        float ax, ay, dx, dy, inverseLength2;
        int firstRow, endRow, firstColumn, endColumn;
    };
    std::vector<Segment> segments;
    segments.reserve(n);
    const std::size_t count = closed ? n : n - 1;
    for (std::size_t i = 0; i < count; ++i) {
        const QPointF& a = points[i];
        const QPointF& b = points[(i + 1) % n];
        Segment s{};
        s.ax = static_cast<float>(a.x());
        s.ay = static_cast<float>(a.y());
        s.dx = static_cast<float>(b.x() - a.x());
        s.dy = static_cast<float>(b.y() - a.y());
        const float length2 = s.dx * s.dx + s.dy * s.dy;
        s.inverseLength2 = length2 > 0.0f ? 1.0f / length2 : 0.0f;
        s.firstRow = std::max(0, floorToInt(std::min(a.y(), b.y()) - reach));
        s.endRow = std::min(height, ceilToInt(std::max(a.y(), b.y()) + reach));
        s.firstColumn = std::max(0, floorToInt(std::min(a.x(), b.x()) - reach));
        s.endColumn = std::min(width, ceilToInt(std::max(a.x(), b.x()) + reach));
        if (s.firstRow < s.endRow && s.firstColumn < s.endColumn)
            segments.push_back(s);
    }
    if (segments.empty())
        return;
    std::sort(segments.begin(), segments.end(),
              [](const Segment& a, const Segment& b) { return a.firstRow < b.firstRow; });

    // Sweep the rows with the segments whose reach covers them; per row, the nearest squared
    // distance of every pixel they touch.
    constexpr float farAway = 1e30f;
    std::vector<float> nearest(static_cast<std::size_t>(width), farAway);
    std::vector<const Segment*> active;
    std::vector<std::pair<int, int>> touched;
    std::size_t next = 0;
    uchar* const bits = image.bits();
    const qsizetype stride = image.bytesPerLine();
    const float reach2 = reach * reach;
    for (int row = segments.front().firstRow; row < height; ++row) {
        while (next < segments.size() && segments[next].firstRow <= row)
            active.push_back(&segments[next++]);
        std::erase_if(active, [row](const Segment* s) { return s->endRow <= row; });
        if (active.empty()) {
            if (next == segments.size())
                break;
            continue;
        }
        const float py = row + 0.5f;
        touched.clear();
        for (const Segment* s : active) {
            // Only the part of the segment within reach of this row can reach its pixels.
            int from = s->firstColumn;
            int to = s->endColumn;
            if (std::abs(s->dy) > 1e-6f) {
                float t0 = (py - reach - s->ay) / s->dy;
                float t1 = (py + reach - s->ay) / s->dy;
                if (t0 > t1)
                    std::swap(t0, t1);
                t0 = std::clamp(t0, 0.0f, 1.0f);
                t1 = std::clamp(t1, 0.0f, 1.0f);
                const float xa = s->ax + t0 * s->dx;
                const float xb = s->ax + t1 * s->dx;
                from = std::max(from, floorToInt(std::min(xa, xb) - reach));
                to = std::min(to, ceilToInt(std::max(xa, xb) + reach));
            }
            if (to <= from)
                continue;
            touched.emplace_back(from, to);
            const float ry = py - s->ay;
            for (int x = from; x < to; ++x) {
                const float rx = x + 0.5f - s->ax;
                const float t = std::clamp((rx * s->dx + ry * s->dy) * s->inverseLength2, 0.0f, 1.0f);
                const float ex = rx - t * s->dx;
                const float ey = ry - t * s->dy;
                const float d2 = ex * ex + ey * ey;
                float& best = nearest[static_cast<std::size_t>(x)];
                best = std::min(best, d2);
            }
        }
        // The pixels the segments touched: a ring's row meets it only near its two sides.
        std::sort(touched.begin(), touched.end());
        auto* line = reinterpret_cast<std::uint32_t*>(bits + row * stride);
        int done = 0;
        for (const auto& [touchedFrom, touchedTo] : touched) {
            for (int x = std::max(touchedFrom, done); x < touchedTo; ++x) {
                float& best = nearest[static_cast<std::size_t>(x)];
                if (best < reach2) {
                    const float distance = std::sqrt(best);
                    unsigned inside = 0;
                    bool partial = false;
                    for (std::size_t l = 0; l < layerCount; ++l) {
                        const float c = halves[l] + 0.5f - distance;
                        if (c >= 1.0f - coverageEpsilon)
                            inside |= 1u << l;
                        else if (c > coverageEpsilon)
                            partial = true;
                    }
                    std::uint32_t value = line[x];
                    if (!partial) {
                        const std::uint32_t src = composites[inside];
                        if (src != 0)
                            value = src + byteMul(value, 255u - (src >> 24));
                    } else {
                        for (std::size_t l = 0; l < layerCount; ++l) {
                            const float c = halves[l] + 0.5f - distance;
                            if (c <= coverageEpsilon)
                                continue;
                            const std::uint32_t src =
                                c >= 1.0f - coverageEpsilon ? colours[l] : byteMul(colours[l], alphaOf(c));
                            value = src + byteMul(value, 255u - (src >> 24));
                        }
                    }
                    line[x] = value;
                }
                best = farAway;
            }
            done = std::max(done, touchedTo);
        }
    }
}

void CoverageRasterizer::blendRect(QImage& image, QRect rect, QRgb premultiplied)
{
    if (!drawable(image))
        return;
    rect = rect.intersected(image.rect());
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        blendSpan(reinterpret_cast<std::uint32_t*>(image.scanLine(y)), rect.left(), rect.right() + 1, premultiplied);
}

void CoverageRasterizer::circle(std::vector<QPointF>& out, QPointF centre, double radius) const
{
    const int segments = circleSegments(radius);
    out.resize(static_cast<std::size_t>(segments));
    for (int i = 0; i < segments; ++i) {
        const double a = 2.0 * std::numbers::pi * i / segments;
        out[static_cast<std::size_t>(i)] = centre + QPointF(radius * std::cos(a), radius * std::sin(a));
    }
}

void CoverageRasterizer::addDisc(QPointF centre, double radius)
{
    if (!(radius > 0.0))
        return;
    circle(scratch_, centre, radius);
    addContour(scratch_);
}

} // namespace orvelo
