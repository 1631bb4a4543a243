// Protects the background video behind audio-only tracks: a muted player that loops without
// end through the effects, follows the effects speed and the engine, and goes when cleared.

#include "support/MediaFiles.h"
#include "support/TestSupport.h"
#include "support/TrackSupport.h"

#include "playback/PlaybackEngine.h"
#include "playback/VideoEffectsManager.h"
#include "settings/SettingsManager.h"

#include <QCoreApplication>
#include <QSettings>

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
        // Each test process has a store of its own (the test main sees to that); start empty.
        QSettings store;
        store.clear();
        store.sync();
        VideoEffectsManager::shared().resetAll();
        video = MediaFiles::countingVideo(20, false);
        ASSERT_FALSE(video.empty());
    }
    void TearDown() override { VideoEffectsManager::shared().resetAll(); }

    QUrl videoUrl() const { return QUrl::fromLocalFile(QString::fromStdString(video)); }

    // Deferred deletions run when control returns to a running event loop, which a test's
    // spinning of the loop never does: deliver them by hand.
    static bool waitDeleted(const QPointer<MediaPlayer>& player)
    {
        return waitUntil([&] {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            return player.isNull();
        });
    }

    static bool waitReady(MediaPlayer* player)
    {
        return waitUntil([&] {
            return player->currentItem() && player->currentItem()->status() != MediaItem::Status::Loading;
        }, 10s);
    }

    std::string video;
};

} // namespace

TEST_F(BackgroundVideoTest, LoopsMutedThroughTheEffectsAtTheCurrentSpeed)
{
    SettingsManager settings;
    int playerChanges = 0;
    QObject::connect(&settings, &SettingsManager::defaultVideoPlayerChanged, [&] { ++playerChanges; });
    settings.selectDefaultVideo(videoUrl());
    MediaPlayer* player = settings.defaultVideoPlayer();
    ASSERT_NE(player, nullptr);
    EXPECT_EQ(playerChanges, 1);
    EXPECT_TRUE(player->isMuted());
    ASSERT_TRUE(waitReady(player));
    // Set up, not started.
    EXPECT_EQ(player->rate(), 0.0);
    int ends = 0;
    QObject::connect(player, &MediaPlayer::itemDidPlayToEnd, [&] { ++ends; });

    auto& effects = VideoEffectsManager::shared();
    effects.setIsInverted(true);
    settings.playDefaultVideo();
    EXPECT_EQ(player->rate(), 1.0);
    // Its frames pass through the compositor: inverted grey.
    EXPECT_TRUE(waitUntil([&] {
        const auto frame = player->latestFrame();
        if (!frame || frame->format != PixelFormat::BGRA)
            return false;
        const auto bgra = MediaFiles::centrePixel(*frame);
        const int inverted = 255 - MediaFiles::greyOf(static_cast<int>(std::lround(frame->pts * MediaFiles::kFps)));
        return std::abs(bgra[1] - inverted) <= 3;
    }));

    // Without a binding the speed reaches the player at the next loop, when it starts over.
    effects.setPlaybackSpeed(1.5f);
    EXPECT_EQ(player->rate(), 1.0);
    ASSERT_TRUE(waitUntil([&] { return ends == 1; }, 5s));
    EXPECT_EQ(player->rate(), 1.5);
    EXPECT_LT(player->currentTime(), 0.2);
    ASSERT_TRUE(waitUntil([&] { return ends == 2; }, 5s));
    EXPECT_TRUE(waitUntil([&] { return player->currentTime() > 0.1; }));
    EXPECT_EQ(player->rate(), 1.5);
}

TEST_F(BackgroundVideoTest, RestartReopensTheRememberedVideoWithoutStartingIt)
{
    {
        SettingsManager firstRun;
        firstRun.selectDefaultVideo(videoUrl());
    }
    LogCapture log;
    SettingsManager nextRun;
    EXPECT_TRUE(log.contains("SettingsManager: Default video loaded successfully: " + videoUrl().fileName().toStdString()));
    MediaPlayer* player = nextRun.defaultVideoPlayer();
    ASSERT_NE(player, nullptr);
    ASSERT_TRUE(waitReady(player));
    EXPECT_EQ(player->currentItem()->status(), MediaItem::Status::ReadyToPlay);
    EXPECT_TRUE(player->isMuted());
    EXPECT_EQ(player->rate(), 0.0);
}

