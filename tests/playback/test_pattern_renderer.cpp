// Protects the pattern drawing on small images: gaps, motion, speed 0, the audio patterns' beat
// memory and amplitude, the flat style, and bad numbers.

#include "playback/PatternRenderer.h"

#include <gtest/gtest.h>

#include <QImage>

#include <limits>
#include <set>
#include <string_view>

using namespace orvelo;
using P = AudioVisualPattern;
using Style = PatternRenderer::Style;

namespace {

const QColor firstColor(200, 40, 120);
const QColor secondColor(30, 160, 90);

QImage render(P pattern, const PatternFrame& frame, int w = 40, int h = 40, Style style = Style::screen)
{
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::magenta); // anything the pattern leaves undrawn would show
    PatternRenderer(pattern, style).draw(image, frame);
    return image;
}

// Speed 0 at a frame time as the views pass it (seconds since 2001).
PatternFrame still(double size = 20.0, double gap = 0.0)
{
    return {.time = 800'000'000.0, .speed = 0.0, .size = size, .gap = gap, .color1 = firstColor, .color2 = secondColor};
}

bool near(const QColor& a, const QColor& b, int tolerance = 3)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

bool isBlack(const QImage& image, int x, int y)
{
    return qRed(image.pixel(x, y)) + qGreen(image.pixel(x, y)) + qBlue(image.pixel(x, y)) == 0;
}

