// Protects the playback engine on real decoded media: load, ready, duration and position, ends
// and repeats, overtaken loads, stop and play, failures, audio-only files and effects on frames.

#include "support/MediaFiles.h"
#include "support/TestSupport.h"
#include "support/TrackSupport.h"

#include "playback/AudioAnalyzer.h"
#include "playback/PlaybackEngine.h"
#include "playback/VideoEffectsManager.h"

#include <QElapsedTimer>
#include <QFile>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

using namespace orvelo;
using namespace orvelo::test;
using namespace std::chrono_literals;

namespace {

// What the engine published, with the wall time of each position.
struct Published {
    QElapsedTimer clock;
    std::vector<std::pair<qint64, double>> times;
    std::vector<double> remaining;
    int ended = 0;

    explicit Published(PlaybackEngine& engine)
    {
        clock.start();
        QObject::connect(&engine, &PlaybackEngine::currentTimeChanged,
                         [this](double t) { times.emplace_back(clock.elapsed(), t); });
        QObject::connect(&engine, &PlaybackEngine::remainingTimeChanged, [this](double r) { remaining.push_back(r); });
        engine.onPlaybackEndedCallback = [this] { ++ended; };
    }

    // How often the position went back to the start after having got past `from` seconds.
    int restarts(double from) const
    {
        int count = 0;
        for (std::size_t i = 1; i < times.size(); ++i)
            count += times[i - 1].second > from && times[i].second < 0.2;
        return count;
    }
};

class PlaybackEngineTest : public ::testing::Test {
protected:
    void SetUp() override { VideoEffectsManager::shared().resetAll(); }
    void TearDown() override { VideoEffectsManager::shared().resetAll(); }

    static bool waitLoaded(const PlaybackEngine& engine)
    {
        return waitUntil([&] { return !engine.isLoading(); }, 10s);
    }

    LogCapture log;
};

} // namespace

TEST_F(PlaybackEngineTest, PlaysInRealTimeWithPositionUpdatesAndEndsOnce)
{
    const auto path = MediaFiles::countingVideo(20, true);
    ASSERT_FALSE(path.empty());
    PlaybackEngine engine;
    Published published(engine);

    engine.loadAndPlay(trackFor(path, "Counting"));
    EXPECT_TRUE(log.contains("PlaybackEngine: loadAndPlay called for Counting"));
    EXPECT_TRUE(engine.isLoading());
    EXPECT_FALSE(engine.isPlaying());
    ASSERT_TRUE(waitLoaded(engine));
    const qint64 readyMs = published.clock.elapsed();
    EXPECT_TRUE(log.contains("PlaybackEngine: Track became ReadyToPlay: Counting"));
    EXPECT_TRUE(engine.isPlaying());
    ASSERT_NE(engine.player(), nullptr);
    EXPECT_NE(engine.currentCompositor(), nullptr);
    EXPECT_TRUE(engine.currentItemHasVideo());
    EXPECT_NEAR(engine.duration(), 0.8, 0.05);
    EXPECT_NEAR(engine.remainingTime(), engine.duration() - engine.currentTime(), 0.05);

    ASSERT_TRUE(waitUntil([&] { return published.ended > 0; }, 5s));
    const qint64 playedMs = published.clock.elapsed() - readyMs;
    // Against the clock, not as fast as the machine decodes.
    EXPECT_GE(playedMs, 700);
    EXPECT_LE(playedMs, 1600);
    // About 25 updates a second, following the media time upwards.
    std::vector<double> during;
    for (const auto& [ms, t] : published.times)
        if (ms >= readyMs && t > 0.0 && t < engine.duration())
            during.push_back(t);
    EXPECT_GE(during.size(), 12u);
    EXPECT_LE(during.size(), 40u);
    EXPECT_TRUE(std::is_sorted(during.begin(), during.end()));
    EXPECT_TRUE(std::all_of(published.remaining.begin(), published.remaining.end(), [](double r) { return r >= 0.0; }));

    EXPECT_EQ(published.ended, 1);
    EXPECT_FALSE(engine.isPlaying());
    EXPECT_EQ(engine.currentLoopCount(), 1);
    EXPECT_EQ(engine.currentTime(), engine.duration());
    EXPECT_EQ(engine.remainingTime(), 0.0);
    // Held at its end for half a second: play() does nothing meanwhile.
    engine.play();
    EXPECT_FALSE(engine.isPlaying());
    spinFor(600ms);
    EXPECT_EQ(published.ended, 1);
    engine.play();
    EXPECT_TRUE(engine.isPlaying());
}

