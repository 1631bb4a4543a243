// Protects the playback engine on real media: load, duration and position, ends and repeats,
// overtaken loads, stop and play, failures, audio-only files and effects on frames.

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
#include <vector>

using namespace orvelo;
using namespace orvelo::test;
using namespace std::chrono_literals;

namespace {

// What the engine published.
struct Published {
    QElapsedTimer clock;
    std::vector<double> times;
    std::vector<double> remaining;
    int ended = 0;

    explicit Published(PlaybackEngine& engine)
    {
        clock.start();
        QObject::connect(&engine, &PlaybackEngine::currentTimeChanged, [this](double t) { times.push_back(t); });
        QObject::connect(&engine, &PlaybackEngine::remainingTimeChanged, [this](double r) { remaining.push_back(r); });
        engine.onPlaybackEndedCallback = [this] { ++ended; };
    }

    // How often the position went back to the start after having got past `from` seconds.
    int restarts(double from) const
    {
        int count = 0;
        for (std::size_t i = 1; i < times.size(); ++i)
            count += times[i - 1] > from && times[i] < 0.2;
        return count;
    }
};

class PlaybackEngineTest : public ::testing::Test {
protected:
    void SetUp() override { VideoEffectsManager::shared().resetAll(); }
    void TearDown() override { VideoEffectsManager::shared().resetAll(); }

    // Asks for `track` and waits until its load has ended, one way or the other.
    bool start(const MediaTrack& track)
    {
        engine.loadAndPlay(track);
        return waitUntil([&] { return !engine.isLoading(); }, 10s);
    }

    LogCapture log;
    PlaybackEngine engine;
    Published published{engine};
};

} // namespace

TEST_F(PlaybackEngineTest, PlaysInRealTimeAsOftenAsTheRepeatCountSaysThenHoldsAtTheEnd)
{
    const auto path = MediaFiles::countingVideo(20, true);
    ASSERT_FALSE(path.empty());
    const MediaTrack track = trackFor(path, "Counting");
    std::vector<QUuid> asked;
    engine.repeatCountProvider = [&](const QUuid& id) {
        asked.push_back(id);
        return 2;
    };
    engine.loadAndPlay(track);
    EXPECT_TRUE(engine.isLoading());
    ASSERT_TRUE(waitUntil([&] { return !engine.isLoading(); }, 10s));
    const qint64 readyMs = published.clock.elapsed();
    EXPECT_TRUE(engine.isPlaying());
    EXPECT_NE(engine.currentCompositor(), nullptr);
    EXPECT_TRUE(engine.currentItemHasVideo());
    EXPECT_NEAR(engine.duration(), 0.8, 0.05);

    ASSERT_TRUE(waitUntil([&] { return published.ended > 0; }, 8s));
    const qint64 endedMs = published.clock.elapsed();
    // Against the clock, not as fast as the machine decodes.
    EXPECT_GE(endedMs - readyMs, 2 * 700);
    EXPECT_LE(endedMs - readyMs, 2 * 1600);
    EXPECT_EQ(published.restarts(0.5), 1);
    // Asked as it starts, and at each end.
    EXPECT_EQ(asked, std::vector<QUuid>(3, track.id));
    // About 25 updates a second.
    EXPECT_GE(published.times.size(), 2 * 10u);
    EXPECT_LE(published.times.size(), 2 * 30u);
    EXPECT_TRUE(std::all_of(published.remaining.begin(), published.remaining.end(), [](double r) { return r >= 0.0; }));

    EXPECT_FALSE(engine.isPlaying());
    EXPECT_EQ(engine.currentLoopCount(), 2);
    EXPECT_EQ(engine.remainingTime(), 0.0);
    // Held at its end for half a second: play() does nothing meanwhile.
    engine.play();
    EXPECT_FALSE(engine.isPlaying());
    ASSERT_TRUE(waitUntil([&] {
        engine.play();
        return engine.isPlaying();
    }));
    EXPECT_GE(published.clock.elapsed() - endedMs, PlaybackEngine::endingWindowMs - 50);
    EXPECT_EQ(published.ended, 1);
}

