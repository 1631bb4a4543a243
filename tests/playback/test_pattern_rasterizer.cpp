// Protects the anti-aliased drawing under the patterns: area coverage, holes and unions by
// contour direction, clipping, and the stroke shapes with their layers, on small images.

#include "playback/CoverageRasterizer.h"

#include <gtest/gtest.h>

#include <QImage>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

using namespace orvelo;

namespace {

using Contour = std::vector<QPointF>;
using Layers = std::vector<CoverageRasterizer::StrokeLayer>;

QImage blackImage(int w, int h)
{
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::black);
    return image;
}

// The contours filled in `colour` on a black image of the area's size.
QImage filled(int w, int h, const std::vector<Contour>& contours, const QColor& colour = Qt::white)
{
    QImage image = blackImage(w, h);
    CoverageRasterizer r;
    r.reset(w, h);
    for (const Contour& c : contours)
        r.addContour(c);
    r.fill(image, colour);
    return image;
}

// The coverage a white fill left in a pixel of a black image, 0..1.
const auto coverage = [](const QImage& image, int x, int y) { return qRed(image.pixel(x, y)) / 255.0; };

double totalCoverage(const QImage& image)
{
    double sum = 0.0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            sum += coverage(image, x, y);
    return sum;
}

Contour rectangle(double x0, double y0, double x1, double y1, bool reversed = false)
{
    Contour r{{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
    if (reversed)
        std::reverse(r.begin(), r.end());
    return r;
}

TEST(CoverageRasterizerTest, CoverageAddsUpToTheAreaAndPartlyCoveredPixelsGetTheirShare)
{
    const QImage triangle = filled(64, 64, {{{10.3, 10.1}, {50.7, 15.2}, {20.1, 45.9}}});
    const double area = std::abs((50.7 - 10.3) * (45.9 - 10.1) - (20.1 - 10.3) * (15.2 - 10.1)) / 2.0;
    EXPECT_NEAR(totalCoverage(triangle), area, area * 0.005);

    // A translucent colour blends by coverage times its own alpha.
    const QImage half = filled(8, 4, {rectangle(1.5, 0.0, 3.5, 4.0)}, QColor(255, 255, 255, 128));
    EXPECT_NEAR(coverage(half, 2, 1), 0.5, 0.01);
    EXPECT_NEAR(coverage(half, 1, 1), 0.25, 0.01);
}

TEST(CoverageRasterizerTest, OppositeContoursCutHolesAndLikeOnesUnite)
{
    const QImage ring = filled(40, 40, {rectangle(5, 5, 35, 35), rectangle(15, 15, 25, 25, true)});
    EXPECT_NEAR(totalCoverage(ring), 900 - 100, 0.5);
    const QImage both = filled(40, 40, {rectangle(5, 5, 25, 25), rectangle(15, 15, 35, 35)});
    EXPECT_NEAR(totalCoverage(both), 400 + 400 - 100, 0.5) << "the overlap is covered once";
}

TEST(CoverageRasterizerTest, ShapesBeyondTheBordersAreCutOff)
{
    const QImage image = filled(20, 10,
                                {rectangle(-100.0, -50.0, 10.5, 400.0),
                                 {{1e8, 1e8}, {2e8, 1e8}, {2e8, 2e8}},
                                 {{0, 0}, {std::nan(""), 5}, {5, 5}}});
    EXPECT_NEAR(coverage(image, 10, 5), 0.5, 0.005);
    EXPECT_NEAR(totalCoverage(image), 10.5 * 10, 0.5);

    // An image smaller than the area is left alone.
    QImage small = blackImage(4, 4);
    CoverageRasterizer r;
    r.reset(20, 10);
    r.addContour(rectangle(0, 0, 20, 10));
    r.fill(small, Qt::white);
    EXPECT_EQ(totalCoverage(small), 0.0);

    QImage strip = blackImage(10, 10);
    CoverageRasterizer::blendRect(strip, QRect(-5, 8, 100, 100), qPremultiply(QColor(255, 255, 255, 51).rgba()));
    EXPECT_NEAR(totalCoverage(strip), 0.2 * 20, 0.1);
}

TEST(CoverageRasterizerTest, GraphStrokeIsAsThickAsItsWidthAcrossTheSlope)
{
    // A flat line at y = 10.5, 2 wide: rows 9 and 11 half covered, row 10 fully.
    QImage flat = blackImage(40, 20);
    const QPointF line[] = {{0, 10.5}, {40, 10.5}};
    const Layers white{{2.0, Qt::white}};
    CoverageRasterizer::strokeGraph(flat, line, white);
    EXPECT_NEAR(coverage(flat, 20, 9), 0.5, 0.01);
    EXPECT_NEAR(coverage(flat, 20, 10), 1.0, 0.01);

    // Slope 1: each column holds width·√2 of coverage.
    QImage steep = blackImage(40, 60);
    const QPointF diagonal[] = {{0, 10}, {40, 50}};
    CoverageRasterizer::strokeGraph(steep, diagonal, white);
    double column = 0.0;
    for (int y = 0; y < 60; ++y)
        column += coverage(steep, 20, y);
    EXPECT_NEAR(column, 2.0 * std::sqrt(2.0), 0.02);

    // Layers blend in order: a white core over a half-transparent red glow.
    QImage layered = blackImage(40, 20);
    CoverageRasterizer::strokeGraph(layered, line, Layers{{8.0, QColor(255, 0, 0, 128)}, {2.0, Qt::white}});
    EXPECT_EQ(layered.pixelColor(20, 10), QColor(Qt::white));
    EXPECT_EQ(layered.pixelColor(20, 13), QColor(128, 0, 0));
}

TEST(CoverageRasterizerTest, CircleAndPolylineStrokesAreBandsOfTheirWidth)
{
    QImage image = blackImage(64, 64);
    CoverageRasterizer::strokeCircle(image, QPointF(32, 32), 20.0, Layers{{4.0, Qt::white}});
    EXPECT_NEAR(coverage(image, 51, 32), 1.0, 0.01);
    EXPECT_NEAR(totalCoverage(image), 2.0 * std::numbers::pi * 20.0 * 4.0, 3.0);
    // Cut off where it leaves the image, without harm.
    QImage corner = blackImage(16, 16);
    CoverageRasterizer::strokeCircle(corner, QPointF(0, 0), 10.0, Layers{{4.0, Qt::white}});
    EXPECT_NEAR(coverage(corner, 7, 7), 1.0, 0.05);

    QImage closed = blackImage(50, 50);
    const QPointF square[] = {{10, 10}, {40, 10}, {40, 40}, {10, 40}};
    CoverageRasterizer::strokePolyline(closed, square, true, Layers{{2.0, Qt::white}});
    EXPECT_NEAR(coverage(closed, 9, 25), 1.0, 0.01) << "the closing side";
    // Four 30 x 2 bands, overlapping in a 1 x 1 square inside each corner, rounded outside it.
    EXPECT_NEAR(totalCoverage(closed), 4 * 30 * 2.0 - 4 + std::numbers::pi, 1.5);
    QImage open = blackImage(50, 50);
    CoverageRasterizer::strokePolyline(open, square, false, Layers{{2.0, Qt::white}});
    EXPECT_NEAR(coverage(open, 9, 25), 0.0, 0.01) << "an open line does not close";
}

} // namespace
