// The output window on a virtual window system: placement, closing keys, one window at a time,
// and what it shows (no signal, pattern, letterboxed video, the identify picture).

#include "XvfbDisplay.h"
#include "support/MediaFiles.h"
#include "support/TestSupport.h"

#include "platform/media/MediaItem.h"
#include "platform/media/MediaPlayer.h"
#include "playback/AudioAnalyzer.h"
#include "playback/ExternalVideoContentView.h"
#include "playback/ExternalWindowManager.h"
#include "playback/FullscreenWindow.h"
#include "playback/IdentifyPicture.h"
#include "playback/PatternState.h"
#include "playback/VideoComposition.h"
#include "playback/VideoEffectsManager.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPixmap>
#include <QRasterWindow>
#include <QScreen>

#include <cstdlib>
#include <memory>

using namespace orvelo;
using namespace std::chrono_literals;
using orvelo::test::MediaFiles;
using orvelo::test::spinFor;
using orvelo::test::waitUntil;

namespace {

// A second window of the application, to see which keys reach it.
class OtherWindow : public QRasterWindow {
public:
    int escapes = 0;

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        if (event->key() == Qt::Key_Escape)
            ++escapes;
    }
};

void pressEscape(QWindow* window)
{
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &press);
}

const auto grab = [](int screen) { return QGuiApplication::screens().at(screen)->grabWindow(0).toImage(); };

int visibleOutputWindows()
{
    int count = 0;
    for (QWindow* window : QGuiApplication::topLevelWindows())
        count += qobject_cast<FullscreenWindow*>(window) && window->isVisible() ? 1 : 0;
    return count;
}

const auto near = [](QColor a, QColor b, int tolerance) {
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
};

class OutputWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ORVELO_REQUIRE_DISPLAY();
        ASSERT_EQ(QGuiApplication::screens().size(), 2);
    }

    void TearDown() override
    {
        manager.closeWindow();
        VideoEffectsManager::shared().resetAll();
        IdentifyPicture::shared().setOn(false);
        spinFor(50ms); // lets the closed window go
    }

    FullscreenWindow* openOn(int screen, MediaPlayer* player, bool hasVideoTrack)
    {
        manager.setSelectedScreenIndex(screen);
        manager.openFullscreenWindow(player, hasVideoTrack);
        FullscreenWindow* window = manager.externalWindow();
        if (window) {
            EXPECT_TRUE(waitUntil([window] { return window->isExposed(); }));
        }
        spinFor(150ms); // a few refreshes
        return window;
    }

    PatternState patterns;
    AudioAnalyzer analyzer;
    ExternalWindowManager manager{patterns, analyzer};
};

