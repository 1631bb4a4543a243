// The NDI source against a fake runtime loaded through the service's own dlopen path: settings,
// frame layout, rates, which picture each tick sends, work off the main thread, and shutdown.

#include "fake/FakeNDIRuntime.h"
#include "support/MediaFiles.h"
#include "support/TestSupport.h"

#include "ndi/NDIFrameScaler.h"
#include "ndi/NDIRuntime.h"
#include "ndi/NDIService.h"
#include "platform/SettingsStore.h"
#include "platform/media/MediaItem.h"
#include "platform/media/MediaPlayer.h"
#include "playback/AudioAnalyzer.h"
#include "playback/VideoComposition.h"
#include "playback/VideoEffectsManager.h"
#include "settings/SettingsManager.h"

#include <QColor>
#include <gtest/gtest.h>

#include <limits>
#include <tuple>

#include <dlfcn.h>

using namespace orvelo;
using namespace std::chrono_literals;
using orvelo::test::LogCapture;
using orvelo::test::MediaFiles;
using orvelo::test::waitUntil;

namespace {

const std::string fakeFolder = std::string(ORVELO_BUILD_DIR) + "/fake-ndi";

class NDIServiceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(fake, nullptr) << "the fake NDI runtime is missing from " << fakeFolder << " (target fake_ndi)";
        setenv("NDI_RUNTIME_DIR_V6", fakeFolder.c_str(), 1);
        fn<FakeNDIResetFn>("fake_ndi_reset")(false);
        // The rate and the scale are kept across runs: each test starts from the defaults.
        SettingsStore store;
        store.remove(NDIService::fpsKey);
        store.remove(NDIService::resolutionScaleKey);
        store.sync();
        effects.resetAll();
    }
    void TearDown() override { effects.resetAll(); }
    // The fake runtime's record, read through the library the service loads.
    template <typename F> static F fn(const char* name) { return reinterpret_cast<F>(dlsym(fake, name)); }
    static FakeNDIState state() { return fn<FakeNDIStateFn>("fake_ndi_state")(); }
    static FakeNDIFrame frame(int index = -1)
    {
        FakeNDIFrame f{};
        fn<FakeNDIFrameFn>("fake_ndi_frame")(index, &f);
        return f;
    }
    // Byte `c` (B, G, R, A) of a pixel of the last frame sent; -1 outside it.
    static int pixel(int x, int y, int c)
    {
        std::uint8_t p[4];
        return fn<FakeNDIPixelFn>("fake_ndi_last_pixel")(x, y, p) ? p[c] : -1;
    }
    static bool waitForFrames(int count)
    {
        const int target = state().framesSent + count;
        return waitUntil([&] { return state().framesSent >= target; }, 5s);
    }
    NDIService::Options options(std::vector<std::string> candidates = NDIRuntime::defaultCandidates())
    {
        return {std::move(candidates), &settings, &effects, &analyzer};
    }

    static inline void* fake = dlopen((fakeFolder + "/libndi.so.6").c_str(), RTLD_NOW | RTLD_LOCAL);
    SettingsManager settings;
    VideoEffectsManager& effects = VideoEffectsManager::shared();
    AudioAnalyzer analyzer;
};

// No runtime at all, and one whose initialisation refuses: no sender, no timer, still usable.
TEST_F(NDIServiceTest, WithoutAWorkingRuntimeNothingIsSentAndTheServiceStaysUsable)
{
    for (const bool refusingRuntime : {false, true}) {
        SCOPED_TRACE(refusingRuntime ? "refusing runtime" : "no runtime");
        fn<FakeNDIResetFn>("fake_ndi_reset")(refusingRuntime);
        LogCapture log;
        {
            NDIService service(refusingRuntime ? options() : options({"/nonexistent/libndi.so.6"}));
            EXPECT_TRUE(log.contains("NDI: Failed to initialize"));
            service.startBroadcasting(nullptr);
            EXPECT_TRUE(log.contains("NDI: Failed to create sender"));
            EXPECT_FALSE(service.isBroadcasting() || service.isTimerActive());
            service.setFps(NDIFPS::fps50);
            EXPECT_EQ(service.fps(), NDIFPS::fps50);
            service.stopBroadcasting();
        }
        EXPECT_EQ(state().liveSenders, 0);
        if (refusingRuntime)
            EXPECT_EQ(state().destroyCalls, 0) << "a runtime that never started is not shut down";
        else
            EXPECT_EQ(state().createCalls, 0);
    }
}

