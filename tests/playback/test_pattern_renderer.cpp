// Protects the pattern drawing on small rendered images: element counts and minimums, gaps
// wider than the cells, motion and its direction, speed 0, the audio patterns' beat memory
// and amplitude, the flat style the NDI source uses, and bad numbers from the web API.

#include "playback/PatternRenderer.h"

#include <gtest/gtest.h>

#include <QImage>

#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

using namespace orvelo;

namespace {

const QColor firstColor(200, 40, 120);
const QColor secondColor(30, 160, 90);
constexpr double renderTime = 800'000'000.0; // a frame time as the views pass it: seconds since 2001

QImage render(AudioVisualPattern pattern, const PatternFrame& frame, int w = 40, int h = 40,
              PatternRenderer::Style style = PatternRenderer::Style::Screen)
{
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::magenta); // anything the pattern leaves undrawn would show
    PatternRenderer renderer(pattern, style);
    renderer.draw(image, frame);
    return image;
}

PatternFrame still(double size = 20.0, double gap = 0.0)
{
    PatternFrame f;
    f.time = renderTime;
    f.speed = 0.0;
    f.size = size;
    f.gap = gap;
    f.color1 = firstColor;
    f.color2 = secondColor;
    return f;
}

// `top` at opacity `alpha` over `below` (both opaque colours): what a blended fill leaves.
QColor over(const QColor& top, double alpha, const QColor& below)
{
    return QColor::fromRgbF(static_cast<float>(top.redF() * alpha + below.redF() * (1 - alpha)),
                            static_cast<float>(top.greenF() * alpha + below.greenF() * (1 - alpha)),
                            static_cast<float>(top.blueF() * alpha + below.blueF() * (1 - alpha)));
}