TEST_F(PlaybackEngineTest, RepeatCountZeroLoopsAtTheSetSpeedAndEndsCloseTogetherCountOnce)
{
    const auto path = MediaFiles::countingVideo(50, false);
    ASSERT_FALSE(path.empty());
    engine.repeatCountProvider = [](const QUuid&) { return 0; };
    engine.setPlaybackRate(1.25f);
    ASSERT_TRUE(start(trackFor(path, "Forever")));
    ASSERT_TRUE(waitUntil([&] { return engine.currentTime() > 0.3; }));

    emit engine.player()->itemDidPlayToEnd();
    emit engine.player()->itemDidPlayToEnd();
    EXPECT_EQ(engine.currentLoopCount(), 1);
    QElapsedTimer sinceFirst;
    sinceFirst.start();
    ASSERT_TRUE(waitUntil([&] {
        emit engine.player()->itemDidPlayToEnd();
        return engine.currentLoopCount() == 2;
    }));
    EXPECT_GE(sinceFirst.elapsed(), PlaybackEngine::duplicateEndMs - 50);
    EXPECT_EQ(published.ended, 0);
    EXPECT_TRUE(engine.isPlaying());
    EXPECT_EQ(engine.player()->rate(), 1.25);
    EXPECT_GE(published.restarts(0.3), 1);

    // Without a word from the controller a track plays once.
    engine.repeatCountProvider = nullptr;
    ASSERT_TRUE(waitUntil([&] {
        emit engine.player()->itemDidPlayToEnd();
        return published.ended == 1;
    }));
    EXPECT_EQ(engine.currentLoopCount(), 3);
}

TEST_F(PlaybackEngineTest, OnlyTheNewestOfOverlappingLoadsPlays)
{
    const auto second = MediaFiles::countingVideo(20, true, 1);
    const MediaTrack a = trackFor(MediaFiles::countingVideo(20, true), "A");
    const MediaTrack b = trackFor(second, "B");
    ASSERT_FALSE(a.url.isEmpty() || second.empty());
    const std::string readyA = "PlaybackEngine: Track became ReadyToPlay: A";
    const auto aborted = [](const std::string& name) {
        return "PlaybackEngine: Aborting load for " + name + ", newer request exists";
    };

    engine.loadAndPlay(a);
    ASSERT_TRUE(start(b));
    ASSERT_TRUE(waitUntil([&] { return log.contains(aborted("A")); }, 10s));
    EXPECT_FALSE(log.contains(readyA));
    EXPECT_EQ(engine.player()->currentItem()->path(), QString::fromStdString(second));

    // Back to A before either load is done: the first A is overtaken as well, so A starts once.
    log.clear();
    engine.loadAndPlay(a);
    engine.loadAndPlay(b);
    engine.loadAndPlay(a);
    ASSERT_TRUE(waitUntil([&] { return log.count(aborted("A")) == 1 && log.count(aborted("B")) == 1; }, 10s));
    ASSERT_TRUE(waitUntil([&] { return log.count(readyA) == 1; }, 10s));
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
    const MediaTrack track = trackFor(path, "Stopped");
    ASSERT_TRUE(start(track));
    ASSERT_TRUE(waitUntil([&] { return engine.currentTime() > 0.4; }, 5s));

    engine.stop();
    EXPECT_EQ(engine.remainingTime(), engine.duration());
    ASSERT_TRUE(engine.currentTrack());
    EXPECT_EQ(engine.currentTrack()->id, track.id);
    EXPECT_EQ(engine.player()->rate(), 0.0);
    // The picture goes back to the first frame and stays there.
    EXPECT_TRUE(waitUntil([&] {
        const auto frame = engine.player()->latestFrame();
        return frame && MediaFiles::frameIndex(*frame) == 0;
    }));
    EXPECT_EQ(engine.currentTime(), 0.0);

    // A console holding stop repeats it with every frame: no seek, no position, no timecode.
    published.times.clear();
    for (int frame = 0; frame < 44; ++frame)
        engine.stop();
    EXPECT_TRUE(published.times.empty());

    // Loading the stopped track again does nothing: it is still the pending one.
    log.clear();
    engine.loadAndPlay(track);
    EXPECT_TRUE(log.lines().empty());
    EXPECT_FALSE(engine.isPlaying());

    published.times.clear();
    engine.play();
    ASSERT_TRUE(waitUntil([&] { return engine.currentTime() > 0.3; }, 5s));
    EXPECT_LT(published.times.front(), 0.1);

    // So does a held pause, and a held speed.
    engine.pause();
    published.times.clear();
    int rateNotices = 0;
    QObject::connect(&engine, &PlaybackEngine::playbackRateChanged, [&] { ++rateNotices; });
    for (int frame = 0; frame < 44; ++frame) {
        engine.pause();
        engine.setPlaybackRate(engine.playbackRate());
    }
    EXPECT_TRUE(published.times.empty());
    EXPECT_EQ(rateNotices, 0);
    EXPECT_EQ(engine.state(), PlaybackState::paused);
}

