// Protects the player under the engine and the background video where the engine tests do not
// reach: replacement leaves the old item paused, failures are reported, loops have no seam, a
// seek keeps the speed.
#include "MediaFixtures.h"
#include "platform/media/MediaPlayer.h"

#include <QElapsedTimer>

#include <atomic>
#include <mutex>
#include <utility>
#include <vector>

using namespace orvelo;
using namespace orvelo::test;
using namespace std::chrono_literals;

namespace {

class MediaPlayerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        clock.start();
        QObject::connect(&player, &MediaPlayer::itemDidPlayToEnd, [this] { endMs.push_back(clock.elapsed()); });
        QObject::connect(&player, &MediaPlayer::itemFailed, [this](const QString& e) { failures << e; });
    }

    bool waitForEnds(std::size_t count)
    {
        return waitUntil([&] { return endMs.size() >= count; }, 8s);
    }

    MediaPlayer player;
    QElapsedTimer clock;
    std::vector<qint64> endMs;
    QStringList failures;
};

} // namespace

TEST_F(MediaPlayerTest, ReplacingTheItemPlaysTheNewOneAndLeavesTheOldPaused)
{
    int itemChanges = 0;
    QObject::connect(&player, &MediaPlayer::currentItemChanged, [&] { ++itemChanges; });
    auto first = loadAndWait(MediaFiles::countingVideo(50, true));
    auto second = loadAndWait(MediaFiles::tone("wav", 1000));
    player.replaceCurrentItem(first);
    player.play();
    ASSERT_TRUE(waitUntil([&] { return first->currentTime() > 0.3; }));
    const qint64 switchMs = clock.elapsed();
    player.replaceCurrentItem(second);
    EXPECT_EQ(itemChanges, 2);
    const double firstStoppedAt = first->currentTime();
    ASSERT_TRUE(waitForEnds(1));
    // The end is the second item's, a second after the switch.
    EXPECT_NEAR((endMs[0] - switchMs) / 1000.0, 1.0, 0.3);
    EXPECT_NEAR(first->currentTime(), firstStoppedAt, 0.05);
}

TEST_F(MediaPlayerTest, ReportsAFailedItem)
{
    player.replaceCurrentItem(MediaItem::load(QString::fromStdString(tempDir() + "/missing.wav")));
    player.play();
    ASSERT_TRUE(waitUntil([&] { return !failures.isEmpty(); }));
    EXPECT_EQ(failures.front(), player.currentItem()->errorText());
    EXPECT_EQ(player.currentTime(), 0.0);
}

// Set to loop, a clip goes on from its start with no gap and no frame twice: each frame follows
// the one before by one frame period on the playback's time line, across the seams too. Set
// back, it ends at its next end.
TEST_F(MediaPlayerTest, LoopsWithoutASeamThenEndsWhenToldTo)
{
    constexpr int frameCount = 10;
    // Without sound: a sound track that runs longer than the picture sets where the clip ends.
    auto item = loadAndWait(MediaFiles::countingVideo(frameCount, false), PixelFormat::i420);
    ASSERT_EQ(item->status(), MediaItem::Status::readyToPlay);
    // Owned by the hook: the fixture's player keeps the item, and its streaming thread, past the test.
    struct Shown {
        std::mutex mutex;
        std::vector<std::pair<int, double>> frames; // frame index, running time
    };
    auto record = std::make_shared<Shown>();
    item->setVideoFrameHook([record](const VideoFramePtr& frame) {
        std::lock_guard lock(record->mutex);
        record->frames.emplace_back(MediaFiles::frameIndex(*frame), frame->runningTime);
        return frame;
    });
    int ends = 0;
    QObject::connect(&player, &MediaPlayer::itemEndReached, [&] {
        if (++ends == 3)
            player.setLoopAtEnd(false);
    });
    player.setLoopAtEnd(true);
    player.replaceCurrentItem(item);
    player.play();
    ASSERT_TRUE(waitForEnds(1));
    EXPECT_EQ(ends, 3);

    std::lock_guard lock(record->mutex);
    const auto& shown = record->frames;
    ASSERT_FALSE(shown.empty());
    int seams = 0;
    for (std::size_t i = 1; i < shown.size(); ++i) {
        const auto [before, beforeTime] = shown[i - 1];
        const auto [after, afterTime] = shown[i];
        if (after == before && afterTime == beforeTime)
            continue; // the prerolled frame, presented again as playback starts
        seams += before == frameCount - 1 && after == 0;
        EXPECT_TRUE(after == before + 1 || (before == frameCount - 1 && after == 0)) << before << " then " << after;
        EXPECT_NEAR(afterTime - beforeTime, 1.0 / MediaFiles::fps, 0.002)
            << "after frame " << before << " at " << beforeTime << " s";
    }
    EXPECT_EQ(seams, 2);
    EXPECT_EQ(shown.back().first, frameCount - 1);
}

// A speed set while playing changes in place; a seek made while that change is still on its way
// down the streams plays on at that speed (it played at the speed squared), and GStreamer is not
// asked to change the speed of a stream the seek has flushed (it asserted).
TEST_F(MediaPlayerTest, ASeekAfterASpeedChangePlaysOnAtThatSpeed)
{
    struct Criticals {
        std::atomic<int> count{0};
        const guint handler = g_log_set_handler(
            "GStreamer", G_LOG_LEVEL_CRITICAL,
            [](const gchar*, GLogLevelFlags, const gchar* text, gpointer self) {
                ++static_cast<Criticals*>(self)->count;
                ADD_FAILURE() << text;
            },
            this);
        ~Criticals() { g_log_remove_handler("GStreamer", handler); }
    } criticals;
    auto item = loadAndWait(MediaFiles::countingVideo(250, true), PixelFormat::i420);
    ASSERT_EQ(item->status(), MediaItem::Status::readyToPlay);
    player.replaceCurrentItem(item);
    player.play();
    ASSERT_TRUE(waitUntil([&] { return item->currentTime() > 0.3; }));
    player.setRate(2.0);
    spinFor(5ms);
    player.seek(1.0);
    ASSERT_TRUE(waitUntil([&] { return !item->isSeeking(); }));
    spinFor(300ms);
    const double from = item->currentTime();
    QElapsedTimer elapsed;
    elapsed.start();
    spinFor(1500ms);
    const double speed = (item->currentTime() - from) / (elapsed.elapsed() / 1000.0);
    EXPECT_NEAR(speed, 2.0, 0.5);
    EXPECT_EQ(criticals.count, 0);
}
