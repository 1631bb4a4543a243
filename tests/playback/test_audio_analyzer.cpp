// Protects the audio analysis: levels, time-slice bands and beats on synthetic buffers, the
// publication on the main thread, and attaching to and detaching from items.

#include "support/TestSupport.h"

#include "playback/AudioAnalyzer.h"
#include "playback/AudioLevelMeter.h"
#include "playback/AudioTapHost.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <memory>
#include <thread>
#include <vector>

using namespace orvelo;
using namespace std::chrono_literals;
using orvelo::test::LogCapture;
using orvelo::test::spinFor;
using orvelo::test::waitUntil;

namespace {

// A square wave of amplitude a has RMS a exactly, and peak a.
std::vector<float> square(float amplitude, std::size_t n = 512)
{
    std::vector<float> s(n);
    for (std::size_t i = 0; i < n; ++i)
        s[i] = i % 2 ? -amplitude : amplitude;
    return s;
}

// --- the per-buffer arithmetic --------------------------------------------------------------

TEST(AudioLevelMeterTest, SteadyToneNeverBeatsNotEvenOnItsFirstBuffer)
{
    AudioLevelMeter meter;
    const auto tone = square(0.5f);
    for (int i = 0; i < 60; ++i) {
        const auto levels = meter.measure(tone, i * 0.02);
        ASSERT_TRUE(levels);
        EXPECT_FLOAT_EQ(levels->rms, 0.5f);
        EXPECT_FLOAT_EQ(levels->peak, 0.5f);
        EXPECT_FALSE(levels->beat) << "buffer " << i;
    }
}

TEST(AudioLevelMeterTest, BurstAfterQuietBeatsOncePerCooldown)
{
    AudioLevelMeter meter;
    const auto quiet = square(0.1f);
    const auto burst = square(0.45f);
    double t = 0.0;
    for (int i = 0; i < 30; ++i, t += 0.01)
        EXPECT_FALSE(meter.measure(quiet, t)->beat);

    EXPECT_TRUE(meter.measure(burst, t)->beat);
    EXPECT_FALSE(meter.measure(burst, t + 0.05)->beat); // within 0.1 s
    EXPECT_TRUE(meter.measure(burst, t + 0.15)->beat);
}

TEST(AudioLevelMeterTest, BeatsNeedMoreThanTheThresholdAndHalfAgainTheAverage)
{
    AudioLevelMeter meter;
    const auto silence = std::vector<float>(256, 0.0f);
    for (int i = 0; i < 30; ++i)
        meter.measure(silence, i * 0.01);
    // Exactly at the threshold: far above the average, yet no beat.
    const auto atThreshold = std::vector<float>(256, 0.4f);
    EXPECT_FALSE(meter.measure(atThreshold, 1.0)->beat);

    // Loud, but not half again above a loud average.
    AudioLevelMeter loud;
    const auto steady = square(0.6f);
    for (int i = 0; i < 30; ++i)
        loud.measure(steady, i * 0.2);
    const auto louder = square(0.8f);
    EXPECT_FALSE(loud.measure(louder, 10.0)->beat);
}

TEST(AudioLevelMeterTest, SilenceMeasuresZeroWithoutBeats)
{
    AudioLevelMeter meter;
    const auto silence = std::vector<float>(480, 0.0f);
    const auto levels = meter.measure(silence, 0.0);
    ASSERT_TRUE(levels);
    EXPECT_EQ(levels->rms, 0.0f);
    EXPECT_EQ(levels->peak, 0.0f);
    EXPECT_FALSE(levels->beat);
    ASSERT_TRUE(levels->bands);
    EXPECT_EQ((*levels->bands)[0] + (*levels->bands)[1] + (*levels->bands)[2], 0.0f);
}

TEST(AudioLevelMeterTest, BandsSplitTheBufferInThirdsWithTheRemainderInTheLast)
{
    AudioLevelMeter meter;
    // Ten samples: thirds of 3, 3 and 4.
    const std::vector<float> s{0.3f, -0.3f, 0.3f, 0.6f, 0.6f, -0.6f, 0.9f, -0.9f, 0.9f, 0.0f};
    const auto levels = meter.measure(s, 0.0);
    ASSERT_TRUE(levels && levels->bands);
    EXPECT_NEAR((*levels->bands)[0], 0.3f, 1e-6);
    EXPECT_NEAR((*levels->bands)[1], 0.6f, 1e-6);
    EXPECT_NEAR((*levels->bands)[2], std::sqrt(3 * 0.81f / 4), 1e-6);
    EXPECT_FLOAT_EQ(levels->peak, 0.9f);

    const std::vector<float> two{0.5f, -1.0f};
    const auto small = meter.measure(two, 1.0);
    ASSERT_TRUE(small);
    EXPECT_FALSE(small->bands);
    EXPECT_FLOAT_EQ(small->peak, 1.0f);
    EXPECT_NEAR(small->rms, std::sqrt(1.25f / 2), 1e-6);
}

TEST(AudioLevelMeterTest, EmptyOrBrokenBuffersAreSkippedAndLeaveTheHistoryAlone)
{
    AudioLevelMeter meter;
    EXPECT_FALSE(meter.measure({}, 0.0));
    const auto quiet = square(0.1f);
    for (int i = 0; i < 30; ++i)
        meter.measure(quiet, i * 0.01);
    std::vector<float> broken = square(0.5f);
    broken[7] = std::numeric_limits<float>::quiet_NaN();
    EXPECT_FALSE(meter.measure(broken, 0.5));
    broken[7] = std::numeric_limits<float>::infinity();
    EXPECT_FALSE(meter.measure(broken, 0.6));
    // Had either entered the history, the average would no longer let this burst through.
    const auto burst = square(0.45f);
    EXPECT_TRUE(meter.measure(burst, 0.7)->beat);
}

// --- publication ----------------------------------------------------------------------------

class AudioAnalyzerTest : public ::testing::Test {
protected:
    // Buffers are placed in time by the test, not by the wall clock.
    double now = 1000.0;
    AudioAnalyzer analyzer{[this] { return now; }};