TEST_F(PlaybackEngineTest, FailedLoadStopsAndTheNextLoadWorks)
{
    const auto good = MediaFiles::countingVideo(20, true);
    ASSERT_FALSE(good.empty());
    const MediaTrack bad = trackFor(MediaFiles::notMedia(), "Broken");
    ASSERT_TRUE(start(bad));
    EXPECT_TRUE(log.containsPrefix("PlaybackEngine: Failed to load track. Error: "));
    EXPECT_FALSE(engine.isPlaying());
    // The failure clears the pending request, so the same track may be tried again.
    ASSERT_TRUE(start(bad));
    EXPECT_EQ(log.count("PlaybackEngine: loadAndPlay called for Broken"), 2);
    ASSERT_TRUE(start(trackFor(tempDir() + "/missing.mp4", "Missing")));
    EXPECT_FALSE(engine.isPlaying());

    ASSERT_TRUE(start(trackFor(good, "Good")));
    EXPECT_TRUE(log.contains("PlaybackEngine: Track became ReadyToPlay: Good"));
    EXPECT_TRUE(waitUntil([&] { return engine.currentTime() > 0.2; }));
}

TEST_F(PlaybackEngineTest, AudioOnlyFilesPlayWithoutCompositorAndFlacTakesItsOwnLength)
{
    const auto flac = MediaFiles::tone("flac", 1500);
    const MediaTrack tone = trackFor(MediaFiles::tone("wav", 1000), "Tone");
    ASSERT_FALSE(flac.empty() || tone.url.isEmpty());
    ASSERT_TRUE(start(tone));
    EXPECT_TRUE(log.contains("PlaybackEngine: Skipping video composition for " + tone.url.fileName().toStdString() +
                             " (invalid size or no video tracks)"));
    EXPECT_EQ(engine.currentCompositor(), nullptr);
    EXPECT_FALSE(engine.currentItemHasVideo());
    EXPECT_NEAR(engine.duration(), 1.0, 0.02);
    EXPECT_TRUE(waitUntil([&] { return engine.currentTime() > 0.2; }));

    // The length comes from the sample count; the extension is compared without regard to case.
    const QString copy = QString::fromStdString(tempDir()) + "/Tone.FLAC";
    QFile::remove(copy);
    ASSERT_TRUE(QFile::copy(QString::fromStdString(flac), copy));
    ASSERT_TRUE(start(trackFor(copy.toStdString(), "Flac")));
    EXPECT_TRUE(log.contains("PlaybackEngine: Using AudioToolbox duration for FLAC: 1.5s"));
    EXPECT_EQ(engine.duration(), 1.5);
}

TEST_F(PlaybackEngineTest, EffectsApplyToDecodedFrames)
{
    const auto path = MediaFiles::countingVideo(50, false);
    ASSERT_FALSE(path.empty());
    auto& effects = VideoEffectsManager::shared();
    engine.repeatCountProvider = [](const QUuid&) { return 0; };
    ASSERT_TRUE(start(trackFor(path, "Effects")));
    const auto latest = [&] { return engine.player()->latestFrame(); };
    // Neutral: the decoded frames themselves are shown, still in the decoder's form.
    ASSERT_TRUE(waitUntil([&] { return latest() && MediaFiles::frameIndex(*latest()) > 2; }));
    EXPECT_EQ(latest()->format, PixelFormat::i420);

    // Red five frames late and green off: the centre pixel {B, G, R} is {grey(i), 0, grey(i - 5)}
    // for the frame's own index i (from its time).
    effects.setRedTimeShift(5);
    effects.setGreenEnabled(false);
    EXPECT_TRUE(waitUntil([&] {
        const auto frame = latest();
        const int i = frame ? static_cast<int>(std::lround(frame->pts * MediaFiles::fps)) : 0;
        if (i < 5 || frame->format != PixelFormat::bgra)
            return false;
        const auto got = MediaFiles::centrePixel(*frame);
        return got[3] == 255 && std::abs(got[0] - MediaFiles::greyOf(i)) <= 3 && got[1] == 0 &&
               std::abs(got[2] - MediaFiles::greyOf(i - 5)) <= 3;
    }));
}

TEST_F(PlaybackEngineTest, AudioAnalyserListensThroughTheCurrentItem)
{
    const auto withAudio = MediaFiles::tone("wav", 1000);
    const auto silent = MediaFiles::countingVideo(20, false);
    ASSERT_FALSE(withAudio.empty() || silent.empty());
    AudioAnalyzer analyzer;
    EXPECT_EQ(engine.audioTapHost(), nullptr);
    engine.repeatCountProvider = [](const QUuid&) { return 0; };

    ASSERT_TRUE(start(trackFor(withAudio, "Sound")));
    const auto host = engine.audioTapHost();
    ASSERT_NE(host, nullptr);
    analyzer.attach(host);
    // A half-scale sine: peak 0.5, unaltered on its way.
    EXPECT_TRUE(waitUntil([&] { return analyzer.peakAmplitude() > 0.45f; }));
    EXPECT_LE(analyzer.peakAmplitude(), 0.501f);

    ASSERT_TRUE(start(trackFor(silent, "Silent")));
    ASSERT_NE(engine.audioTapHost(), host);
    analyzer.attach(engine.audioTapHost());
    EXPECT_TRUE(waitUntil([&] { return log.contains("AudioAnalyzer: No audio track found"); }));
}