TEST_F(PlaybackEngineTest, RepeatCountThreePlaysThreeTimesAskingAtEveryEnd)
{
    const auto path = MediaFiles::countingVideo(20, true);
    ASSERT_FALSE(path.empty());
    PlaybackEngine engine;
    Published published(engine);
    const MediaTrack track = trackFor(path, "Three");
    std::vector<QUuid> asked;
    engine.repeatCountProvider = [&](const QUuid& id) {
        asked.push_back(id);
        return 3;
    };

    engine.loadAndPlay(track);
    ASSERT_TRUE(waitLoaded(engine));
    const qint64 readyMs = published.clock.elapsed();
    ASSERT_TRUE(waitUntil([&] { return published.ended > 0; }, 8s));
    EXPECT_GE(published.clock.elapsed() - readyMs, 3 * 700);
    EXPECT_EQ(published.restarts(0.5), 2);
    EXPECT_EQ(engine.currentLoopCount(), 3);
    EXPECT_EQ(asked, std::vector<QUuid>(3, track.id));
    spinFor(300ms);
    EXPECT_EQ(published.ended, 1);
    EXPECT_FALSE(engine.isPlaying());
}

TEST_F(PlaybackEngineTest, RepeatCountZeroLoopsWithoutEndAtTheSetSpeed)
{
    const auto path = MediaFiles::countingVideo(20, true);
    ASSERT_FALSE(path.empty());
    PlaybackEngine engine;
    Published published(engine);
    engine.repeatCountProvider = [](const QUuid&) { return 0; };
    engine.setPlaybackRate(1.25f);

    engine.loadAndPlay(trackFor(path, "Forever"));
    ASSERT_TRUE(waitLoaded(engine));
    ASSERT_TRUE(waitUntil([&] { return engine.currentLoopCount() >= 3; }, 8s));
    EXPECT_EQ(published.ended, 0);
    EXPECT_TRUE(engine.isPlaying());
    EXPECT_EQ(engine.player()->rate(), 1.25);
    EXPECT_GE(published.restarts(0.4), 3);
}

TEST_F(PlaybackEngineTest, EndNotificationsWithinHalfASecondCountOnce)
{
    const auto path = MediaFiles::countingVideo(50, false);
    ASSERT_FALSE(path.empty());
    PlaybackEngine engine;
    engine.repeatCountProvider = [](const QUuid&) { return 0; };
    engine.loadAndPlay(trackFor(path, "Twice"));
    ASSERT_TRUE(waitLoaded(engine));

    emit engine.player()->itemDidPlayToEnd();
    spinFor(200ms);
    emit engine.player()->itemDidPlayToEnd();
    EXPECT_EQ(engine.currentLoopCount(), 1);
    spinFor(400ms);
    emit engine.player()->itemDidPlayToEnd();
    EXPECT_EQ(engine.currentLoopCount(), 2);
}

TEST_F(PlaybackEngineTest, OnlyTheNewestOfOverlappingLoadsPlays)
{
    const auto first = MediaFiles::countingVideo(20, true);
    const auto second = MediaFiles::countingVideo(20, true, 1);
    ASSERT_FALSE(first.empty());
    ASSERT_FALSE(second.empty());
    PlaybackEngine engine;
    const MediaTrack a = trackFor(first, "A");
    const MediaTrack b = trackFor(second, "B");

    engine.loadAndPlay(a);
    engine.loadAndPlay(b);
    ASSERT_TRUE(
        waitUntil([&] { return log.contains("PlaybackEngine: Aborting load for A, newer request exists"); }, 10s));
    ASSERT_TRUE(waitLoaded(engine));
    EXPECT_TRUE(log.contains("PlaybackEngine: Track became ReadyToPlay: B"));
    EXPECT_FALSE(log.contains("PlaybackEngine: Track became ReadyToPlay: A"));
    ASSERT_TRUE(engine.currentTrack());
    EXPECT_EQ(engine.currentTrack()->id, b.id);
    EXPECT_EQ(engine.player()->currentItem()->path(), QString::fromStdString(second));

    // Back to A before either load is done: the first A is overtaken as well, so A starts once.
    log.clear();
    engine.loadAndPlay(a);
    engine.loadAndPlay(b);
    engine.loadAndPlay(a);
    ASSERT_TRUE(waitUntil([&] { return log.count("PlaybackEngine: Track became ReadyToPlay: A") == 1; }, 10s));
    ASSERT_TRUE(
        waitUntil([&] { return log.count("PlaybackEngine: Aborting load for A, newer request exists") == 1; }, 10s));
    ASSERT_TRUE(
        waitUntil([&] { return log.count("PlaybackEngine: Aborting load for B, newer request exists") == 1; }, 10s));
    spinFor(200ms);
    EXPECT_EQ(log.count("PlaybackEngine: Track became ReadyToPlay: A"), 1);
    EXPECT_EQ(engine.currentTrack()->id, a.id);

    // Requesting the playing track again changes nothing, not even the log.
    log.clear();
    engine.loadAndPlay(a);
    EXPECT_TRUE(log.lines().empty());
    EXPECT_TRUE(engine.isPlaying());
}