TEST_F(NDIServiceTest, APatternIsSentByOneSenderAsFullHDBGRAAtTheChosenRateAndTheRuntimeShutsDownLast)
{
    settings.setSelectedPattern(AudioVisualPattern::verticalStripes);
    LogCapture log;
    {
        NDIService service(options());
        EXPECT_TRUE(log.contains("NDI: Initialized successfully"));
        service.startBroadcasting(nullptr);
        service.startBroadcasting(nullptr);
        EXPECT_TRUE(log.contains("NDI: Sender created"));
        EXPECT_TRUE(service.isBroadcasting() && service.isTimerActive());
        const FakeNDIState c = state();
        EXPECT_EQ(c.createCalls, 1) << "starting twice does nothing the second time";
        EXPECT_EQ(
            std::tuple(c.lastCreateNamedOrvelo, c.lastCreateHadGroups, c.lastCreateClockVideo, c.lastCreateClockAudio),
            std::tuple(true, false, true, false))
            << "named Orvelo, no groups, clocked by video only";
        ASSERT_TRUE(waitForFrames(3));
        const FakeNDIFrame f = frame();
        EXPECT_EQ(std::tuple(f.xres, f.yres, f.lineStrideInBytes, f.fourCC),
                  std::tuple(1920, 1080, 1920 * 4, 0x41524742u))
            << "BGRA";
        EXPECT_EQ(std::tuple(f.frameRateN, f.frameRateD, f.frameFormatType, f.timestamp),
                  std::tuple(25000, 1000, 1, 0));
        EXPECT_FLOAT_EQ(f.pictureAspectRatio, 1920.0f / 1080.0f);
        EXPECT_EQ(std::tuple(f.timecode, f.metadata), std::tuple(std::numeric_limits<std::int64_t>::max(), nullptr));
        EXPECT_FALSE(f.onCreatingThread) << "sent from the worker, not the main thread";
        // A new rate from the web controls (only one that exists) restarts the timer at once,
        // without a new sender.
        NDIControl& control = service;
        control.setFpsValue(29.97);
        control.setFpsValue(60.0);
        EXPECT_EQ(control.fpsValue(), 60.0);
        EXPECT_DOUBLE_EQ(service.frameInterval(), 1.0 / 60.0);
        EXPECT_TRUE(waitUntil([&] { return frame().frameRateN == 60000; }));
        EXPECT_EQ(state().createCalls, 1);
        // A third of the picture, set from the web controls (only a divisor that exists).
        control.setResolutionScaleValue(5);
        control.setResolutionScaleValue(3);
        EXPECT_EQ(control.resolutionScaleValue(), 3);
        EXPECT_TRUE(waitUntil([&] { return frame().xres == 640 && frame().yres == 360; }));
        control.setResolutionScaleValue(1);
        // An audio-only pattern draws its bars the right way up.
        settings.setSelectedPattern(AudioVisualPattern::spectrumBars);
        settings.setPatternColor1(QColor(255, 0, 0));
        ASSERT_TRUE(waitForFrames(4)); // past the ticks already in hand with the old pattern
        EXPECT_EQ(pixel(24, 1079, 2), 255) << "the bars stand on the bottom edge";
        EXPECT_EQ(pixel(24, 0, 2), 0);
        service.stopBroadcasting();
        EXPECT_FALSE(service.isBroadcasting() || service.isTimerActive());
        ASSERT_TRUE(waitUntil([&] { return state().liveSenders == 0; }));
        service.stopBroadcasting(); // when stopped: only the state again
        // Started again at once, the new sender comes after the old one is gone.
        service.startBroadcasting(nullptr);
        EXPECT_EQ(state().liveSenders, 1);
        ASSERT_TRUE(waitForFrames(2));
    }
    // Destruction lets the sender go and shuts the runtime down last.
    const FakeNDIState s = state();
    EXPECT_EQ(std::tuple(s.liveSenders, s.destroyCalls, s.destroyedWithLiveSenders, s.sentAfterSenderDestroyed),
              std::tuple(0, 1, false, false));
}