TEST_F(OutputWindowTest, CoversTheChosenScreenOnTopAndEscapeThereClosesIt)
{
    EXPECT_EQ(ExternalWindowManager::screenNames(), (QStringList{"Main Display", "Display 2"}));
    for (const int gone : {2, -1})
        EXPECT_EQ(openOn(gone, nullptr, false), nullptr) << "a screen that is gone opens nothing";
    EXPECT_FALSE(manager.hasEscapeMonitor());
    OtherWindow other;
    other.resize(200, 100);
    other.show();

    openOn(0, nullptr, false);
    FullscreenWindow* window = openOn(1, nullptr, false); // the second opening replaces the first
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(waitUntil([] { return visibleOutputWindows() == 1; }));
    EXPECT_EQ(window->geometry(), QGuiApplication::screens().at(1)->geometry());
    EXPECT_TRUE(window->flags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(window->flags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(window->content()->content(), ExternalContent::noSignal);

    // "No Signal" on black: mostly black, some grey for the symbol and the words.
    const QImage shot = grab(1);
    int grey = 0;
    for (int y = 0; y < shot.height(); y += 2)
        for (int x = 0; x < shot.width(); x += 2)
            grey += qGray(shot.pixel(x, y)) > 60 ? 1 : 0;
    EXPECT_GT(grey, 50);
    EXPECT_LT(grey, shot.width() * shot.height() / 4 / 10);

    // Escape pressed in another window is that window's.
    pressEscape(&other);
    EXPECT_EQ(other.escapes, 1);
    EXPECT_EQ(manager.externalWindow(), window);

    pressEscape(window);
    EXPECT_EQ(manager.externalWindow(), nullptr);
    EXPECT_TRUE(waitUntil([] { return visibleOutputWindows() == 0; }));
    pressEscape(&other);
    EXPECT_EQ(other.escapes, 2) << "the hook went with the window";
}

TEST_F(OutputWindowTest, ADoubleClickClosesIt)
{
    FullscreenWindow* window = openOn(1, nullptr, false);
    ASSERT_NE(window, nullptr);
    const QPointF where(100, 100);
    QMouseEvent click(QEvent::MouseButtonDblClick, where, window->mapToGlobal(where), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(window, &click);
    EXPECT_EQ(manager.externalWindow(), nullptr);
    EXPECT_FALSE(manager.hasEscapeMonitor());
}

TEST_F(OutputWindowTest, AnAudioOnlyTrackShowsTheSelectedPatternOnTheChosenScreenUnderIdentify)
{
    // Size 4: two 427 px cells on 854, colour1 on the left one; speed 0 holds it still.
    PatternParameters stripes;
    stripes.selected = AudioVisualPattern::verticalStripes;
    stripes.size = 4.0;
    stripes.speed = 0.0;
    stripes.color1 = QColor(200, 30, 60);
    stripes.color2 = QColor(20, 180, 90);
    patterns.setParameters(stripes);
    MediaPlayer player; // its track has no picture
    FullscreenWindow* window = openOn(1, &player, false);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->content()->content(), ExternalContent::pattern);
    EXPECT_TRUE(near(grab(1).pixelColor(100, 240), QColor(200, 30, 60), 2));
    EXPECT_FALSE(near(grab(0).pixelColor(100, 240), QColor(200, 30, 60), 40)) << "nothing on the other screen";

    // Identify flashes white and black in turn over it, each with large text in the other colour.
    IdentifyPicture& identify = IdentifyPicture::shared();
    identify.setText(QStringLiteral("FOH"), QStringLiteral("Universe 0:0:1 · Channel 10"));
    identify.setOn(true);
    int light = 0;
    int dark = 0;
    for (int look = 0; look < 12; ++look) {
        spinFor(60ms);
        const QImage shot = grab(1);
        int white = 0;
        int samples = 0;
        for (int y = 0; y < shot.height(); y += 4)
            for (int x = 0; x < shot.width(); x += 4, ++samples)
                white += qGray(shot.pixel(x, y)) > 128 ? 1 : 0;
        const double share = static_cast<double>(white) / samples;
        light += share > 0.7 && share < 0.99 ? 1 : 0;
        dark += share > 0.01 && share < 0.3 ? 1 : 0;
    }
    EXPECT_GT(light, 1);
    EXPECT_GT(dark, 1);
    identify.setOn(false);
    spinFor(100ms);
    EXPECT_TRUE(near(grab(1).pixelColor(100, 240), QColor(200, 30, 60), 2)) << "the pattern again";

    // It follows a new selection: rings about the centre leave the side black.
    PatternParameters wave = stripes;
    wave.selected = AudioVisualPattern::circularWave;
    wave.speed = 1.0;
    patterns.setParameters(wave);
    spinFor(150ms);
    EXPECT_EQ(grab(1).pixelColor(100, 240), QColor(Qt::black));
}

TEST_F(OutputWindowTest, VideoShowsTheComposedFramesLetterboxedWithoutTheViewEffects)
{
    const std::string path = MediaFiles::countingVideo(50, false);
    ASSERT_FALSE(path.empty());
    VideoEffectsManager& effects = VideoEffectsManager::shared();
    effects.setRedEnabled(false); // composed: no red
    effects.setAlpha(0.3f);       // the preview's only: the window shows full strength
    MediaPlayer player;
    auto item = MediaItem::load(QString::fromStdString(path), VideoComposition::sourceFormat());
    VideoComposition::attach(*item);
    player.replaceCurrentItem(item);
    player.setRate(1.0);

    FullscreenWindow* window = openOn(1, &player, true);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->content()->content(), ExternalContent::video);
    // Held on a bright frame (frame i is grey 16 + 4i), so a dimmed picture would show.
    ASSERT_TRUE(waitUntil(
        [&] {
            const VideoFramePtr frame = player.latestFrame();
            return frame && MediaFiles::frameIndex(*frame) >= 25;
        },
        10000ms));
    player.pause();
    spinFor(300ms);
    const QImage shot = grab(1);
    // 4:3 on 854 x 480: a 640 x 480 picture with 107 px bars left and right.
    EXPECT_EQ(shot.pixelColor(50, 240), QColor(Qt::black));
    const QColor centre = shot.pixelColor(427, 240);
    const auto shown = MediaFiles::centrePixel(*player.latestFrame());
    EXPECT_EQ(centre.red(), 0);
    EXPECT_NEAR(centre.green(), shown[1], 3) << "the frame as composed, at full strength";
}

} // namespace