    void feed(const std::vector<float>& samples)
    {
        analyzer.processBuffer(samples);
        now += 0.02;
        spinFor(2ms);
    }
};

TEST_F(AudioAnalyzerTest, FullScaleSquareWaveDrivesEveryLevelToOne)
{
    for (int i = 0; i < 10; ++i)
        feed(square(1.0f));
    ASSERT_TRUE(waitUntil([&] { return analyzer.amplitude() == 1.0f; }));
    EXPECT_EQ(analyzer.peakAmplitude(), 1.0f);
    EXPECT_EQ(analyzer.bassLevel(), 1.0f);
    EXPECT_EQ(analyzer.midLevel(), 1.0f);
    EXPECT_EQ(analyzer.highLevel(), 1.0f);
}

TEST_F(AudioAnalyzerTest, LevelsAreScaledSmoothedAndCapped)
{
    // RMS 0.25: bands 3 x 0.25, amplitude 2 x the smoothed RMS, which approaches 0.25.
    for (int i = 0; i < 40; ++i)
        feed(square(0.25f));
    ASSERT_TRUE(waitUntil([&] { return analyzer.amplitude() > 0.49f; }));
    EXPECT_NEAR(analyzer.amplitude(), 0.5f, 0.01f);
    EXPECT_FLOAT_EQ(analyzer.bassLevel(), 0.75f);
    EXPECT_FLOAT_EQ(analyzer.peakAmplitude(), 0.25f);

    // One loud buffer moves the smoothed level by 0.3 of the step only.
    feed(square(0.75f));
    ASSERT_TRUE(waitUntil([&] { return analyzer.peakAmplitude() == 0.75f; }));
    EXPECT_NEAR(analyzer.amplitude(), 2 * (0.3f * 0.75f + 0.7f * 0.25f), 0.01f);
}

TEST_F(AudioAnalyzerTest, TinyBuffersKeepTheBandLevels)
{
    feed(square(0.2f));
    ASSERT_TRUE(waitUntil([&] { return analyzer.midLevel() > 0.0f; }));
    const float mid = analyzer.midLevel();
    const std::vector<float> two{0.9f, -0.9f};
    feed(two);
    ASSERT_TRUE(waitUntil([&] { return analyzer.peakAmplitude() == 0.9f; }));
    EXPECT_EQ(analyzer.midLevel(), mid);
}

TEST_F(AudioAnalyzerTest, BeatFlagRisesAndFallsAfterFiftyMilliseconds)
{
    int rises = 0;
    QObject::connect(&analyzer, &AudioAnalyzer::beatDetectedChanged, [&](bool on) { rises += on ? 1 : 0; });
    for (int i = 0; i < 30; ++i)
        feed(square(0.1f));
    EXPECT_FALSE(analyzer.beatDetected());
    feed(square(0.45f));
    ASSERT_TRUE(waitUntil([&] { return analyzer.beatDetected(); }, 1000ms));
    EXPECT_TRUE(waitUntil([&] { return !analyzer.beatDetected(); }, 1000ms));
    EXPECT_EQ(rises, 1);
}

// --- attaching to items ---------------------------------------------------------------------

// An item whose tap set-up ends as the test says, at once, on the calling thread.
class FakeItem : public AudioTapHost {
public:
    explicit FakeItem(AudioTapSetup outcome = {}) : outcome_(std::move(outcome)) {}

