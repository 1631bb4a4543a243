// Protects the pattern selection over time: the rotation order (never "Black Screen"), the
// one-second ticks against the interval, the log line, and the canvas that rebuilds its
// renderer (and so forgets the last beat) only when the selection really changes.

#include "support/TestSupport.h"

#include "playback/AudioAnalyzer.h"
#include "playback/PatternAutoRotator.h"
#include "playback/PatternCanvas.h"
#include "settings/SettingsManager.h"

#include <gtest/gtest.h>

#include <QImage>

using namespace orvelo;
using orvelo::test::LogCapture;

namespace {

TEST(PatternRotationTest, StepsThroughTheNineInCatalogueOrderSkippingBlackAndWraps)
{
    AudioVisualPattern p = AudioVisualPattern::blackScreen;
    for (std::size_t i = 1; i <= allAudioVisualPatterns.size(); ++i) {
        p = nextRotatablePattern(p);
        EXPECT_EQ(p, allAudioVisualPatterns[i < allAudioVisualPatterns.size() ? i : 1]) << i;
    }
}

TEST(PatternRotationTest, RotatesOnTheFirstTickThenOncePerInterval)
{
    SettingsManager settings;
    PatternAutoRotator rotator(settings);
    LogCapture log;

    EXPECT_FALSE(rotator.tick(0.0)) << "auto-rotate is off";
    EXPECT_EQ(settings.selectedPattern(), AudioVisualPattern::blackScreen);

    settings.setPatternAutoRotate(true);
    settings.setPatternRotateInterval(3.0);
    EXPECT_TRUE(rotator.tick(1.0)) << "the first tick rotates at once";
    EXPECT_EQ(settings.selectedPattern(), AudioVisualPattern::colorfulAbstract);
    EXPECT_TRUE(log.contains("Auto-rotate: Switched to Abstract Colors"));

    EXPECT_FALSE(rotator.tick(2.0));
    EXPECT_FALSE(rotator.tick(3.0));
    EXPECT_TRUE(rotator.tick(4.0)) << "three seconds have passed";
    EXPECT_EQ(settings.selectedPattern(), AudioVisualPattern::verticalStripes);

    // An interval between ticks is only noticed at the next tick: 2.5 s rotates every 3 ticks.
    settings.setPatternRotateInterval(2.5);
    EXPECT_FALSE(rotator.tick(5.0));
    EXPECT_FALSE(rotator.tick(6.0));
    EXPECT_TRUE(rotator.tick(7.0));

    settings.setPatternAutoRotate(false);
    EXPECT_FALSE(rotator.tick(60.0));
    EXPECT_EQ(settings.selectedPattern(), AudioVisualPattern::horizontalStripes);
}

TEST(PatternRotationTest, ANewRotatorStartsWithoutMemory)
{
    SettingsManager settings;
    settings.setPatternAutoRotate(true);
    settings.setSelectedPattern(AudioVisualPattern::pulsingRing);
    PatternAutoRotator first(settings);
    EXPECT_TRUE(first.tick(100.0));
    EXPECT_EQ(settings.selectedPattern(), AudioVisualPattern::colorfulAbstract);
    PatternAutoRotator second(settings);
    EXPECT_TRUE(second.tick(100.5)) << "a newly shown view rotates on its first tick";
}

TEST(PatternRotationTest, CanvasCapturesAmplitudeOnlyWhileAudioReactionIsOn)
{
    SettingsManager settings;
    AudioAnalyzer analyzer;
    settings.setPatternSpeed(2.5);
    settings.setPatternSize(7.0);
    settings.setPatternGap(3.0);
    PatternFrame frame = PatternCanvas::capture(settings, analyzer, 12.0);
    EXPECT_EQ(frame.time, 12.0);
    EXPECT_EQ(frame.speed, 2.5);
    EXPECT_EQ(frame.size, 7.0);
    EXPECT_EQ(frame.gap, 3.0);
    EXPECT_EQ(frame.color1, SettingsManager::defaultPatternColor1);
    EXPECT_EQ(frame.color2, SettingsManager::defaultPatternColor2);
    EXPECT_EQ(frame.amplitude, 0.0f) << "the analyser's, silent";

    settings.setAudioReactiveEnabled(false);
    EXPECT_EQ(PatternCanvas::capture(settings, analyzer, 12.0).amplitude, 0.5f);
    EXPECT_EQ(PatternCanvas::capture(settings, analyzer, 12.0, true).amplitude, 0.0f) << "as the NDI source reads it";
}

TEST(PatternRotationTest, CanvasKeepsItsRendererWhileTheSameSelectionIsRepeated)
{
    SettingsManager settings;
    AudioAnalyzer analyzer;
    settings.setSelectedPattern(AudioVisualPattern::beatStrobe);
    PatternCanvas canvas(settings, analyzer);
    int rebuilt = 0;
    QObject::connect(&canvas, &PatternCanvas::patternChanged, [&] { ++rebuilt; });

    QImage image(16, 16, QImage::Format_ARGB32_Premultiplied);
    canvas.paint(image, 1000.0);
    // The console repeats the pattern channel with every DMX frame.
    for (int i = 0; i < 5; ++i)
        settings.setSelectedPattern(AudioVisualPattern::beatStrobe);
    EXPECT_EQ(rebuilt, 0);
    EXPECT_EQ(canvas.pattern(), AudioVisualPattern::beatStrobe);

    settings.setSelectedPattern(AudioVisualPattern::pulsingRing);
    EXPECT_EQ(rebuilt, 1);
    EXPECT_EQ(canvas.pattern(), AudioVisualPattern::pulsingRing);
}

} // namespace
