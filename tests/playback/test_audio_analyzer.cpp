// Protects the audio analysis: levels, bands and beats, publication on the main thread, and
// attaching to and detaching from items.

#include "support/TestSupport.h"

#include "playback/AudioAnalyzer.h"
#include "playback/AudioLevelMeter.h"
#include "playback/AudioTapHost.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <memory>
#include <thread>
#include <vector>

using namespace orvelo;
using orvelo::test::LogCapture;

namespace {

// A square wave of amplitude a has RMS a exactly, and peak a.
std::vector<float> square(float amplitude, std::size_t n = 512)
{
    std::vector<float> s(n);
    for (std::size_t i = 0; i < n; ++i)
        s[i] = i % 2 ? -amplitude : amplitude;
    return s;
}

// A full history of `level`, `step` seconds apart.
void settle(AudioLevelMeter& meter, const std::vector<float>& level, double step = 0.01)
{
    for (int i = 0; i < AudioLevelMeter::historySize; ++i)
        meter.measure(level, i * step);
}

TEST(AudioLevelMeterTest, BeatsNeedABurstAboveTheThresholdAndHalfAgainTheAverageOncePerCooldown)
{
    AudioLevelMeter meter;
    settle(meter, square(0.1f));
    const auto burst = square(0.45f);
    EXPECT_TRUE(meter.measure(burst, 0.3)->beat);
    EXPECT_FALSE(meter.measure(burst, 0.35)->beat) << "within the cooldown";
    EXPECT_TRUE(meter.measure(burst, 0.45)->beat);

    AudioLevelMeter silent;
    settle(silent, std::vector<float>(256, 0.0f));
    EXPECT_FALSE(silent.measure(std::vector<float>(256, 0.4f), 1.0)->beat) << "exactly at the threshold";
    AudioLevelMeter loud;
    settle(loud, square(0.6f), 0.2);
    EXPECT_FALSE(loud.measure(square(0.8f), 10.0)->beat) << "not half again above a loud average";

    // Empty or broken buffers are skipped; had one entered the history, the burst would not pass.
    AudioLevelMeter skipping;
    EXPECT_FALSE(skipping.measure({}, 0.0));
    settle(skipping, square(0.1f));
    std::vector<float> broken = square(0.5f);
    broken[7] = std::numeric_limits<float>::quiet_NaN();
    EXPECT_FALSE(skipping.measure(broken, 0.5));
    EXPECT_TRUE(skipping.measure(burst, 0.7)->beat);
}

TEST(AudioLevelMeterTest, BandsSplitTheBufferInThirdsWithTheRemainderInTheLast)
{
    AudioLevelMeter meter;
    // Ten samples: thirds of 3, 3 and 4.
    const auto levels =
        meter.measure(std::vector<float>{0.3f, -0.3f, 0.3f, 0.6f, 0.6f, -0.6f, 0.9f, -0.9f, 0.9f, 0}, 1);
    ASSERT_TRUE(levels && levels->bands);
    EXPECT_NEAR((*levels->bands)[0], 0.3f, 1e-6);
    EXPECT_NEAR((*levels->bands)[1], 0.6f, 1e-6);
    EXPECT_NEAR((*levels->bands)[2], std::sqrt(3 * 0.81f / 4), 1e-6);

    const auto small = meter.measure(std::vector<float>{0.5f, -1.0f}, 2.0);
    ASSERT_TRUE(small);
    EXPECT_FALSE(small->bands);
    EXPECT_NEAR(small->rms, std::sqrt(1.25f / 2), 1e-6);
}

// An item whose tap set-up ends as the test says, at once, on the calling thread.
class FakeItem : public AudioTapHost {
public:
    explicit FakeItem(AudioTapSetup outcome = {}) : outcome_(std::move(outcome)) {}
    void installAudioTap(AudioSampleSink s, std::function<void(const AudioTapSetup&)> done) override
    {
        ++installs;
        sink = std::move(s);
        done(outcome_);
    }
    void play(float amplitude) const { sink(square(amplitude)); }

    int installs = 0;
    AudioSampleSink sink;

private:
    AudioTapSetup outcome_;
};

class AudioAnalyzerTest : public ::testing::Test {
protected:
    // Runs the publications the analyser posted, as the main thread's event loop would.
    static void publish() { QCoreApplication::sendPostedEvents(); }
    // Buffers are placed in time by the test, not by the wall clock.
    void feed(const std::vector<float>& samples)
    {
        analyzer.processBuffer(samples);
        now += 0.02;
        publish();
    }
    void play(const FakeItem& item, float amplitude)
    {
        item.play(amplitude);
        publish();
    }

