// Protects what the outputs show: the decision table, screen names, letterboxing, the preview's
// view effects, and the output panel keeping background video and analyser in step with tracks.

#include "support/MediaFiles.h"
#include "support/TestSupport.h"
#include "support/TrackSupport.h"

#include "platform/media/MediaPlayer.h"
#include "playback/AudioAnalyzer.h"
#include "playback/BackgroundVideo.h"
#include "playback/ExternalWindowManager.h"
#include "playback/MediaTrack.h"
#include "playback/OutputDecision.h"
#include "playback/PatternState.h"
#include "playback/PlaybackEngine.h"
#include "playback/VideoOutputView.h"
#include "playback/VideoPlayerView.h"
#include "playback/ViewEffects.h"

#include <gtest/gtest.h>

#include <QImage>

#include <tuple>

using namespace orvelo;
using namespace std::chrono_literals;
using orvelo::test::MediaFiles;
using orvelo::test::trackFor;
using orvelo::test::waitUntil;

namespace {

using Preview = OutputDecision::Preview;

TEST(OutputDecisionTest, DecidesThePictureFromPlayerVideoAndBackground)
{
    struct Row {
        bool player, video, background;
        Preview preview;
        bool useBackground, showAsVideo;
    };
    const Row table[] = {
        {false, false, true, Preview::idle, true, true},       {false, true, false, Preview::idle, false, true},
        {true, false, false, Preview::pattern, false, false},  {true, false, true, Preview::defaultVideo, true, true},
        {true, true, true, Preview::engineVideo, false, true},
    };
    for (const Row& row : table) {
        const OutputDecision d{row.player, row.video, row.background};
        SCOPED_TRACE(testing::Message() << "player " << row.player << " video " << row.video << " background "
                                        << row.background);
        EXPECT_EQ(d.preview(), row.preview);
        EXPECT_EQ(d.shouldUseDefaultVideo(), !row.video && row.background);
        EXPECT_EQ(d.fullscreen().useDefaultVideoPlayer, row.useBackground);
        EXPECT_EQ(d.fullscreen().hasVideoTrack, row.showAsVideo);
    }
    EXPECT_EQ(externalContentFor(false, true), ExternalContent::noSignal);
    EXPECT_EQ(externalContentFor(true, false), ExternalContent::pattern);
    EXPECT_EQ(externalContentFor(true, true), ExternalContent::video);
}

TEST(OutputDecisionTest, NamesScreensAndCallsAMissingOneUnknown)
{
    EXPECT_EQ(screenName(2, 3), "Display 3");
    EXPECT_EQ(screenName(2, 2), "Unknown");
    EXPECT_EQ(screenName(-1, 2), "Unknown");
    // Without a window system there is no display to open on.
    PatternState patterns;
    AudioAnalyzer analyzer;
    ExternalWindowManager manager(patterns, analyzer);
    manager.openFullscreenWindow(nullptr, false);
    EXPECT_EQ(manager.externalWindow(), nullptr);
    EXPECT_FALSE(manager.hasEscapeMonitor());
}

TEST(OutputDecisionTest, LetterboxFitsWithoutCroppingAndCentres)
{
    EXPECT_EQ(VideoPlayerView::letterbox({1920, 1080}, QRect(0, 0, 1000, 1000)), QRect(0, 219, 1000, 562));
    EXPECT_EQ(VideoPlayerView::letterbox({100, 100}, QRect(10, 20, 50, 30)), QRect(20, 20, 30, 30));
    EXPECT_TRUE(VideoPlayerView::letterbox({0, 0}, QRect(0, 0, 10, 10)).isEmpty());
}

TEST(OutputDecisionTest, PreviewEffectsMultiplyThenBrightenThenDesaturate)
{
    const int luminance = static_cast<int>(0.2126 * 255 + 0.5);
    const std::tuple<ViewEffects, QColor, QColor> cases[] = {
        {{.greenEnabled = false}, QColor(100, 150, 200), QColor(100, 0, 200)},
        {{.brightness = 0.2f}, QColor(100, 150, 240), QColor(151, 201, 255)},
        {{.saturation = 0.0f}, QColor(255, 0, 0), QColor(luminance, luminance, luminance)},
        // A disabled channel stays 0 even when brightened.
        {{.redEnabled = false, .brightness = 0.5f}, QColor(200, 0, 0), QColor(128, 128, 128)},
    };
    for (const auto& [effects, before, after] : cases) {
        QImage image(4, 4, QImage::Format_ARGB32_Premultiplied);
        image.fill(before);
        effects.applyColour(image);
        EXPECT_EQ(image.pixelColor(1, 1), after) << before.name().toStdString();
    }
}

class VideoOutputViewTest : public ::testing::Test {
protected:
    bool backgroundPlaying() const { return background.player() && background.player()->rate() > 0.0; }