// Runs of pixels of `colour` along row y.
int runsOf(const QImage& image, const QColor& colour, int y)
{
    int runs = 0;
    for (int x = 0, inRun = 0; x < image.width(); ++x) {
        const bool match = near(image.pixelColor(x, y), colour, 2);
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
            count += isBlack(image, x, y) ? 0 : 1;
    return count;
}

// The geometry is the renderer's own arithmetic; what is pinned here is what a show sees go
// wrong: a gap wider than a cell leaves the image rather than drawing over the next one, motion
// runs toward smaller coordinates, and bars stand on the bottom edge.
TEST(PatternRendererTest, GapsMotionAndBarsStayInPlace)
{
    // 10 px cells on 40 px: a gap of 30 leaves a 1 px square 15 px into each, the fourth off the image.
    EXPECT_EQ(nonBlackPixels(render(P::colorfulAbstract, still(4.0, 30.0))), 9);
    EXPECT_EQ(runsOf(render(P::spectrumBars, still(4.0, 30.0), 40, 50), firstColor, 49), 3);

    // Size 1 is the minimum of 2: a 40 px bar every 80 px, at sixty points a second.
    PatternFrame f = still(1.0);
    f.speed = 1.0;
    f.time = 1.0 / 3.0; // the bar has moved 20 px
    const QImage vertical = render(P::verticalStripes, f, 40, 8);
    EXPECT_TRUE(near(vertical.pixelColor(19, 4), firstColor));
    EXPECT_TRUE(near(vertical.pixelColor(20, 4), secondColor));
    const QImage horizontal = render(P::horizontalStripes, f, 8, 40);
    EXPECT_TRUE(near(horizontal.pixelColor(4, 19), firstColor));
    EXPECT_TRUE(near(horizontal.pixelColor(4, 20), secondColor));

    // The mirror is symmetric about the middle, colour one above and colour two below.
    const QImage mirror = render(P::waveformMirror, still(), 200, 100);
    int upper = 0, lower = 0;
    for (int x = 0; x < 200; ++x) {
        upper += isBlack(mirror, x, 45) ? 0 : 1;
        lower += isBlack(mirror, x, 54) ? 0 : 1;
    }
    EXPECT_GT(upper, 100);
    EXPECT_EQ(upper, lower);
    EXPECT_GT(mirror.pixelColor(60, 45).red(), mirror.pixelColor(60, 45).green());
    EXPECT_GT(mirror.pixelColor(60, 54).green(), mirror.pixelColor(60, 54).red());
}

TEST(PatternRendererTest, StrobeFlashesOnABeatRiseAndShowsColourTwoOnlyWhenReactingToQuiet)
{
    PatternRenderer renderer(P::beatStrobe);
    QImage image(40, 40, QImage::Format_ARGB32_Premultiplied);
    PatternFrame f = still();
    f.amplitude = 0.5f; // audio reaction off: 25 % between beats
    renderer.draw(image, f);
    const QColor between = image.pixelColor(20, 5);
    EXPECT_GT(between.red(), between.green()) << "colour1, dimmed";
    EXPECT_NE(image.pixelColor(10, 35), image.pixelColor(30, 35)) << "the level bar covers half the width";

    f.beat = true;
    f.time += 0.01;
    renderer.draw(image, f);
    EXPECT_TRUE(near(image.pixelColor(20, 5), firstColor)) << "a beat flashes at full strength";
    f.beat = false;
    f.time += 0.0625; // half the fade
    renderer.draw(image, f);
    EXPECT_GT(image.pixelColor(20, 5).red(), between.red() + 20);
    f.time += 0.2;
    renderer.draw(image, f);
    EXPECT_EQ(image.pixelColor(20, 5), between);

    // With audio reaction, quiet shows colour 2, and a beat flag that stays up is one beat.
    PatternRenderer reacting(P::beatStrobe);
    PatternFrame quiet = still();
    quiet.amplitude = 0.0f;
    quiet.beat = true;
    reacting.draw(image, quiet);
    quiet.time += 0.2;
    reacting.draw(image, quiet);
    EXPECT_TRUE(near(image.pixelColor(20, 20), secondColor));

    // The flat style follows the beat flag and stays black when quiet.
    PatternFrame flat = still();
    flat.amplitude = 0.1f;
    image = render(P::beatStrobe, flat, 40, 40, Style::flat);
    EXPECT_TRUE(isBlack(image, 20, 5));
    EXPECT_FALSE(isBlack(image, 1, 39)) << "the level bar along the bottom";
    flat.beat = true;
    EXPECT_TRUE(near(render(P::beatStrobe, flat, 40, 40, Style::flat).pixelColor(20, 5), firstColor));
}

TEST(PatternRendererTest, PulsingRingKeepsItsSizeBetweenBeatsAndSwellsOnOne)
{
    // How far right of the centre the outermost ring reaches.
    const auto outerReach = [](const QImage& image) {
        int x = image.width() - 1;
        while (x > 200 && isBlack(image, x, 200))
            --x;
        return x - 200;
    };
    PatternRenderer renderer(P::pulsingRing);
    QImage image(400, 400, QImage::Format_ARGB32_Premultiplied);
    PatternFrame f = still();
    f.amplitude = 0.5f;
    renderer.draw(image, f);
    const int steady = outerReach(image);
    f.time += 5.0;
    renderer.draw(image, f);
    EXPECT_EQ(outerReach(image), steady);
    f.beat = true; // the scale 0.7 of this amplitude grows by 0.5 at once
    renderer.draw(image, f);
    EXPECT_NEAR(outerReach(image) - 10.0, (steady - 10.0) * 1.2 / 0.7, 1.5);

    // The flat style has no swell.
    PatternFrame beat = still();
    beat.amplitude = 0.5f;
    beat.beat = true;
    const QImage flat = render(P::pulsingRing, beat, 400, 400, Style::flat);
    beat.beat = false;
    EXPECT_EQ(flat, render(P::pulsingRing, beat, 400, 400, Style::flat));
}

TEST(PatternRendererTest, EveryPatternCoversTheImageHoldsStillAtSpeedZeroAndSurvivesBadNumbers)
{
    const double inf = std::numeric_limits<double>::infinity();
    for (const auto style : {Style::screen, Style::flat}) {
        for (const auto pattern : allAudioVisualPatterns) {
            SCOPED_TRACE(rawValue(pattern));
            PatternFrame moving = still();
            moving.speed = 1.0;
            const QImage image = render(pattern, moving, 37, 23, style);
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    ASSERT_FALSE(near(image.pixelColor(x, y), Qt::magenta, 0)) << x << "," << y;

            // The strobe and the ring follow the clock for their flash, not the speed.
            PatternFrame later = still();
            later.time += 3.7;
            if (pattern != P::beatStrobe && pattern != P::pulsingRing) {
                EXPECT_EQ(render(pattern, still(), 64, 48, style), render(pattern, later, 64, 48, style));
            }

            // Numbers from the web API: drawn as something, never hanging.
            for (const double value : {std::numeric_limits<double>::quiet_NaN(), inf, -inf, 1e12, -5.0}) {
                PatternFrame f = still();
                f.size = f.gap = f.speed = value;
                f.amplitude = static_cast<float>(value);
                EXPECT_FALSE(near(render(pattern, f, 32, 24, style).pixelColor(0, 0), Qt::magenta, 0)) << value;
            }
        }
    }
    PatternFrame moving = still();
    moving.speed = 1.0;
    PatternFrame later = moving;
    later.time += 0.25;
    EXPECT_NE(render(P::circularWave, moving, 64, 48), render(P::circularWave, later, 64, 48));
}

TEST(PatternCatalogue, NamesReadBackOnlyWhenExactAndBlackComesFirst)
{
    std::set<std::string_view> seen;
    for (const auto pattern : allAudioVisualPatterns) {
        EXPECT_EQ(audioVisualPatternFromRawValue(rawValue(pattern)), pattern);
        seen.insert(rawValue(pattern));
    }
    EXPECT_EQ(seen.size(), allAudioVisualPatterns.size());
    EXPECT_EQ(allAudioVisualPatterns.front(), P::blackScreen);
    for (const char* near : {"abstract colors", "colorfulAbstract", "", "Pulsing Ring "})
        EXPECT_EQ(audioVisualPatternFromRawValue(near), std::nullopt) << near;
}

} // namespace
