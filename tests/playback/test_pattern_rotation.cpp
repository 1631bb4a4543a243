// Protects the pattern selection over time: rotation order (never "Black Screen"), ticks against
// the interval, and the canvas that rebuilds its renderer only when the selection changes.

#include "support/TestSupport.h"

#include "playback/AudioAnalyzer.h"
#include "playback/PatternAutoRotator.h"
#include "playback/PatternCanvas.h"
#include "playback/PatternState.h"

#include <gtest/gtest.h>

#include <QImage>

#include <tuple>

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

TEST(PatternRotationTest, StepsInCatalogueOrderSkippingBlackOnTheFirstTickThenOncePerInterval)
{
    EXPECT_EQ(nextRotatablePattern(P::blackScreen), P::colorfulAbstract);
    EXPECT_EQ(nextRotatablePattern(P::pulsingRing), P::colorfulAbstract);

    // The first tick rotates at once, then once per interval; a new rotator forgets.
    PatternState state;
    PatternAutoRotator rotator(state);
    LogCapture log;
    EXPECT_FALSE(rotator.tick(0.0)) << "auto-rotate is off";

    set(state, true, 3.0);
    EXPECT_TRUE(rotator.tick(1.0)) << "the first tick rotates at once";
    EXPECT_EQ(state.parameters().selected, P::colorfulAbstract);
    EXPECT_TRUE(log.contains("Auto-rotate: Switched to Abstract Colors"));
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
    const PatternFrame f = PatternCanvas::capture(parameters, analyzer, 12.0);
    EXPECT_EQ(std::tuple(f.time, f.speed, f.size, f.gap, f.color2), std::tuple(12.0, 2.5, 7.0, 3.0, parameters.color2));
    EXPECT_EQ(f.amplitude, 0.0f) << "the analyser's, silent";

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
    // The console repeats the pattern channel with every DMX frame: not news, nor a reason to
    // put off saving the settings.
    int notices = 0;
    QObject::connect(&state, &PatternState::parametersChanged, [&] { ++notices; });
    for (int i = 0; i < 5; ++i) {
        state.setSelectedPattern(P::beatStrobe);
        state.setParameters(state.parameters());
    }
    EXPECT_EQ(rebuilt + notices, 0);

    state.setSelectedPattern(P::pulsingRing);
    EXPECT_EQ(rebuilt, 1);
    PatternParameters parameters = state.parameters();
    parameters.selected = P::spectrumBars;
    state.setParameters(parameters);
    EXPECT_EQ(canvas.pattern(), P::spectrumBars) << "a selection published with the other values counts too";
}

} // namespace