TEST_F(PlaybackEngineTest, StopKeepsTheTrackAndPlayStartsFromTheBeginning)
{
    const auto path = MediaFiles::countingVideo(50, false);
    ASSERT_FALSE(path.empty());
    PlaybackEngine engine;
    Published published(engine);
    const MediaTrack track = trackFor(path, "Stopped");
    engine.loadAndPlay(track);
    ASSERT_TRUE(waitLoaded(engine));
    ASSERT_TRUE(waitUntil([&] { return engine.currentTime() > 0.4; }, 5s));

    engine.stop();
    EXPECT_FALSE(engine.isPlaying());
    EXPECT_EQ(engine.currentTime(), 0.0);
    EXPECT_EQ(engine.remainingTime(), engine.duration());
    ASSERT_TRUE(engine.currentTrack());
    EXPECT_EQ(engine.currentTrack()->id, track.id);
    EXPECT_EQ(engine.player()->rate(), 0.0);
    // The picture goes back to the first frame and stays there.
    EXPECT_TRUE(waitUntil([&] {
        const auto frame = engine.player()->latestFrame();
        return frame && MediaFiles::frameIndex(*frame) == 0;
    }));
    spinFor(200ms);
    EXPECT_EQ(engine.currentTime(), 0.0);

    // Loading the stopped track again does nothing: it is still the pending one.
    log.clear();
    engine.loadAndPlay(track);
    EXPECT_TRUE(log.lines().empty());
    EXPECT_FALSE(engine.isPlaying());

    published.times.clear();
    engine.play();
    EXPECT_TRUE(engine.isPlaying());
    ASSERT_TRUE(waitUntil([&] { return engine.currentTime() > 0.3; }, 5s));
    ASSERT_FALSE(published.times.empty());
    EXPECT_LT(published.times.front().second, 0.1);
}

TEST_F(PlaybackEngineTest, FailedLoadStopsAndTheNextLoadWorks)
{
    const auto broken = MediaFiles::notMedia();
    const auto good = MediaFiles::countingVideo(20, true);
    ASSERT_FALSE(good.empty());
    PlaybackEngine engine;
    const MediaTrack bad = trackFor(broken, "Broken");

    engine.loadAndPlay(bad);
    ASSERT_TRUE(waitLoaded(engine));
    EXPECT_TRUE(log.containsPrefix("PlaybackEngine: Failed to load track. Error: "));
    EXPECT_FALSE(engine.isPlaying());
    EXPECT_FALSE(log.contains("PlaybackEngine: Track became ReadyToPlay: Broken"));

    // The failure clears the pending request, so the same track may be tried again.
    engine.loadAndPlay(bad);
    EXPECT_EQ(log.count("PlaybackEngine: loadAndPlay called for Broken"), 2);
    ASSERT_TRUE(waitLoaded(engine));
    EXPECT_FALSE(engine.isPlaying());

    engine.loadAndPlay(trackFor(tempDir() + "/missing.mp4", "Missing"));
    ASSERT_TRUE(waitLoaded(engine));
    EXPECT_FALSE(engine.isPlaying());

    engine.loadAndPlay(trackFor(good, "Good"));
    ASSERT_TRUE(waitLoaded(engine));
    EXPECT_TRUE(log.contains("PlaybackEngine: Track became ReadyToPlay: Good"));
    EXPECT_TRUE(engine.isPlaying());
    EXPECT_TRUE(waitUntil([&] { return engine.currentTime() > 0.2; }));
}

TEST_F(PlaybackEngineTest, AudioOnlyFilePlaysWithoutCompositor)
{
    const auto path = MediaFiles::tone("wav", 1000);
    ASSERT_FALSE(path.empty());
    PlaybackEngine engine;
    const MediaTrack track = trackFor(path, "Tone");
    engine.loadAndPlay(track);
    ASSERT_TRUE(waitLoaded(engine));
    EXPECT_TRUE(log.contains("PlaybackEngine: Skipping video composition for " + track.url.fileName().toStdString() +
                             " (invalid size or no video tracks)"));
    EXPECT_EQ(engine.currentCompositor(), nullptr);
    EXPECT_FALSE(engine.currentItemHasVideo());
    EXPECT_TRUE(engine.isPlaying());
    EXPECT_NEAR(engine.duration(), 1.0, 0.02);
    EXPECT_TRUE(waitUntil([&] { return engine.currentTime() > 0.2; }));
}