// A transport stream, whose demuxer refuses segment seeks, repeats all the same by seeking
// back to the start at each end.
TEST_F(PlaybackEngineTest, RepeatsAContainerWithoutSegmentSeeks)
{
    const auto path = MediaFiles::generate("repeating.ts", "videotestsrc num-buffers=20 ! video/x-raw,format=I420,"
                                                           "width=160,height=120,framerate=25/1 ! x264enc "
                                                           "speed-preset=ultrafast ! h264parse ! mpegtsmux ! "
                                                           "filesink location={out}");
    ASSERT_FALSE(path.empty());
    engine.repeatCountProvider = [](const QUuid&) { return 3; };
    ASSERT_TRUE(start(trackFor(path, "Transport stream")));
    ASSERT_TRUE(waitUntil([&] { return published.ended > 0; }, 8s));
    EXPECT_EQ(engine.currentLoopCount(), 3);
    // Each of the three plays ran to the clip's end.
    const auto& t = published.times;
    int plays = 0;
    for (std::size_t i = 0; i < t.size(); ++i)
        plays += t[i] > 0.7 && (i + 1 == t.size() || t[i + 1] < 0.7);
    EXPECT_EQ(plays, 3);
}

// A prepared track swaps in without a load: its first frame is on show the moment it is cued.
// Preparations follow what is wanted (an entry edited to another file is prepared afresh), a
// failed one leaves the cue to a normal load, and they keep to the count, the memory budget and
// the memory the machine has left.
TEST_F(PlaybackEngineTest, PreparedTracksStartAtOnceAndPreparationsFollowWhatIsWanted)
{
    const auto a = MediaFiles::countingVideo(20, true);
    const auto b = MediaFiles::countingVideo(20, true, 1);
    ASSERT_FALSE(a.empty() || b.empty());
    const MediaTrack first = trackFor(a, "First"), second = trackFor(b, "Second");
    const MediaTrack broken = trackFor(MediaFiles::notMedia(), "Broken");
    TrackPreloader& preloader = engine.preloader();
    ASSERT_TRUE(start(first));
    preloader.want({second, broken});
    ASSERT_TRUE(waitUntil([&] { return preloader.isReady(second) && preloader.preparedIds().size() == 1; }));
    EXPECT_TRUE(log.containsPrefix("TrackPreloader: Could not prepare Broken: "));

    engine.loadAndPlay(second);
    EXPECT_FALSE(engine.isLoading());
    ASSERT_TRUE(engine.currentTrack() && engine.currentTrack()->id == second.id);
    const VideoFramePtr shown = engine.player()->latestFrame();
    ASSERT_TRUE(shown);
    EXPECT_EQ(MediaFiles::frameIndex(*shown), 0);
    EXPECT_TRUE(waitUntil([&] { return engine.currentTime() > 0.2; }));
    EXPECT_TRUE(preloader.preparedIds().isEmpty());

    MediaTrack edited = first;
    edited.url = second.url;
    preloader.want({first});
    ASSERT_TRUE(waitUntil([&] { return preloader.isReady(first); }));
    preloader.want({edited});
    ASSERT_TRUE(waitUntil([&] { return preloader.isReady(edited); }));
    EXPECT_FALSE(preloader.take(first));
    EXPECT_EQ(preloader.preparedIds(), QList<QUuid>{first.id});

    ASSERT_TRUE(start(broken));
    EXPECT_EQ(engine.state(), PlaybackState::failed);

    preloader.setCount(0);
    EXPECT_TRUE(preloader.preparedIds().isEmpty());
    // Small pictures: the budget holds seven of them, not eight.
    preloader.setCount(TrackPreloader::maximumCount);
    preloader.setBudgetMB(TrackPreloader::minimumBudgetMB);
    QList<MediaTrack> many;
    for (int i = 0; i < TrackPreloader::maximumCount; ++i)
        many << trackFor(a, QStringLiteral("Copy %1").arg(i));
    preloader.want(many);
    EXPECT_TRUE(waitUntil([&] { return preloader.preparedIds().size() == 7; }));
    EXPECT_LE(preloader.heldBytes(), std::int64_t(TrackPreloader::minimumBudgetMB) * 1024 * 1024);

    // The machine runs short, with room for two beside its reserve once ours are let go.
    const std::int64_t onePicture = preloader.heldBytes() / 7;
    preloader.setAvailableMemory(
        [&] { return TrackPreloader::memoryReserveBytes + 2 * onePicture - preloader.heldBytes(); });
    preloader.want(many);
    EXPECT_TRUE(waitUntil([&] { return preloader.preparedIds().size() == 2; }));
    EXPECT_TRUE(log.containsPrefix("TrackPreloader: Memory is short ("));
}