TEST(NDIFrameScaler, AveragesBlocksAndRoundsDownToEvenSizes)
{
    auto source = VideoFrame::allocate(6, 4, PixelFormat::bgra);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 24; ++x)
            source->plane(0)[y * source->strides[0] + x] = static_cast<std::uint8_t>(10 * (x / 4) + y + x % 4);
    NDIFrameScaler scaler;
    const VideoFramePtr half = scaler.scale(*source, 2);
    ASSERT_TRUE(half);
    EXPECT_EQ(std::pair(half->width, half->height), std::pair(2, 2)) << "6 / 2 = 3, rounded down to even";
    EXPECT_EQ(half->plane(0)[0], (0 + 10 + 1 + 11 + 2) / 4); // the 2 x 2 block at the origin, rounded
    EXPECT_EQ(scaler.scale(*source, 1), nullptr);
}

// The video arrives composed (effects applied once); the pattern has not been through a
// compositor, so the service applies the effects to it.
TEST_F(NDIServiceTest, PlayingVideoIsSentAtEveryTickWithItsEffectsOnceAndAPausedOneGivesWayToThePattern)
{
    effects.setBrightness(0.2f);
    effects.setBlueEnabled(false);
    LogCapture log;
    // A player whose frames are composed with the shared effects, as the engine's are.
    auto player = std::make_unique<MediaPlayer>();
    auto item =
        MediaItem::load(QString::fromStdString(MediaFiles::countingVideo(50, false)), VideoComposition::sourceFormat());
    VideoComposition::attach(*item);
    player->replaceCurrentItem(item);
    player->setRate(1.0);
    ASSERT_TRUE(waitUntil([&] { return player->latestFrame() != nullptr; }, 10s));
    NDIService service(options());
    service.setFps(NDIFPS::fps60); // faster than the 25 fps video: many ticks find no new frame
    service.startBroadcasting(player.get());
    EXPECT_TRUE(log.contains("NDI: Attached video output to new item"));
    ASSERT_TRUE(waitUntil([&] { return frame().xres == MediaFiles::pictureWidth; }, 5s));
    const int first = state().framesSent;
    const int x = MediaFiles::pictureWidth / 2, y = MediaFiles::pictureHeight / 2;
    const auto composed = MediaFiles::centrePixel(*player->latestFrame());
    EXPECT_EQ(std::tuple(composed[0], pixel(x, y, 0)), std::tuple(0, 0)) << "the compositor took blue out";
    // As the player shows it (give or take the frame or two the video moved on meanwhile, 5
    // levels each), not brightened by another 0.2 (51 levels).
    EXPECT_NEAR(pixel(x, y, 1), composed[1], 12);
    ASSERT_TRUE(waitForFrames(20));
    for (int i = first, last = state().framesSent; i < last; ++i)
        EXPECT_EQ(frame(i).xres, MediaFiles::pictureWidth) << "frame " << i << " gave way to the pattern";
    player->pause();
    ASSERT_TRUE(waitUntil([&] { return frame().xres == 1920; }, 2s)) << "a paused video is not sent as a frozen frame";
    settings.setSelectedPattern(AudioVisualPattern::verticalStripes);
    settings.setPatternColor1(QColor(0, 0, 255));
    settings.setPatternColor2(QColor(0, 0, 255));
    ASSERT_TRUE(waitForFrames(3));
    EXPECT_EQ(pixel(960, 540, 0), 0) << "blue disabled on the pattern too";
    EXPECT_NEAR(pixel(960, 540, 1), 51, 2) << "and brightened";
}

TEST(NDIRuntimeTest, LooksInTheRuntimeFoldersFirstAndTakesOnlyALibraryWithAllFiveFunctions)
{
    setenv("NDI_RUNTIME_DIR_V6", "/opt/ndi6", 1);
    setenv("NDI_RUNTIME_DIR_V5", "/opt/ndi5", 1);
    EXPECT_EQ(
        NDIRuntime::defaultCandidates(),
        (std::vector<std::string>{"/opt/ndi6/libndi.so.6", "/opt/ndi5/libndi.so.5", "libndi.so.6", "libndi.so.5"}));
    unsetenv("NDI_RUNTIME_DIR_V5");
    unsetenv("NDI_RUNTIME_DIR_V6");
    EXPECT_EQ(NDIRuntime::defaultCandidates().size(), 2u);

    NDIRuntime notNDI({"libm.so.6"});
    EXPECT_FALSE(notNDI.isLoaded());
    EXPECT_FALSE(notNDI.initialize());
    EXPECT_EQ(notNDI.createSender({"Orvelo", nullptr, true, false}), nullptr);
}

} // namespace
