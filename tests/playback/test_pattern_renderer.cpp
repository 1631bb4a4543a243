// Protects the pattern drawing on small images: element counts, gaps, motion, speed 0, the audio
// patterns' beat memory and amplitude, the NDI source's flat style, and bad numbers.

#include "playback/PatternRenderer.h"

#include <gtest/gtest.h>

#include <QImage>

#include <cmath>
#include <limits>
#include <numbers>
#include <set>
#include <string_view>
#include <vector>

using namespace orvelo;

namespace {

const QColor firstColor(200, 40, 120);
const QColor secondColor(30, 160, 90);
constexpr double renderTime = 800'000'000.0; // a frame time as the views pass it: seconds since 2001

QImage render(AudioVisualPattern pattern, const PatternFrame& frame, int w = 40, int h = 40,
              PatternRenderer::Style style = PatternRenderer::Style::screen)
{
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::magenta); // anything the pattern leaves undrawn would show
    PatternRenderer renderer(pattern, style);
    renderer.draw(image, frame);
    return image;
}

PatternFrame still(double size = 20.0, double gap = 0.0)
{
    return {.time = renderTime, .speed = 0.0, .size = size, .gap = gap, .color1 = firstColor, .color2 = secondColor};
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

const auto at = [](const QImage& image, int x, int y) { return image.pixelColor(x, y); };
const auto isBlack = [](const QColor& c) { return c.red() == 0 && c.green() == 0 && c.blue() == 0; };

// Runs of pixels of `colour` along row y.
int runsOf(const QImage& image, const QColor& colour, int y)
{
    int runs = 0;
    bool inRun = false;
    for (int x = 0; x < image.width(); ++x) {
        const bool match = near(at(image, x, y), colour, 2);
        runs += match && !inRun ? 1 : 0;
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

TEST(PatternRendererTest, PlasmaCellsAreFlatAndShrinkByTheGap)
{
    // Size 1 is a 2 x 2 grid of one colour per cell, none of it black.
    const QImage image = render(AudioVisualPattern::colorfulAbstract, still(1.0));
    EXPECT_EQ(nonBlackPixels(image), 40 * 40);
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 2; ++j)
            EXPECT_EQ(at(image, j * 20, i * 20), at(image, j * 20 + 19, i * 20 + 19)) << i << "," << j;
    EXPECT_NE(at(image, 0, 0), at(image, 0, 20));

    // Size 4 on 40 px: cells of 10 px; a gap of 4 leaves 6 px squares 2 px in from each edge.
    const QImage gapped = render(AudioVisualPattern::colorfulAbstract, still(4.0, 4.0));
    EXPECT_TRUE(isBlack(at(gapped, 1, 1)));
    EXPECT_FALSE(isBlack(at(gapped, 2, 2)));
    EXPECT_TRUE(isBlack(at(gapped, 8, 8)));
    EXPECT_EQ(nonBlackPixels(gapped), 16 * 36);
    // A gap wider than the cell leaves 1 px per cell, gap/2 in: at 15, 25, 35 (the fourth is off).
    const QImage dots = render(AudioVisualPattern::colorfulAbstract, still(4.0, 30.0));
    EXPECT_EQ(nonBlackPixels(dots), 9);
    EXPECT_FALSE(isBlack(at(dots, 35, 35)));
}

TEST(PatternRendererTest, StripesMakeOneBarPerTwoCellsAndMoveTowardSmallerCoordinates)
{
    // n = 5, n div 2 = 2: cells of 20 px on 40, a colour1 bar on even cells only.
    const QImage five = render(AudioVisualPattern::verticalStripes, still(5.0), 40, 8);
    EXPECT_TRUE(near(at(five, 19, 4), firstColor));
    EXPECT_TRUE(near(at(five, 20, 4), secondColor));
    EXPECT_EQ(runsOf(five, firstColor, 4), 1);
    EXPECT_EQ(runsOf(render(AudioVisualPattern::verticalStripes, still(20.0), 40, 8), firstColor, 4), 5);

    // Size 20 on 40 px: 4 px cells; a gap of 10 leaves 1 px bars at 5, 13, 21, 29, 37.
    const QImage thin = render(AudioVisualPattern::verticalStripes, still(20.0, 10.0), 40, 4);
    int bars = 0;
    for (int x = 0; x < 40; ++x)
        bars += near(at(thin, x, 2), firstColor) ? 1 : 0;
    EXPECT_EQ(bars, 5);
    EXPECT_TRUE(near(at(thin, 5, 2), firstColor));

    // Size 1 is the minimum of 2: a 40 px bar every 80 px, at sixty points a second.
    PatternFrame f = still(1.0);
    f.speed = 1.0;
    f.time = 1.0 / 3.0; // the bar has moved 20 px
    const QImage vertical = render(AudioVisualPattern::verticalStripes, f, 40, 8);
    EXPECT_TRUE(near(at(vertical, 0, 4), firstColor));
    EXPECT_TRUE(near(at(vertical, 19, 4), firstColor));
    EXPECT_TRUE(near(at(vertical, 20, 4), secondColor));
    const QImage horizontal = render(AudioVisualPattern::horizontalStripes, f, 8, 40);
    EXPECT_TRUE(near(at(horizontal, 4, 19), firstColor));
    EXPECT_TRUE(near(at(horizontal, 4, 20), secondColor));
}

TEST(PatternRendererTest, SpectrumBarsHaveAMinimumOfFourStandingOnTheBottomAndKeepTwoPixels)
{
    const int h = 100;
    // Size 1 is the minimum of 4: 10 px slots on 40, 8 px bars with a gap of 2.
    const QImage image = render(AudioVisualPattern::spectrumBars, still(1.0, 2.0), 40, h);
    EXPECT_EQ(runsOf(image, firstColor, h - 1), 4);
    // Each bar rises from colour1 at the bottom toward colour2, under a white cap.
    EXPECT_TRUE(near(at(image, 5, h - 1), firstColor, 4));
    int top = 0;
    while (top < h && isBlack(at(image, 5, top)))
        ++top;
    ASSERT_LT(top, h / 2);
    EXPECT_TRUE(near(at(image, 5, top + 1), Qt::white));
    int bar = top + 2;
    while (bar < h && !near(at(image, 5, bar), secondColor, 60))
        ++bar;
    EXPECT_LT(bar, h - 10) << "the top of the bar leans to colour2";

    // Size 4 on 40 px: 10 px slots; gap 30 leaves 2 px bars starting 15 px in, the fourth off.
    const QImage narrow = render(AudioVisualPattern::spectrumBars, still(4.0, 30.0), 40, 50);
    for (int x = 14; x < 18; ++x)
        EXPECT_EQ(isBlack(at(narrow, x, 49)), x == 14 || x == 17) << x;
    EXPECT_EQ(runsOf(narrow, firstColor, 49), 3);
}

TEST(PatternRendererTest, WaveformMirrorShadesColourOneAboveAndColourTwoBelowTheMiddle)
{
    const QImage mirror = render(AudioVisualPattern::waveformMirror, still(), 200, 100);
    int upper = 0, lower = 0;
    for (int x = 0; x < 200; ++x) {
        upper += isBlack(at(mirror, x, 45)) ? 0 : 1;
        lower += isBlack(at(mirror, x, 54)) ? 0 : 1;
    }
    EXPECT_GT(upper, 100);
    EXPECT_EQ(upper, lower);
    EXPECT_GT(at(mirror, 60, 45).red(), at(mirror, 60, 45).green());
    EXPECT_GT(at(mirror, 60, 54).green(), at(mirror, 60, 54).red());
}

TEST(PatternRendererTest, StrobeFlashesOnABeatRiseAndShowsColourTwoOnlyWhenReactingToQuiet)
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

    // With audio reaction, quiet shows colour 2; a beat flag that stays up is one beat, and a
    // new renderer has none to fade from.
    PatternRenderer reacting(AudioVisualPattern::beatStrobe);
    PatternFrame quiet = still();
    quiet.amplitude = 0.0f;
    reacting.draw(image, quiet);
    EXPECT_TRUE(near(at(image, 20, 20), secondColor));
    quiet.beat = true;
    reacting.draw(image, quiet);
    quiet.time += 0.2;
    reacting.draw(image, quiet);
    EXPECT_TRUE(near(at(image, 20, 20), secondColor));

    // The flat style follows the beat flag and stays black when quiet.
    PatternFrame flat = still();
    flat.amplitude = 0.1f;
    image = render(AudioVisualPattern::beatStrobe, flat, 40, 40, PatternRenderer::Style::flat);
    EXPECT_TRUE(isBlack(at(image, 20, 5)));
    EXPECT_TRUE(near(at(image, 1, 39), over(firstColor, 0.7, Qt::black))) << "the level bar along the bottom";
    EXPECT_TRUE(isBlack(at(image, 1, 5)));
    flat.beat = true;
    image = render(AudioVisualPattern::beatStrobe, flat, 40, 40, PatternRenderer::Style::flat);
    EXPECT_TRUE(near(at(image, 20, 5), firstColor));
}

// How far right of the centre the outermost ring reaches.
int outerReach(const QImage& image)
{
    const int cx = image.width() / 2, cy = image.height() / 2;
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
    const QImage flat = render(AudioVisualPattern::pulsingRing, beat, 400, 400, PatternRenderer::Style::flat);
    beat.beat = false;
    EXPECT_EQ(flat, render(AudioVisualPattern::pulsingRing, beat, 400, 400, PatternRenderer::Style::flat));
}

TEST(PatternRendererTest, EveryPatternCoversTheImageHoldsStillAtSpeedZeroAndSurvivesBadNumbers)
{
    const double inf = std::numeric_limits<double>::infinity();
    for (const auto pattern : allAudioVisualPatterns) {
        SCOPED_TRACE(rawValue(pattern));
        PatternFrame moving = still();
        moving.speed = 1.0;
        const QImage image = render(pattern, moving, 37, 23);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                ASSERT_FALSE(near(at(image, x, y), Qt::magenta, 0)) << x << "," << y;

        // The strobe and the ring follow the clock for their flash, not the speed.
        PatternFrame later = still();
        later.time += 3.7;
        if (pattern != AudioVisualPattern::beatStrobe && pattern != AudioVisualPattern::pulsingRing) {
            EXPECT_EQ(render(pattern, still(), 64, 48), render(pattern, later, 64, 48));
        }

        // Numbers from the web API: drawn as something, never hanging.
        for (const double value : {std::numeric_limits<double>::quiet_NaN(), inf, -inf, 1e12, -5.0}) {
            PatternFrame f = still();
            f.size = f.gap = f.speed = value;
            f.amplitude = static_cast<float>(value);
            EXPECT_FALSE(near(at(render(pattern, f, 32, 24), 0, 0), Qt::magenta, 0)) << value;
        }
    }
    PatternFrame moving = still();
    moving.speed = 1.0;
    PatternFrame later = moving;
    later.time += 0.25;
    EXPECT_NE(render(AudioVisualPattern::circularWave, moving, 64, 48),
              render(AudioVisualPattern::circularWave, later, 64, 48));
}

TEST(PatternCatalogue, NamesReadBackOnlyWhenExactAndBlackComesFirst)
{
    std::set<std::string_view> seen;
    for (const auto pattern : allAudioVisualPatterns) {
        EXPECT_EQ(audioVisualPatternFromRawValue(rawValue(pattern)), pattern);
        seen.insert(rawValue(pattern));
    }
    EXPECT_EQ(seen.size(), allAudioVisualPatterns.size());
    EXPECT_EQ(allAudioVisualPatterns.front(), AudioVisualPattern::blackScreen);
    EXPECT_EQ(audioVisualPatternFromRawValue("Abstract Colors"), AudioVisualPattern::colorfulAbstract);
    for (const char* near : {"abstract colors", "colorfulAbstract", "", "Pulsing Ring "})
        EXPECT_EQ(audioVisualPatternFromRawValue(near), std::nullopt) << near;
}

} // namespace
