// Protects the background video behind audio-only tracks: muted, looping through the effects,
// following the effects speed and the engine, gone when replaced or closed.

#include "support/MediaFiles.h"
#include "support/TestSupport.h"
#include "support/TrackSupport.h"

#include "playback/BackgroundVideo.h"
#include "playback/PlaybackEngine.h"
#include "playback/VideoEffectsManager.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <cmath>

using namespace orvelo;
using namespace orvelo::test;
using namespace std::chrono_literals;

namespace {

class BackgroundVideoTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        VideoEffectsManager::shared().resetAll();
        const std::string file = MediaFiles::countingVideo(20, false);
        ASSERT_FALSE(file.empty());
        video = QUrl::fromLocalFile(QString::fromStdString(file));
    }
    void TearDown() override { VideoEffectsManager::shared().resetAll(); }

    // Opens the video and waits until its player has loaded.
    MediaPlayer* opened()
    {
        background.open(video);
        MediaPlayer* player = background.player();
        const bool ready =
            player &&
            waitUntil(
                [&] { return player->currentItem() && player->currentItem()->status() != MediaItem::Status::loading; },
                10s);
        return ready ? player : nullptr;
    }

    // Deferred deletions run when control returns to a running event loop, which a test's
    // spinning of the loop never does: deliver them by hand.
    static bool waitDeleted(const QPointer<MediaPlayer>& player)
    {
        return waitUntil([&] {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            return player.isNull();
        });
    }

    QUrl video;
    BackgroundVideo background;
};

TEST_F(BackgroundVideoTest, LoopsMutedThroughTheEffectsAtTheSpeedOfEachStart)
{
    MediaPlayer* player = opened();
    ASSERT_NE(player, nullptr);
    EXPECT_TRUE(player->isMuted());
    int ends = 0;
    QObject::connect(player, &MediaPlayer::itemDidPlayToEnd, [&] { ++ends; });

    auto& effects = VideoEffectsManager::shared();
    effects.setIsInverted(true);
    background.play();
    // Its frames pass through the compositor: inverted grey.
    EXPECT_TRUE(waitUntil([&] {
        const auto frame = player->latestFrame();
        if (!frame || frame->format != PixelFormat::bgra)
            return false;
        const int inverted = 255 - MediaFiles::greyOf(static_cast<int>(std::lround(frame->pts * MediaFiles::fps)));
        return std::abs(MediaFiles::centrePixel(*frame)[1] - inverted) <= 3;
    }));

    // Without a binding the speed reaches the player at the next loop, when it starts over.
    effects.setPlaybackSpeed(1.5f);
    EXPECT_EQ(player->rate(), 1.0);
    ASSERT_TRUE(waitUntil([&] { return ends == 1; }, 5s));
    EXPECT_EQ(player->rate(), 1.5);
    EXPECT_LT(player->currentTime(), 0.2);
    ASSERT_TRUE(waitUntil([&] { return ends == 2; }, 5s)) << "and loops on";
}

TEST_F(BackgroundVideoTest, TheBindingDrivesBothPlayersAtTheEffectsSpeedAndFollowsTheEngine)
{
    const auto tone = MediaFiles::tone("wav", 1000);
    ASSERT_FALSE(tone.empty());
    auto& effects = VideoEffectsManager::shared();
    effects.setPlaybackSpeed(0.75f);
    MediaPlayer* player = opened();
    ASSERT_NE(player, nullptr);
    PlaybackEngine engine;
    engine.repeatCountProvider = [](const QUuid&) { return 0; };
    background.bindToPlaybackEngine(engine);
    EXPECT_EQ(engine.playbackRate(), 0.75f);

    // While the engine is stopped only its stored rate and the background player change.
    effects.setPlaybackSpeed(1.5f);
    EXPECT_EQ(engine.playbackRate(), 1.5f);
    EXPECT_EQ(player->rate(), 1.5);
    background.play();

    engine.loadAndPlay(trackFor(tone, "First"));
    ASSERT_TRUE(waitUntil([&] { return engine.isPlaying(); }, 10s));
    effects.setPlaybackSpeed(0.5f);
    EXPECT_EQ(engine.player()->rate(), 0.5);
    EXPECT_EQ(player->rate(), 0.5);

    ASSERT_TRUE(waitUntil([&] { return player->currentTime() > 0.2; }, 5s));
    engine.stop();
    EXPECT_EQ(player->rate(), 0.0) << "stopping the engine pauses it";

    // A new track puts the background video back to its start (it stays paused while the
    // engine is not playing).
    engine.loadAndPlay(trackFor(tone, "Second"));
    ASSERT_TRUE(waitUntil([&] { return engine.isPlaying(); }, 10s));
    EXPECT_EQ(player->rate(), 0.0);
    EXPECT_TRUE(waitUntil([&] { return player->currentTime() < 0.05; }));

    background.play();
    engine.pause();
    EXPECT_EQ(player->rate(), 0.0);
    effects.setPlaybackSpeed(2.0f);
    EXPECT_EQ(engine.player()->rate(), 0.0) << "a paused engine keeps its player paused";
    EXPECT_EQ(engine.playbackRate(), 2.0f);
}

TEST_F(BackgroundVideoTest, ReplacingAndClosingLetThePlayerGo)
{
    PlaybackEngine engine;
    background.bindToPlaybackEngine(engine);
    int playerChanges = 0;
    QObject::connect(&background, &BackgroundVideo::playerChanged, [&] { ++playerChanges; });
    QPointer<MediaPlayer> first = opened();
    ASSERT_NE(first, nullptr);
    background.play();

    QPointer<MediaPlayer> second = opened();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(playerChanges, 2);
    EXPECT_TRUE(first.isNull() || first->rate() == 0.0);
    EXPECT_TRUE(waitDeleted(first));
    background.play();
    EXPECT_GT(second->rate(), 0.0);

    background.close();
    EXPECT_EQ(background.player(), nullptr);
    EXPECT_EQ(playerChanges, 3);
    EXPECT_TRUE(waitDeleted(second));

    // Nothing left to play or to follow the speed.
    background.play();
    VideoEffectsManager::shared().setPlaybackSpeed(1.25f);
    EXPECT_EQ(engine.playbackRate(), 1.25f);
}

} // namespace