::testing::AssertionResult near(const QColor& actual, const QColor& expected, int tolerance = 3)
{
    if (std::abs(actual.red() - expected.red()) <= tolerance &&
        std::abs(actual.green() - expected.green()) <= tolerance &&
        std::abs(actual.blue() - expected.blue()) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got " << actual.name().toStdString() << ", expected "
                                         << expected.name().toStdString();
}

QColor at(const QImage& image, int x, int y)
{
    return image.pixelColor(x, y);
}

bool isBlack(const QColor& c)
{
    return c.red() == 0 && c.green() == 0 && c.blue() == 0;
}

// Runs of pixels of `colour` along row y (or column x when `down`).
int runsOf(const QImage& image, const QColor& colour, int line, bool down = false)
{
    int runs = 0;
    bool inRun = false;
    const int length = down ? image.height() : image.width();
    for (int i = 0; i < length; ++i) {
        const bool match = near(down ? at(image, line, i) : at(image, i, line), colour, 2);
        if (match && !inRun)
            ++runs;
        inRun = match;
    }
    return runs;
}

int nonBlackPixels(const QImage& image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += isBlack(at(image, x, y)) ? 0 : 1;
    return count;
}

// --- plasma ----------------------------------------------------------------------------------

TEST(PatternRendererTest, PlasmaSizeOneIsATwoByTwoGridWithTheFormulaColours)
{
    const QImage image = render(AudioVisualPattern::colorfulAbstract, still(1.0), 40, 40);
    for (int i = 0; i < 2; ++i) {
        for (int j = 0; j < 2; ++j) {
            const double fy = i / 2.0;
            const double fx = j / 2.0;
            const double v =
                ((std::sin(fy * 5.0) + std::sin(fx * 10.0) + std::sin((fx * 5.0 + fy * 5.0) * 0.5)) / 3.0 + 1.0) * 0.5;
            EXPECT_TRUE(near(at(image, j * 20 + 10, i * 20 + 10), over(secondColor, v, firstColor)))
                << "cell " << i << "," << j;
            // The cell is one colour from edge to edge.
            EXPECT_EQ(at(image, j * 20, i * 20), at(image, j * 20 + 19, i * 20 + 19));
        }
    }
}

TEST(PatternRendererTest, PlasmaGapShrinksCellsDownToSinglePixels)
{
    // Size 4 on 40 px: cells of 10 px; a gap of 4 leaves 6 px squares 2 px in from each edge.
    const QImage gapped = render(AudioVisualPattern::colorfulAbstract, still(4.0, 4.0), 40, 40);
    EXPECT_TRUE(isBlack(at(gapped, 1, 1)));
    EXPECT_FALSE(isBlack(at(gapped, 2, 2)));
    EXPECT_FALSE(isBlack(at(gapped, 7, 7)));
    EXPECT_TRUE(isBlack(at(gapped, 8, 8)));
    EXPECT_EQ(nonBlackPixels(gapped), 16 * 36);

    // A gap wider than the cell leaves 1 px per cell, starting gap/2 in: at 15, 25, 35 (the
    // fourth falls off the image).
    const QImage dots = render(AudioVisualPattern::colorfulAbstract, still(4.0, 30.0), 40, 40);
    EXPECT_EQ(nonBlackPixels(dots), 9);
    EXPECT_FALSE(isBlack(at(dots, 15, 25)));
    EXPECT_FALSE(isBlack(at(dots, 35, 35)));
}

// --- stripes ---------------------------------------------------------------------------------

TEST(PatternRendererTest, StripesSizeFiveMakeOneBarPerTwoCells)
{
    // n = 5, n div 2 = 2: cells of 20 px on 40, a colour1 bar on even cells only.
    const QImage image = render(AudioVisualPattern::verticalStripes, still(5.0), 40, 8);
    EXPECT_TRUE(near(at(image, 5, 4), firstColor));
    EXPECT_TRUE(near(at(image, 19, 4), firstColor));
    EXPECT_TRUE(near(at(image, 20, 4), secondColor));
    EXPECT_TRUE(near(at(image, 39, 4), secondColor));
    EXPECT_EQ(runsOf(image, firstColor, 4), 1);

    // Size 20 gives 10 cells of 4 px: five bars.
    EXPECT_EQ(runsOf(render(AudioVisualPattern::verticalStripes, still(20.0), 40, 8), firstColor, 4), 5);
}

TEST(PatternRendererTest, StripesMoveTowardSmallerCoordinatesAtSixtyPointsPerSecond)
{
    // Size 1 is the minimum of 2: one 40 px cell, a bar of 40 px every 80 px.
    PatternFrame f = still(1.0);
    f.speed = 1.0;
    f.time = 1.0 / 3.0; // t·60 = 20: the bar has moved 20 px left
    const QImage vertical = render(AudioVisualPattern::verticalStripes, f, 40, 8);
    EXPECT_TRUE(near(at(vertical, 0, 4), firstColor));
    EXPECT_TRUE(near(at(vertical, 19, 4), firstColor));
    EXPECT_TRUE(near(at(vertical, 20, 4), secondColor));

    const QImage horizontal = render(AudioVisualPattern::horizontalStripes, f, 8, 40);
    EXPECT_TRUE(near(at(horizontal, 4, 19), firstColor));
    EXPECT_TRUE(near(at(horizontal, 4, 20), secondColor));
}

TEST(PatternRendererTest, StripesGapWiderThanTheCellLeavesOnePixelBars)
{
    // Size 20 on 40 px: 4 px cells; a gap of 10 leaves 1 px bars at 5, 13, 21, 29, 37.
    const QImage image = render(AudioVisualPattern::verticalStripes, still(20.0, 10.0), 40, 4);
    int bars = 0;
    for (int x = 0; x < 40; ++x)
        bars += near(at(image, x, 2), firstColor) ? 1 : 0;
    EXPECT_EQ(bars, 5);
    EXPECT_TRUE(near(at(image, 5, 2), firstColor));
    EXPECT_TRUE(near(at(image, 6, 2), secondColor));
}

// --- spectrum bars ---------------------------------------------------------------------------

TEST(PatternRendererTest, SpectrumBarsHaveAMinimumOfFourStandingOnTheBottom)
{
    const int h = 100;
    // Size 1 is the minimum of 4: 10 px slots on 40, 8 px bars with a gap of 2.
    const QImage image = render(AudioVisualPattern::spectrumBars, still(1.0, 2.0), 40, h);
    EXPECT_EQ(runsOf(image, firstColor, h - 1), 4);
    // At t = 0 bar i has v = (sin u + sin 2u / 2 + 0.3 cos u + 1.8) / 3.6 with u = i / 2; bar 0,
    // within the first n div 4 = 1, is boosted by 1.3.
    const auto top = [&](int i, double boost) {
        const double u = 0.5 * i;
        const double v = (std::sin(u) + 0.5 * std::sin(2 * u) + 0.3 * std::cos(u) + 1.8) / 3.6 * boost;
        return h - std::min(v, 0.95) * h;
    };
    for (const auto& [bar, boost] : {std::pair{0, 1.3}, std::pair{1, 1.0}, std::pair{3, 1.0}}) {
        const int x = bar * 10 + 5;
        const int edge = static_cast<int>(std::ceil(top(bar, boost)));
        EXPECT_FALSE(isBlack(at(image, x, edge))) << "bar " << bar;
        EXPECT_TRUE(isBlack(at(image, x, edge - 2))) << "bar " << bar;
        // The white cap sits 4 px above the bar.
        EXPECT_TRUE(near(at(image, x, static_cast<int>(top(bar, boost)) - 3), Qt::white)) << "bar " << bar;
    }
    // The gradient runs from colour1 at the bottom toward colour2 at the top.
    EXPECT_TRUE(near(at(image, 5, h - 1), firstColor, 4));
    const QColor high = at(image, 5, static_cast<int>(top(0, 1.3)) + 1);
    EXPECT_LT(std::abs(high.green() - secondColor.green()), std::abs(high.green() - firstColor.green()));
}

TEST(PatternRendererTest, SpectrumBarsKeepTwoPixelsWhenTheGapIsWiderThanTheSlot)
{
    // Size 4 on 40 px: 10 px slots; gap 30 leaves 2 px bars starting 15 px in.
    const QImage image = render(AudioVisualPattern::spectrumBars, still(4.0, 30.0), 40, 50);
    EXPECT_FALSE(isBlack(at(image, 15, 49)));
    EXPECT_FALSE(isBlack(at(image, 16, 49)));
    EXPECT_TRUE(isBlack(at(image, 17, 49)));
    EXPECT_TRUE(isBlack(at(image, 14, 49)));
    EXPECT_EQ(runsOf(image, firstColor, 49), 3); // at 15, 25, 35; the fourth is off the image
}

// --- time -------------------------------------------------------------------------------------

TEST(PatternRendererTest, SpeedZeroFreezesEveryPattern)
{
    for (const auto pattern : allAudioVisualPatterns) {
        PatternFrame a = still();
        PatternFrame b = still();
        b.time = renderTime + 3.7;
        if (pattern == AudioVisualPattern::beatStrobe || pattern == AudioVisualPattern::pulsingRing)
            continue; // they follow the clock for their flash, not the speed
        EXPECT_EQ(render(pattern, a, 64, 48), render(pattern, b, 64, 48)) << rawValue(pattern);
    }
    PatternFrame moving = still();
    moving.speed = 1.0;
    PatternFrame later = moving;
    later.time += 0.25;
    EXPECT_NE(render(AudioVisualPattern::circularWave, moving, 64, 48),
              render(AudioVisualPattern::circularWave, later, 64, 48));
}

TEST(PatternRendererTest, TracesStartWhereTheFormulasPutThem)
{
    // Oscilloscope at t = 0: y(0) = mid; the trace's core is colour1.
    const QImage scope = render(AudioVisualPattern::oscilloscope, still(), 200, 100);
    EXPECT_TRUE(near(at(scope, 0, 52), firstColor, 12));
    EXPECT_TRUE(isBlack(at(scope, 1, 5)));
    // A grid line at x = w/10 shows green at low opacity.
    const QColor grid = at(scope, 20, 5);
    EXPECT_GT(grid.green(), 0);
    EXPECT_EQ(grid.red(), 0);

    // Circular wave at t = 0: ring 0 crosses the +x axis at (((0.3 + 1.8) / 3.6)·0.5 + 1)·R.
    const QImage wave = render(AudioVisualPattern::circularWave, still(), 200, 200);
    const double radius = ((2.1 / 3.6) * 0.5 + 1.0) * 60.0;
    EXPECT_TRUE(near(at(wave, static_cast<int>(100 + radius), 100), firstColor, 12));
    EXPECT_TRUE(isBlack(at(wave, 100, 100)));

    // Waveform mirror: colour1 shades above the middle, colour2 below, mirrored.
    const QImage mirror = render(AudioVisualPattern::waveformMirror, still(), 200, 100);
    int upper = 0;
    int lower = 0;
    for (int x = 0; x < 200; ++x) {
        upper += isBlack(at(mirror, x, 45)) ? 0 : 1;
        lower += isBlack(at(mirror, x, 54)) ? 0 : 1;
    }
    EXPECT_GT(upper, 100);
    EXPECT_EQ(upper, lower);
    EXPECT_GT(at(mirror, 60, 45).red(), at(mirror, 60, 45).green());
    EXPECT_GT(at(mirror, 60, 54).green(), at(mirror, 60, 54).red());
}

// --- audio patterns ----------------------------------------------------------------------------

TEST(PatternRendererTest, StrobeWithoutAudioReactionNeverShowsColourTwo)
{
    PatternRenderer renderer(AudioVisualPattern::beatStrobe);
    QImage image(40, 40, QImage::Format_ARGB32_Premultiplied);
    PatternFrame f = still();
    f.amplitude = 0.5f; // audio reaction off
    renderer.draw(image, f);
    EXPECT_TRUE(near(at(image, 20, 5), over(firstColor, 0.25, Qt::black))) << "25 % between beats";
    // The level bar: half the width, 20 px tall, colour1 at 0.7 over the area.
    EXPECT_TRUE(near(at(image, 10, 35), over(firstColor, 0.7, over(firstColor, 0.25, Qt::black))));
    EXPECT_TRUE(near(at(image, 30, 35), over(firstColor, 0.25, Qt::black)));

    f.beat = true;
    f.time += 0.01;
    renderer.draw(image, f);
    EXPECT_TRUE(near(at(image, 20, 5), firstColor, 3)) << "a beat flashes at full strength";
    f.beat = false;
    f.time += 0.0625; // half the fade
    renderer.draw(image, f);
    EXPECT_TRUE(near(at(image, 20, 5), over(firstColor, 0.5, Qt::black), 4));
    f.time += 0.2;
    renderer.draw(image, f);
    EXPECT_TRUE(near(at(image, 20, 5), over(firstColor, 0.25, Qt::black)));
}

TEST(PatternRendererTest, StrobeShowsColourTwoInQuietAndFlashesOnlyFromABeat)
{
    PatternRenderer renderer(AudioVisualPattern::beatStrobe);
    QImage image(40, 40, QImage::Format_ARGB32_Premultiplied);
    PatternFrame f = still();
    f.amplitude = 0.0f;
    renderer.draw(image, f);
    EXPECT_TRUE(near(at(image, 20, 20), secondColor)) << "a new renderer has no beat to fade from";
    // A beat flag that stays up is one beat: the fade runs from its rise.
    f.beat = true;
    renderer.draw(image, f);
    f.time += 0.2;
    renderer.draw(image, f);
    EXPECT_TRUE(near(at(image, 20, 20), secondColor));
}

TEST(PatternRendererTest, FlatStrobeFollowsTheBeatFlagAndStaysBlackWhenQuiet)
{
    PatternFrame f = still();
    f.amplitude = 0.1f;
    const QImage quiet = render(AudioVisualPattern::beatStrobe, f, 40, 40, PatternRenderer::Style::Flat);
    EXPECT_TRUE(isBlack(at(quiet, 20, 5)));
    EXPECT_TRUE(near(at(quiet, 1, 39), over(firstColor, 0.7, Qt::black))) << "the level bar along the bottom";
    EXPECT_TRUE(isBlack(at(quiet, 1, 5)));
    f.beat = true;
    EXPECT_TRUE(
        near(at(render(AudioVisualPattern::beatStrobe, f, 40, 40, PatternRenderer::Style::Flat), 20, 5), firstColor));
}

// How far right of the centre the outermost ring reaches.
int outerReach(const QImage& image)
{
    const int cx = image.width() / 2;
    const int cy = image.height() / 2;
    int x = image.width() - 1;
    while (x > cx && isBlack(at(image, x, cy)))
        --x;
    return x - cx;
}

TEST(PatternRendererTest, PulsingRingKeepsItsSizeBetweenBeatsAndSwellsOnOne)
{
    PatternRenderer renderer(AudioVisualPattern::pulsingRing);
    QImage image(400, 400, QImage::Format_ARGB32_Premultiplied);
    PatternFrame f = still();
    f.amplitude = 0.5f;
    renderer.draw(image, f);
    // Ring 4 at scale 0.8·0.5 + 0.3 = 0.7: radius 0.84·160·0.7 = 94.1, its glow 10 + 10 wide.
    const int steady = outerReach(image);
    EXPECT_NEAR(steady, 94.1 + 10.0, 1.0);
    EXPECT_TRUE(near(at(image, 200, 200), QColor(204, 204, 204), 3)) << "the centre dot, white at 0.8";
    f.time += 5.0;
    renderer.draw(image, f);
    EXPECT_EQ(outerReach(image), steady);

    // A beat adds 0.5 to the scale at once.
    f.beat = true;
    renderer.draw(image, f);
    EXPECT_NEAR(outerReach(image), 0.84 * 160 * 1.2 + 10.0, 1.0);

    // The flat style has no swell.
    PatternFrame beat = still();
    beat.amplitude = 0.5f;
    beat.beat = true;
    const QImage flat = render(AudioVisualPattern::pulsingRing, beat, 400, 400, PatternRenderer::Style::Flat);
    beat.beat = false;
    EXPECT_EQ(flat, render(AudioVisualPattern::pulsingRing, beat, 400, 400, PatternRenderer::Style::Flat));
}

// --- robustness ----------------------------------------------------------------------------------

TEST(PatternRendererTest, BadNumbersDrawSomethingAndNeverHang)
{
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const auto pattern : allAudioVisualPatterns) {
        for (const double value : {nan, inf, -inf, 1e12, -5.0}) {
            PatternFrame f = still();
            f.size = value;
            f.gap = value;
            f.speed = value;
            f.amplitude = static_cast<float>(value);
            const QImage image = render(pattern, f, 32, 24);
            EXPECT_FALSE(near(at(image, 0, 0), Qt::magenta, 0)) << rawValue(pattern) << " with " << value;
        }
    }
}

TEST(PatternRendererTest, EveryPatternCoversTheWholeImage)
{
    PatternFrame f = still();
    f.speed = 1.0;
    for (const auto pattern : allAudioVisualPatterns) {
        const QImage image = render(pattern, f, 37, 23);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                ASSERT_FALSE(near(at(image, x, y), Qt::magenta, 0)) << rawValue(pattern) << " at " << x << "," << y;
    }
}

} // namespace
