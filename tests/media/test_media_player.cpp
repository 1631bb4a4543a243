// Protects the player under the engine and the background video where the engine tests do not
// reach: replacement leaves the old item paused, and failures are reported.
#include "MediaFixtures.h"
#include "platform/media/MediaPlayer.h"

#include <QElapsedTimer>

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