TEST_F(PlaybackEngineTest, FlacDurationComesFromTheSampleCount)
{
    const auto path = MediaFiles::tone("flac", 1500);
    ASSERT_FALSE(path.empty());
    // The extension is compared without regard to case.
    const QString copy = QString::fromStdString(tempDir()) + "/Tone.FLAC";
    QFile::remove(copy);
    ASSERT_TRUE(QFile::copy(QString::fromStdString(path), copy));
    PlaybackEngine engine;
    engine.loadAndPlay(trackFor(copy.toStdString(), "Flac"));
    ASSERT_TRUE(waitLoaded(engine));
    EXPECT_TRUE(log.contains("PlaybackEngine: Using AudioToolbox duration for FLAC: 1.5s"));
    EXPECT_TRUE(
        log.contains("PlaybackEngine: Skipping video composition for Tone.FLAC (invalid size or no video tracks)"));
    EXPECT_EQ(engine.duration(), 1.5);
}

TEST_F(PlaybackEngineTest, EffectsApplyToDecodedFrames)
{
    const auto path = MediaFiles::countingVideo(50, false);
    ASSERT_FALSE(path.empty());
    auto& effects = VideoEffectsManager::shared();
    PlaybackEngine engine;
    engine.repeatCountProvider = [](const QUuid&) { return 0; };
    engine.loadAndPlay(trackFor(path, "Effects"));
    ASSERT_TRUE(waitLoaded(engine));
    const auto latest = [&] { return engine.player()->latestFrame(); };
    // Waits for a composed frame whose centre pixel, given the frame's own index (from its
    // time), is as expected.
    const auto composedWhere = [&](const std::function<bool(int, const std::array<int, 4>&)>& holds) {
        return waitUntil([&] {
            const auto frame = latest();
            if (!frame || frame->format != PixelFormat::BGRA)
                return false;
            return holds(static_cast<int>(std::lround(frame->pts * MediaFiles::fps)), MediaFiles::centrePixel(*frame));
        });
    };
    const auto near = [](int value, int expected) { return std::abs(value - expected) <= 3; };

    // Neutral: the decoded frames themselves are shown, still in the decoder's form.
    ASSERT_TRUE(waitUntil([&] { return latest() && MediaFiles::frameIndex(*latest()) > 2; }));
    EXPECT_EQ(latest()->format, PixelFormat::I420);

    // Green off: green is 0, red and blue keep the frame's grey.
    effects.setGreenEnabled(false);
    EXPECT_TRUE(composedWhere([&](int i, const auto& bgra) {
        return bgra[1] == 0 && near(bgra[2], MediaFiles::greyOf(i)) && near(bgra[0], MediaFiles::greyOf(i)) &&
               bgra[3] == 255 && i > 0;
    }));
    effects.setGreenEnabled(true);

    // Inverted: each component becomes 255 minus the grey.
    effects.setIsInverted(true);
    EXPECT_TRUE(composedWhere([&](int i, const auto& bgra) {
        const int inverted = 255 - MediaFiles::greyOf(i);
        return near(bgra[0], inverted) && near(bgra[1], inverted) && near(bgra[2], inverted) && i > 0;
    }));
    effects.setIsInverted(false);

    // Red five frames late: red shows the frame counted five before the one green and blue show.
    effects.setRedTimeShift(5);
    EXPECT_TRUE(composedWhere([&](int i, const auto& bgra) {
        return i >= 5 && near(bgra[2], MediaFiles::greyOf(i - 5)) && near(bgra[1], MediaFiles::greyOf(i)) &&
               near(bgra[0], MediaFiles::greyOf(i));
    }));
}

TEST_F(PlaybackEngineTest, AudioAnalyserListensThroughTheCurrentItem)
{
    const auto withAudio = MediaFiles::tone("wav", 1000);
    const auto silent = MediaFiles::countingVideo(20, false);
    ASSERT_FALSE(withAudio.empty());
    ASSERT_FALSE(silent.empty());
    AudioAnalyzer analyzer;
    PlaybackEngine engine;
    EXPECT_EQ(engine.audioTapHost(), nullptr);
    engine.repeatCountProvider = [](const QUuid&) { return 0; };

    engine.loadAndPlay(trackFor(withAudio, "Sound"));
    ASSERT_TRUE(waitLoaded(engine));
    const auto host = engine.audioTapHost();
    ASSERT_NE(host, nullptr);
    analyzer.attach(host);
    // A half-scale sine: peak 0.5, unaltered on its way.
    EXPECT_TRUE(waitUntil([&] { return analyzer.peakAmplitude() > 0.45f; }));
    EXPECT_LE(analyzer.peakAmplitude(), 0.501f);
    EXPECT_TRUE(log.contains("AudioAnalyzer: Audio tap attached successfully"));
    EXPECT_EQ(engine.audioTapHost(), host);

    engine.loadAndPlay(trackFor(silent, "Silent"));
    ASSERT_TRUE(waitLoaded(engine));
    ASSERT_NE(engine.audioTapHost(), host);
    analyzer.attach(engine.audioTapHost());
    EXPECT_TRUE(waitUntil([&] { return log.contains("AudioAnalyzer: No audio track found"); }));
}