    void installAudioTap(AudioSampleSink sink, std::function<void(const AudioTapSetup&)> done) override
    {
        ++installs;
        this->sink = std::move(sink);
        done(outcome_);
    }

    void play(const std::vector<float>& samples) const
    {
        if (sink)
            sink(samples);
    }

    int installs = 0;
    AudioSampleSink sink;

private:
    AudioTapSetup outcome_;
};

TEST_F(AudioAnalyzerTest, AttachingTwiceToTheSameItemSetsUpOnce)
{
    LogCapture log;
    auto item = std::make_shared<FakeItem>();
    analyzer.attach(item);
    analyzer.attach(item);
    EXPECT_EQ(item->installs, 1);
    ASSERT_TRUE(waitUntil([&] { return analyzer.isTapAttached(); }));
    EXPECT_TRUE(log.contains("AudioAnalyzer: Audio tap attached successfully"));

    item->play(square(0.3f));
    EXPECT_TRUE(waitUntil([&] { return analyzer.peakAmplitude() > 0.29f; }));
}

TEST_F(AudioAnalyzerTest, AnotherItemResetsTheLevelsAndSilencesTheFirst)
{
    auto first = std::make_shared<FakeItem>();
    analyzer.attach(first);
    first->play(square(0.8f));
    ASSERT_TRUE(waitUntil([&] { return analyzer.peakAmplitude() == 0.8f; }));

    auto second = std::make_shared<FakeItem>();
    analyzer.attach(second);
    ASSERT_TRUE(waitUntil([&] { return analyzer.peakAmplitude() == 0.0f; }));
    EXPECT_EQ(analyzer.amplitude(), 0.0f);
    EXPECT_EQ(analyzer.bassLevel(), 0.0f);
    EXPECT_FALSE(analyzer.beatDetected());

    first->play(square(0.9f)); // the old item's tap no longer reaches the analyser
    spinFor(20ms);
    EXPECT_EQ(analyzer.peakAmplitude(), 0.0f);
    second->play(square(0.4f));
    EXPECT_TRUE(waitUntil([&] { return analyzer.peakAmplitude() == 0.4f; }));
}

TEST_F(AudioAnalyzerTest, DetachStopsTheTapAndResetsTheLevels)
{
    auto item = std::make_shared<FakeItem>();
    analyzer.attach(item);
    item->play(square(0.5f));
    ASSERT_TRUE(waitUntil([&] { return analyzer.amplitude() > 0.0f; }));
    analyzer.detach();
    item->play(square(0.5f));
    ASSERT_TRUE(waitUntil([&] { return analyzer.amplitude() == 0.0f; }));
    spinFor(20ms);
    EXPECT_EQ(analyzer.amplitude(), 0.0f);
    EXPECT_FALSE(analyzer.isTapAttached());
}

TEST_F(AudioAnalyzerTest, ItemsAreNotKeptAlive)
{
    auto item = std::make_shared<FakeItem>();
    std::weak_ptr<FakeItem> watch = item;
    analyzer.attach(item);
    item.reset();
    EXPECT_TRUE(watch.expired());
    // A new item is a new item, whatever address it gets.
    auto next = std::make_shared<FakeItem>();
    analyzer.attach(next);
    EXPECT_EQ(next->installs, 1);
}

struct SetupCase {
    AudioTapSetup outcome;
    const char* line;
};

class TapSetupFailureTest : public AudioAnalyzerTest, public ::testing::WithParamInterface<SetupCase> {};

TEST_P(TapSetupFailureTest, IsLoggedAndLeavesTheAnalyserSilent)
{
    LogCapture log;
    analyzer.attach(std::make_shared<FakeItem>(GetParam().outcome));
    ASSERT_TRUE(waitUntil([&] { return log.contains(GetParam().line); }));
    EXPECT_FALSE(analyzer.isTapAttached());
    EXPECT_EQ(analyzer.amplitude(), 0.0f);
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, TapSetupFailureTest,
    ::testing::Values(SetupCase{{AudioTapSetup::Status::NoAudioTrack, "", 0}, "AudioAnalyzer: No audio track found"},
                      SetupCase{{AudioTapSetup::Status::LoadFailed, "Could not demultiplex stream.", 0},
                                "AudioAnalyzer: Error setting up audio tap: Could not demultiplex stream."},
                      SetupCase{{AudioTapSetup::Status::CreateFailed, "", -50},
                                "AudioAnalyzer: Failed to create audio tap, status: -50"}));

TEST_F(AudioAnalyzerTest, ASupersededSetUpIsIgnored)
{
    // The first item's set-up reports only after the second item was attached.
    class LateItem : public AudioTapHost {
    public:
        void installAudioTap(AudioSampleSink, std::function<void(const AudioTapSetup&)> done) override
        {
            pending = std::move(done);
        }
        std::function<void(const AudioTapSetup&)> pending;
    };
    LogCapture log;
    auto late = std::make_shared<LateItem>();
    analyzer.attach(late);
    analyzer.attach(std::make_shared<FakeItem>(AudioTapSetup{AudioTapSetup::Status::NoAudioTrack, "", 0}));
    late->pending(AudioTapSetup{});
    ASSERT_TRUE(waitUntil([&] { return log.contains("AudioAnalyzer: No audio track found"); }));
    spinFor(20ms);
    EXPECT_FALSE(log.contains("AudioAnalyzer: Audio tap attached successfully"));
    EXPECT_FALSE(analyzer.isTapAttached());
}

TEST_F(AudioAnalyzerTest, DetachWhileTheAudioThreadFeedsIsSafe)
{
    auto item = std::make_shared<FakeItem>();
    analyzer.attach(item);
    std::atomic<bool> stop{false};
    std::thread audio([&] {
        const auto buffer = square(0.5f);
        while (!stop)
            item->play(buffer);
    });
    spinFor(20ms);
    analyzer.detach();
    // After detach returns nothing more is measured: let the queue drain, then watch.
    spinFor(20ms);
    EXPECT_EQ(analyzer.amplitude(), 0.0f);
    const float before = analyzer.peakAmplitude();
    spinFor(30ms);
    EXPECT_EQ(analyzer.peakAmplitude(), before);
    stop = true;
    audio.join();
}

} // namespace
