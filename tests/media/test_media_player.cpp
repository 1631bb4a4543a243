// Protects the player under the engine and the background video: real-time playback and position
// reports, one notice per end, replay after a seek, speed, pause, replacement and failures.
#include "MediaFixtures.h"
#include "platform/media/MediaPlayer.h"

#include <QElapsedTimer>

#include <algorithm>
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
        QObject::connect(&player, &MediaPlayer::positionChanged, [this](double s) { positions.push_back(s); });
        QObject::connect(&player, &MediaPlayer::itemDidPlayToEnd, [this] { endMs.push_back(clock.elapsed()); });
        QObject::connect(&player, &MediaPlayer::itemFailed, [this](const QString& e) { failures << e; });
    }

    bool waitForEnds(std::size_t count)
    {
        return waitUntil([&] { return endMs.size() >= count; }, 8s);
    }

    MediaPlayer player;
    QElapsedTimer clock;
    std::vector<double> positions;
    std::vector<qint64> endMs;
    QStringList failures;
};

} // namespace

TEST_F(MediaPlayerTest, PlaysInRealTimeReportingPositionAndEndingOnceUntilASeekToZeroReplays)
{
    // Handed over while still loading: it starts as soon as it is ready.
    auto item = MediaItem::load(QString::fromStdString(MediaFiles::countingVideo(25, true)));
    qint64 readyMs = -1;
    QObject::connect(item.get(), &MediaItem::statusChanged, [&] { readyMs = clock.elapsed(); });
    player.replaceCurrentItem(item);
    player.play();
    ASSERT_TRUE(waitForEnds(1));
    // One second of media takes one second, not as fast as the machine decodes.
    EXPECT_GE(endMs[0] - readyMs, 950);
    EXPECT_LE(endMs[0] - readyMs, 1500);
    // 25 reports a second while playing; they follow the media time upwards.
    EXPECT_GE(positions.size(), 20u);
    EXPECT_LE(positions.size(), 40u);
    EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end(), [](double later, double earlier) {
        return later + 1e-6 < earlier; // allowing for rounding only
    }));
    EXPECT_NEAR(player.currentTime(), 1.0, 0.1);

    // The end observer's way of repeating a track; a seek while playing restarts without an
    // extra end notification.
    player.seekToZero();
    player.play();
    ASSERT_TRUE(waitForEnds(2));
    EXPECT_GE(endMs[1] - endMs[0], 900);
    player.seekToZero();
    ASSERT_TRUE(waitUntil([&] { return player.currentTime() > 0.5; }));
    player.seekToZero();
    ASSERT_TRUE(waitForEnds(3));
    EXPECT_EQ(endMs.size(), 3u);
    EXPECT_GE(endMs[2] - endMs[1], 1400);
}

TEST_F(MediaPlayerTest, RateChangesSpeedAndPauseHoldsThePosition)
{
    player.replaceCurrentItem(loadAndWait(MediaFiles::countingVideo(50, true)));
    QElapsedTimer playing;
    playing.start();
    player.setRate(2.0);
    ASSERT_TRUE(waitUntil([&] { return player.currentTime() >= 0.8; }));
    EXPECT_NEAR(playing.elapsed() / 1000.0, 0.4, 0.2) << "0.8 s of media at double speed";
    player.pause();
    EXPECT_EQ(player.rate(), 0.0);
    const double paused = player.currentTime();
    spinFor(200ms); // nothing tells of a position that does not move
    EXPECT_NEAR(player.currentTime(), paused, 0.05);

    QElapsedTimer resumed;
    resumed.start();
    player.setRate(2.0);
    ASSERT_TRUE(waitForEnds(1));
    // The rest (about 1.2 s of media) plays at double speed.
    EXPECT_NEAR(resumed.elapsed() / 1000.0, (2.0 - paused) / 2.0, 0.3);
    EXPECT_NEAR(player.currentTime(), 2.0, 0.1);
}

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
