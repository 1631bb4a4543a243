// Protects the player that the playback engine and the background video stand on: real-time
// playback with 25 position reports a second, one end notification per end, replay after a
// seek to zero, speed changes, pausing, item replacement and failure reports.
#include "MediaFixtures.h"
#include "platform/media/MediaPlayer.h"
#include "support/TestSupport.h"

#include <QElapsedTimer>

#include <vector>

using namespace orvelo;
using namespace orvelo::test;
using namespace std::chrono_literals;

namespace {

struct PlayerLog {
    std::vector<double> positions;
    int ends = 0;
    QStringList failures;
    QElapsedTimer clock;
    qint64 firstEndMs = -1;

    explicit PlayerLog(MediaPlayer& player)
    {
        clock.start();
        QObject::connect(&player, &MediaPlayer::positionChanged, [this](double s) { positions.push_back(s); });
        QObject::connect(&player, &MediaPlayer::itemDidPlayToEnd, [this] {
            if (ends++ == 0)
                firstEndMs = clock.elapsed();
        });
        QObject::connect(&player, &MediaPlayer::itemFailed, [this](const QString& e) { failures << e; });
    }
};

} // namespace

TEST(MediaPlayer, PlaysInRealTimeReportingPositionAndEndingOnce)
{
    MediaPlayer player;
    PlayerLog log(player);
    // Handed over while still loading: it starts as soon as it is ready.
    auto item = MediaItem::load(QString::fromStdString(MediaFiles::countingVideo(25, true)));
    qint64 readyMs = -1;
    QObject::connect(item.get(), &MediaItem::statusChanged, [&] { readyMs = log.clock.elapsed(); });
    player.replaceCurrentItem(item);
    player.play();
    ASSERT_TRUE(waitUntil([&] { return log.ends > 0; }, 8s));
    spinFor(300ms);
    EXPECT_EQ(log.ends, 1);
    EXPECT_TRUE(log.failures.isEmpty());
    // One second of media takes one second, not as fast as the machine decodes.
    EXPECT_GE(log.firstEndMs - readyMs, 950);
    EXPECT_LE(log.firstEndMs - readyMs, 1500);
    // 25 reports a second while playing; they follow the media time upwards.
    EXPECT_GE(log.positions.size(), 20u);
    EXPECT_LE(log.positions.size(), 40u);
    for (std::size_t i = 1; i < log.positions.size(); ++i)
        EXPECT_GE(log.positions[i] + 1e-6, log.positions[i - 1]);
    EXPECT_NEAR(player.currentTime(), 1.0, 0.1);
}

TEST(MediaPlayer, SeekToZeroReplaysAfterTheEndAndWhilePlaying)
{
    MediaPlayer player;
    PlayerLog log(player);
    player.replaceCurrentItem(loadAndWait(MediaFiles::countingVideo(25, true)));
    player.play();
    ASSERT_TRUE(waitUntil([&] { return log.ends == 1; }, 5s));
    // The end observer's way of repeating a track.
    player.seekToZero();
    player.play();
    EXPECT_LT(player.currentTime(), 0.2);
    ASSERT_TRUE(waitUntil([&] { return log.ends == 2; }, 5s));
    const qint64 secondEnd = log.clock.elapsed();
    EXPECT_GE(secondEnd - log.firstEndMs, 900);

    // A seek while playing restarts without an extra end notification.
    player.seekToZero();
    spinFor(500ms);
    player.seekToZero();
    ASSERT_TRUE(waitUntil([&] { return log.ends == 3; }, 5s));
    EXPECT_GE(log.clock.elapsed() - secondEnd, 1400);
}

TEST(MediaPlayer, RateChangesSpeedAndPauseHoldsThePosition)
{
    MediaPlayer player;
    PlayerLog log(player);
    player.replaceCurrentItem(loadAndWait(MediaFiles::countingVideo(50, true)));
    player.setRate(2.0);
    EXPECT_EQ(player.rate(), 2.0);
    spinFor(400ms);
    player.pause();
    EXPECT_EQ(player.rate(), 0.0);
    const double paused = player.currentTime();
    EXPECT_NEAR(paused, 0.8, 0.25); // 0.4 s at double speed
    spinFor(300ms);
    EXPECT_NEAR(player.currentTime(), paused, 0.05);

    QElapsedTimer resumed;
    resumed.start();
    player.setRate(2.0);
    ASSERT_TRUE(waitUntil([&] { return log.ends == 1; }, 5s));
    // The rest (about 1.2 s of media) plays at double speed.
    EXPECT_NEAR(resumed.elapsed() / 1000.0, (2.0 - paused) / 2.0, 0.3);
    EXPECT_NEAR(player.currentTime(), 2.0, 0.1);
}

TEST(MediaPlayer, SlowRateStretchesPlayback)
{
    MediaPlayer player;
    PlayerLog log(player);
    player.replaceCurrentItem(loadAndWait(MediaFiles::tone("wav", 1000)));
    player.setRate(0.5);
    spinFor(600ms);
    EXPECT_NEAR(player.currentTime(), 0.3, 0.12);
    EXPECT_EQ(log.ends, 0);
}

TEST(MediaPlayer, ReplacingTheItemPlaysTheNewOneAndLeavesTheOldPaused)
{
    MediaPlayer player;
    PlayerLog log(player);
    int itemChanges = 0;
    QObject::connect(&player, &MediaPlayer::currentItemChanged, [&] { ++itemChanges; });
    auto first = loadAndWait(MediaFiles::countingVideo(50, true));
    auto second = loadAndWait(MediaFiles::tone("wav", 1000));
    player.replaceCurrentItem(first);
    player.play();
    spinFor(300ms);
    QElapsedTimer sinceSwitch;
    sinceSwitch.start();
    player.replaceCurrentItem(second);
    EXPECT_EQ(player.currentItem(), second);
    EXPECT_EQ(itemChanges, 2);
    const double firstStoppedAt = first->currentTime();
    ASSERT_TRUE(waitUntil([&] { return log.ends == 1; }, 3s));
    // The end is the second item's, a second after the switch.
    EXPECT_NEAR(sinceSwitch.elapsed() / 1000.0, 1.0, 0.3);
    EXPECT_NEAR(first->currentTime(), firstStoppedAt, 0.05);
    spinFor(200ms);
    EXPECT_EQ(log.ends, 1);
}

TEST(MediaPlayer, ReportsAFailedItem)
{
    MediaPlayer player;
    PlayerLog log(player);
    player.replaceCurrentItem(MediaItem::load(QString::fromStdString(tempDir() + "/missing.wav")));
    player.play();
    ASSERT_TRUE(waitUntil([&] { return !log.failures.isEmpty(); }));
    EXPECT_EQ(log.failures.front(), player.currentItem()->errorText());
    EXPECT_TRUE(log.positions.empty() || log.positions.back() == 0.0);
    EXPECT_EQ(player.currentTime(), 0.0);
}
