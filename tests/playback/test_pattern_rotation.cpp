// Protects the pattern selection over time: the rotation order (never "Black Screen"), the
// one-second ticks against the interval, the log line, and the canvas that rebuilds its
// renderer (and so forgets the last beat) only when the selection really changes.

#include "support/TestSupport.h"

#include "playback/AudioAnalyzer.h"
#include "playback/PatternAutoRotator.h"
#include "playback/PatternCanvas.h"
#include "playback/PatternState.h"

#include <gtest/gtest.h>

#include <QImage>

using namespace orvelo;
using orvelo::test::LogCapture;

namespace {

using P = AudioVisualPattern;

void set(PatternState& state, bool autoRotate, double interval)
{
    PatternParameters parameters = state.parameters();
    parameters.autoRotate = autoRotate;
    parameters.rotateInterval = interval;
    state.setParameters(parameters);
}

TEST(PatternRotationTest, StepsInCatalogueOrderSkippingBlackAndWraps)
{
    EXPECT_EQ(nextRotatablePattern(P::blackScreen), P::colorfulAbstract);
    EXPECT_EQ(nextRotatablePattern(P::oscilloscope), P::spectrumBars);
    EXPECT_EQ(nextRotatablePattern(P::pulsingRing), P::colorfulAbstract);
}

TEST(PatternRotationTest, RotatesOnTheFirstTickThenOncePerIntervalAndANewRotatorForgets)
{
    PatternState state;
    PatternAutoRotator rotator(state);
    LogCapture log;
    EXPECT_FALSE(rotator.tick(0.0)) << "auto-rotate is off";

    set(state, true, 3.0);
    EXPECT_TRUE(rotator.tick(1.0)) << "the first tick rotates at once";
    EXPECT_EQ(state.parameters().selected, P::colorfulAbstract);
    EXPECT_TRUE(log.contains("Auto-rotate: Switched to Abstract Colors"));
    EXPECT_FALSE(rotator.tick(2.0));
    EXPECT_FALSE(rotator.tick(3.0));
    EXPECT_TRUE(rotator.tick(4.0)) << "three seconds have passed";

    // An interval between ticks is only noticed at the next tick: 2.5 s rotates every 3 ticks.
    set(state, true, 2.5);
    EXPECT_FALSE(rotator.tick(5.0));
    EXPECT_FALSE(rotator.tick(6.0));
    EXPECT_TRUE(rotator.tick(7.0));
    EXPECT_TRUE(PatternAutoRotator(state).tick(7.5)) << "a newly shown view rotates on its first tick";

    set(state, false, 2.5);
    EXPECT_FALSE(rotator.tick(60.0));
    EXPECT_EQ(state.parameters().selected, P::oscilloscope);
}

TEST(PatternRotationTest, CanvasCapturesAmplitudeOnlyWhileAudioReactionIsOn)
{
    AudioAnalyzer analyzer;
    PatternParameters parameters;
    parameters.speed = 2.5;
    parameters.size = 7.0;
    parameters.gap = 3.0;
    const PatternFrame frame = PatternCanvas::capture(parameters, analyzer, 12.0);
    EXPECT_EQ(frame.time, 12.0);
    EXPECT_EQ(frame.speed, 2.5);
    EXPECT_EQ(frame.size, 7.0);
    EXPECT_EQ(frame.gap, 3.0);
    EXPECT_EQ(frame.color1, parameters.color1);
    EXPECT_EQ(frame.color2, parameters.color2);
    EXPECT_EQ(frame.amplitude, 0.0f) << "the analyser's, silent";

    parameters.audioReactive = false;
    EXPECT_EQ(PatternCanvas::capture(parameters, analyzer, 12.0).amplitude, 0.5f);
    EXPECT_EQ(PatternCanvas::capture(parameters, analyzer, 12.0, true).amplitude, 0.0f) << "as the NDI source reads it";
}

TEST(PatternRotationTest, CanvasKeepsItsRendererWhileTheSameSelectionIsRepeated)
{
    PatternState state;
    AudioAnalyzer analyzer;
    state.setSelectedPattern(P::beatStrobe);
    PatternCanvas canvas(state, analyzer);
    int rebuilt = 0;
    QObject::connect(&canvas, &PatternCanvas::patternChanged, [&] { ++rebuilt; });

    QImage image(16, 16, QImage::Format_ARGB32_Premultiplied);
    canvas.paint(image, 1000.0);
    // The console repeats the pattern channel with every DMX frame.
    for (int i = 0; i < 5; ++i)
        state.setSelectedPattern(P::beatStrobe);
    EXPECT_EQ(rebuilt, 0);

    state.setSelectedPattern(P::pulsingRing);
    EXPECT_EQ(rebuilt, 1);
    EXPECT_EQ(canvas.pattern(), P::pulsingRing);
    PatternParameters parameters = state.parameters();
    parameters.selected = P::spectrumBars;
    state.setParameters(parameters);
    EXPECT_EQ(canvas.pattern(), P::spectrumBars) << "a selection published with the other values counts too";
}

} // namespace