    double now = 1000.0;
    AudioAnalyzer analyzer{[this] { return now; }};
};

TEST_F(AudioAnalyzerTest, LevelsAreScaledSmoothedAndCappedAndTheBeatFlagFallsAgain)
{
    int rises = 0;
    QObject::connect(&analyzer, &AudioAnalyzer::beatDetectedChanged, [&](bool on) { rises += on ? 1 : 0; });
    for (int i = 0; i < 10; ++i)
        feed(square(1.0f));
    for (const float level : {analyzer.amplitude(), analyzer.peakAmplitude(), analyzer.highLevel()})
        EXPECT_EQ(level, 1.0f);

    // RMS 0.25: bands 3 x 0.25, amplitude 2 x the smoothed RMS, which approaches 0.25.
    for (int i = 0; i < 40; ++i)
        feed(square(0.25f));
    EXPECT_NEAR(analyzer.amplitude(), 0.5f, 0.01f);
    EXPECT_FLOAT_EQ(analyzer.bassLevel(), 0.75f);
    EXPECT_FALSE(analyzer.beatDetected());

    // One loud buffer (a beat) moves the smoothed level by 0.3 of the step only.
    feed(square(0.75f));
    EXPECT_NEAR(analyzer.amplitude(), 2 * (0.3f * 0.75f + 0.7f * 0.25f), 0.01f);
    EXPECT_TRUE(analyzer.beatDetected());
    EXPECT_TRUE(test::waitUntil([&] { return !analyzer.beatDetected(); }));
    EXPECT_EQ(rises, 1);

    // A buffer too small for bands leaves the band levels as they were.
    const float mid = analyzer.midLevel();
    feed({0.9f, -0.9f});
    EXPECT_EQ(analyzer.peakAmplitude(), 0.9f);
    EXPECT_EQ(analyzer.midLevel(), mid);
}

TEST_F(AudioAnalyzerTest, AnItemIsSetUpOnceAndAnotherItemOrDetachResetsTheLevelsAndSilencesItsTap)
{
    LogCapture log;
    auto first = std::make_shared<FakeItem>();
    analyzer.attach(first);
    analyzer.attach(first);
    EXPECT_EQ(first->installs, 1);
    publish();
    EXPECT_TRUE(analyzer.isTapAttached());
    EXPECT_TRUE(log.contains("AudioAnalyzer: Audio tap attached successfully"));
    play(*first, 0.8f);
    ASSERT_EQ(analyzer.peakAmplitude(), 0.8f);

    auto second = std::make_shared<FakeItem>();
    analyzer.attach(second);
    play(*first, 0.9f);
    EXPECT_EQ(analyzer.peakAmplitude() + analyzer.bassLevel(), 0.0f);
    play(*second, 0.4f);
    EXPECT_EQ(analyzer.peakAmplitude(), 0.4f);
    EXPECT_FLOAT_EQ(analyzer.amplitude(), 2 * 0.3f * 0.4f) << "smoothing starts afresh, not from the old item's level";

    // Items are not kept alive, and a new item is a new item whatever address it gets.
    analyzer.attach(first);
    std::weak_ptr<FakeItem> watch = first;
    first.reset();
    EXPECT_TRUE(watch.expired());
    auto next = std::make_shared<FakeItem>();
    analyzer.attach(next);
    EXPECT_EQ(next->installs, 1);
}

TEST_F(AudioAnalyzerTest, FailedOrSupersededSetUpsAreLoggedAndLeaveTheAnalyserSilent)
{
    const std::pair<AudioTapSetup, const char*> failures[] = {
        {{AudioTapSetup::Status::noAudioTrack, "", 0}, "AudioAnalyzer: No audio track found"},
        {{AudioTapSetup::Status::loadFailed, "Could not demultiplex stream.", 0},
         "AudioAnalyzer: Error setting up audio tap: Could not demultiplex stream."},
        {{AudioTapSetup::Status::createFailed, "", -50}, "AudioAnalyzer: Failed to create audio tap, status: -50"},
    };
    for (const auto& [outcome, line] : failures) {
        LogCapture log;
        analyzer.attach(std::make_shared<FakeItem>(outcome));
        publish();
        EXPECT_TRUE(log.contains(line));
        EXPECT_FALSE(analyzer.isTapAttached()) << line;
    }

    // The first item's set-up reports only after the second item was attached.
    struct LateItem : AudioTapHost {
        void installAudioTap(AudioSampleSink, std::function<void(const AudioTapSetup&)> done) override
        {
            pending = std::move(done);
        }
        std::function<void(const AudioTapSetup&)> pending;
    };
    LogCapture log;
    auto late = std::make_shared<LateItem>();
    analyzer.attach(late);
    analyzer.attach(std::make_shared<FakeItem>(failures[0].first));
    late->pending(AudioTapSetup{});
    publish();
    EXPECT_TRUE(log.contains(failures[0].second));
    EXPECT_FALSE(log.contains("AudioAnalyzer: Audio tap attached successfully"));
    EXPECT_FALSE(analyzer.isTapAttached());
}

TEST_F(AudioAnalyzerTest, DetachWhileTheAudioThreadFeedsIsSafe)
{
    auto item = std::make_shared<FakeItem>();
    analyzer.attach(item);
    std::atomic<bool> stop{false};
    std::atomic<int> played{0};
    std::thread audio([&] {
        for (; !stop; ++played)
            item->play(0.5f);
    });
    ASSERT_TRUE(test::waitUntil([&] { return analyzer.amplitude() > 0.0f; }));
    analyzer.detach();
    // Whatever was measured before detach returned is published before the reset.
    publish();
    EXPECT_EQ(analyzer.amplitude(), 0.0f);
    EXPECT_FALSE(analyzer.isTapAttached());
    const int before = played;
    ASSERT_TRUE(test::waitUntil([&] { return played > before + 100; }));
    publish();
    EXPECT_EQ(analyzer.peakAmplitude(), 0.0f);
    stop = true;
    audio.join();
}

} // namespace