    PlaybackEngine engine;
    BackgroundVideo background;
    PatternState patterns;
    AudioAnalyzer analyzer;
    ExternalWindowManager windows{patterns, analyzer};
    VideoOutputView view{engine, background, patterns, analyzer, windows};
};

TEST_F(VideoOutputViewTest, IdlesWithoutATrackAndShowsThePatternForAudioOnlyWithoutABackground)
{
    const std::string tone = MediaFiles::tone("wav", 1000);
    ASSERT_FALSE(tone.empty());
    view.appear();
    EXPECT_EQ(view.decision().preview(), Preview::idle);
    EXPECT_TRUE(view.autoRotator().isRunning());

    int answers = 0;
    QObject::connect(&view, &VideoOutputView::hasVideoTrackChanged, [&] { ++answers; });
    engine.loadAndPlay(trackFor(tone, "Tone"));
    ASSERT_TRUE(waitUntil([&] { return engine.isPlaying() && answers > 0; }, 10000ms));
    EXPECT_EQ(view.decision().preview(), Preview::pattern);
    view.disappear();
    EXPECT_FALSE(view.autoRotator().isRunning());
}

TEST_F(VideoOutputViewTest, AudioOnlyTracksShowTheBackgroundVideoAndVideoTracksPauseIt)
{
    const std::string tone = MediaFiles::tone("wav", 2000);
    const std::string video = MediaFiles::countingVideo(50, true);
    const std::string backgroundFile = MediaFiles::countingVideo(20, false, 7);
    ASSERT_FALSE(tone.empty() || video.empty() || backgroundFile.empty());
    background.open(QUrl::fromLocalFile(QString::fromStdString(backgroundFile)));
    view.appear();

    engine.loadAndPlay(trackFor(tone, "Tone"));
    ASSERT_TRUE(waitUntil([&] { return engine.isPlaying() && backgroundPlaying(); }, 10000ms));
    EXPECT_EQ(view.decision().preview(), Preview::defaultVideo);
    EXPECT_TRUE(waitUntil([&] { return analyzer.isTapAttached(); }, 5000ms)) << "the analyser follows the track";

    // Pausing the track pauses the background; playing starts it again.
    engine.pause();
    EXPECT_FALSE(backgroundPlaying());
    engine.play();
    EXPECT_TRUE(backgroundPlaying());

    engine.loadAndPlay(trackFor(video, "Video"));
    ASSERT_TRUE(waitUntil([&] { return view.hasVideoTrack(); }, 10000ms));
    EXPECT_EQ(view.decision().preview(), Preview::engineVideo);
    EXPECT_FALSE(backgroundPlaying()) << "a track with a picture pauses the background video";

    // Back to audio only: the background video starts once the check has answered.
    engine.loadAndPlay(trackFor(tone, "Tone again"));
    ASSERT_TRUE(waitUntil([&] { return !view.hasVideoTrack() && backgroundPlaying(); }, 10000ms));
}

} // namespace