TEST_F(BackgroundVideoTest, EffectsSpeedDrivesBothPlayersThroughTheBinding)
{
    const auto tone = MediaFiles::tone("wav", 1000);
    ASSERT_FALSE(tone.empty());
    auto& effects = VideoEffectsManager::shared();
    effects.setPlaybackSpeed(0.75f);
    SettingsManager settings;
    settings.selectDefaultVideo(videoUrl());
    MediaPlayer* background = settings.defaultVideoPlayer();
    ASSERT_TRUE(waitReady(background));
    PlaybackEngine engine;

    settings.bindToPlaybackEngine(engine);
    EXPECT_EQ(engine.playbackRate(), 0.75f);
    EXPECT_EQ(background->rate(), 0.0);

    // While the engine is stopped only its stored rate and the background player change.
    effects.setPlaybackSpeed(1.5f);
    EXPECT_EQ(engine.playbackRate(), 1.5f);
    EXPECT_EQ(background->rate(), 1.5);
    EXPECT_EQ(engine.player(), nullptr);

    engine.loadAndPlay(trackFor(tone, "Tone"));
    ASSERT_TRUE(waitUntil([&] { return !engine.isLoading(); }, 10s));
    ASSERT_TRUE(engine.isPlaying());
    EXPECT_EQ(engine.player()->rate(), 1.5);

    effects.setPlaybackSpeed(0.5f);
    EXPECT_EQ(engine.playbackRate(), 0.5f);
    EXPECT_EQ(engine.player()->rate(), 0.5);
    EXPECT_EQ(background->rate(), 0.5);

    engine.pause();
    effects.setPlaybackSpeed(2.0f);
    EXPECT_EQ(engine.player()->rate(), 0.0);
    EXPECT_EQ(engine.playbackRate(), 2.0f);
}

TEST_F(BackgroundVideoTest, FollowsTheEngineStoppingAndChangingTracks)
{
    const auto tone = MediaFiles::tone("wav", 1000);
    ASSERT_FALSE(tone.empty());
    SettingsManager settings;
    settings.selectDefaultVideo(videoUrl());
    MediaPlayer* background = settings.defaultVideoPlayer();
    ASSERT_TRUE(waitReady(background));
    PlaybackEngine engine;
    settings.bindToPlaybackEngine(engine);
    engine.repeatCountProvider = [](const QUuid&) { return 0; };

    engine.loadAndPlay(trackFor(tone, "First"));
    ASSERT_TRUE(waitUntil([&] { return engine.isPlaying(); }, 10s));
    settings.playDefaultVideo();
    ASSERT_TRUE(waitUntil([&] { return background->currentTime() > 0.3; }, 5s));
    engine.stop();
    EXPECT_EQ(background->rate(), 0.0);
    const double heldAt = background->currentTime();
    EXPECT_GT(heldAt, 0.25);
    spinFor(200ms);
    EXPECT_NEAR(background->currentTime(), heldAt, 0.05);

    // A new track puts the background video back to its start (it stays paused while the
    // engine is not playing).
    engine.loadAndPlay(trackFor(tone, "Second"));
    ASSERT_TRUE(waitUntil([&] { return engine.isPlaying(); }, 10s));
    EXPECT_EQ(background->rate(), 0.0);
    EXPECT_TRUE(waitUntil([&] { return background->currentTime() < 0.05; }));

    settings.playDefaultVideo();
    ASSERT_TRUE(waitUntil([&] { return background->currentTime() > 0.2; }, 5s));
    engine.pause();
    EXPECT_EQ(background->rate(), 0.0);
}

TEST_F(BackgroundVideoTest, ClearingAndReplacingLetThePlayerGo)
{
    SettingsManager settings;
    PlaybackEngine engine;
    settings.bindToPlaybackEngine(engine);
    settings.selectDefaultVideo(videoUrl());
    QPointer<MediaPlayer> first = settings.defaultVideoPlayer();
    ASSERT_TRUE(waitReady(first));
    settings.playDefaultVideo();

    // Choosing another file replaces the player.
    settings.selectDefaultVideo(videoUrl());
    QPointer<MediaPlayer> second = settings.defaultVideoPlayer();
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, first);
    EXPECT_TRUE(first.isNull() || first->rate() == 0.0);
    EXPECT_TRUE(waitDeleted(first));
    ASSERT_TRUE(waitReady(second));
    settings.playDefaultVideo();
    EXPECT_GT(second->rate(), 0.0);

    int playerChanges = 0;
    QObject::connect(&settings, &SettingsManager::defaultVideoPlayerChanged, [&] { ++playerChanges; });
    settings.clearDefaultVideo();
    EXPECT_EQ(settings.defaultVideoPlayer(), nullptr);
    EXPECT_EQ(settings.defaultVideoURL(), std::nullopt);
    EXPECT_EQ(playerChanges, 1);
    EXPECT_FALSE(QSettings().contains(SettingsManager::defaultVideoURLKey));
    EXPECT_TRUE(second.isNull() || second->rate() == 0.0);
    EXPECT_TRUE(waitDeleted(second));

    // Nothing left to play or to follow the speed.
    settings.playDefaultVideo();
    VideoEffectsManager::shared().setPlaybackSpeed(1.25f);
    EXPECT_EQ(engine.playbackRate(), 1.25f);
}
