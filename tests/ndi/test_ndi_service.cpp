// Protects the NDI source against a fake runtime loaded through the service's own dlopen path:
// the failure path without a runtime, the sender's settings, the frame layout, rates and their
// timer, scaling, which picture each tick sends (video, repeated video, pattern) and that the
// frame work happens off the main thread with the effects applied once.

#include "fake/FakeNDIRuntime.h"
#include "support/MediaFiles.h"
#include "support/TestSupport.h"

#include "ndi/NDIFPS.h"
#include "ndi/NDIFrameScaler.h"
#include "ndi/NDIResolutionScale.h"
#include "ndi/NDIRuntime.h"
#include "ndi/NDIService.h"
#include "platform/media/MediaItem.h"
#include "platform/media/MediaPlayer.h"
#include "playback/AudioAnalyzer.h"
#include "playback/VideoComposition.h"
#include "playback/VideoEffectsManager.h"
#include "settings/SettingsManager.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>

#include <dlfcn.h>

using namespace orvelo;
using namespace std::chrono_literals;
using orvelo::test::LogCapture;
using orvelo::test::MediaFiles;
using orvelo::test::spinFor;
using orvelo::test::waitUntil;

namespace {

const std::string kFakeFolder = std::string(ORVELO_BUILD_DIR) + "/fake-ndi";

// The fake runtime's record, read through the library the service loads.
struct FakeRuntime {
    void* handle = nullptr;
    FakeNDIResetFn reset = nullptr;
    FakeNDIStateFn state = nullptr;
    FakeNDIFrameFn frame = nullptr;
    FakeNDIPixelFn pixel = nullptr;

    static FakeRuntime& get()
    {
        static FakeRuntime fake = [] {
            FakeRuntime f;
            f.handle = dlopen((kFakeFolder + "/libndi.so.6").c_str(), RTLD_NOW | RTLD_LOCAL);
            if (f.handle) {
                f.reset = reinterpret_cast<FakeNDIResetFn>(dlsym(f.handle, "fake_ndi_reset"));
                f.state = reinterpret_cast<FakeNDIStateFn>(dlsym(f.handle, "fake_ndi_state"));
                f.frame = reinterpret_cast<FakeNDIFrameFn>(dlsym(f.handle, "fake_ndi_frame"));
                f.pixel = reinterpret_cast<FakeNDIPixelFn>(dlsym(f.handle, "fake_ndi_last_pixel"));
            }
            return f;
        }();
        return fake;
    }

    FakeNDIFrame last() const
    {
        FakeNDIFrame f{};
        frame(-1, &f);
        return f;
    }
};

class NDIServiceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(fake().handle, nullptr) << "the fake NDI runtime is missing from " << kFakeFolder
                                          << " (target fake_ndi): " << dlerror();
        setenv("NDI_RUNTIME_DIR_V6", kFakeFolder.c_str(), 1);
        fake().reset(false);
        effects.resetAll();
    }

    void TearDown() override { effects.resetAll(); }

    static FakeRuntime& fake() { return FakeRuntime::get(); }

    NDIService::Options options(std::vector<std::string> candidates = NDIRuntime::defaultCandidates())
    {
        NDIService::Options o;
        o.runtimeCandidates = std::move(candidates);
        o.settings = &settings;
        o.effects = &effects;
        o.analyzer = &analyzer;
        return o;
    }

    int framesSent() const { return fake().state().framesSent; }
    bool waitForFrames(int count, std::chrono::milliseconds timeout = 5000ms)
    {
        const int target = framesSent() + count;
        return waitUntil([&] { return framesSent() >= target; }, timeout);
    }

    // A player playing `path`, its frames composed with the shared effects, as the engine's are.
    std::unique_ptr<MediaPlayer> play(const std::string& path)
    {
        auto player = std::make_unique<MediaPlayer>();
        auto item = MediaItem::load(QString::fromStdString(path), VideoComposition::sourceFormat());
        VideoComposition::attach(*item);
        player->replaceCurrentItem(item);
        player->setRate(1.0);
        EXPECT_TRUE(waitUntil([&] { return player->latestFrame() != nullptr; }, 10000ms));
        return player;
    }

    SettingsManager settings;
    VideoEffectsManager& effects = VideoEffectsManager::shared();
    AudioAnalyzer analyzer;
};

// No runtime at all, and one whose initialisation refuses: no sender, no timer, still usable.
TEST_F(NDIServiceTest, WithoutAWorkingRuntimeNothingIsSentAndTheServiceStaysUsable)
{
    for (const bool refusingRuntime : {false, true}) {
        SCOPED_TRACE(refusingRuntime ? "refusing runtime" : "no runtime");
        fake().reset(refusingRuntime);
        LogCapture log;
        {
            NDIService service(refusingRuntime ? options() : options({"/nonexistent/libndi.so.6"}));
            EXPECT_TRUE(log.contains("NDI: Failed to initialize"));
            service.startBroadcasting(nullptr);
            EXPECT_TRUE(log.contains("NDI: Failed to create sender"));
            EXPECT_FALSE(service.isBroadcasting());
            EXPECT_FALSE(service.isTimerActive());
            service.setFps(NDIFPS::fps50);
            EXPECT_EQ(service.fps(), NDIFPS::fps50);
            service.stopBroadcasting();
        }
        EXPECT_EQ(fake().state().liveSenders, 0);
        if (refusingRuntime)
            EXPECT_EQ(fake().state().destroyCalls, 0) << "a runtime that never started is not shut down";
        else
            EXPECT_EQ(fake().state().createCalls, 0);
    }
}

TEST_F(NDIServiceTest, StartsOneSenderNamedOrveloWithVideoClocking)
{
    LogCapture log;
    NDIService service(options());
    EXPECT_TRUE(log.contains("NDI: Initialized successfully"));
    service.startBroadcasting(nullptr);
    service.startBroadcasting(nullptr);
    EXPECT_TRUE(log.contains("NDI: Sender created"));
    EXPECT_TRUE(service.isBroadcasting());
    EXPECT_TRUE(service.isTimerActive());
    const FakeNDIState s = fake().state();
    EXPECT_EQ(s.createCalls, 1) << "starting twice does nothing the second time";
    EXPECT_TRUE(s.lastCreateNamedOrvelo);
    EXPECT_FALSE(s.lastCreateHadGroups);
    EXPECT_TRUE(s.lastCreateClockVideo);
    EXPECT_FALSE(s.lastCreateClockAudio);
}

TEST_F(NDIServiceTest, PatternFramesAreFullHDBGRAWithTheDeclaredRateMadeOffTheMainThread)
{
    settings.setSelectedPattern(AudioVisualPattern::verticalStripes);
    NDIService service(options());
    service.startBroadcasting(nullptr);
    ASSERT_TRUE(waitForFrames(3));
    const FakeNDIFrame f = fake().last();
    EXPECT_EQ(f.xres, 1920);
    EXPECT_EQ(f.yres, 1080);
    EXPECT_EQ(f.fourCC, 0x41524742u); // 'B' 'G' 'R' 'A'
    EXPECT_EQ(f.frameRateN, 25000);
    EXPECT_EQ(f.frameRateD, 1000);
    EXPECT_FLOAT_EQ(f.pictureAspectRatio, 1920.0f / 1080.0f);
    EXPECT_EQ(f.frameFormatType, 1);
    EXPECT_EQ(f.timecode, std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(f.lineStrideInBytes, 1920 * 4);
    EXPECT_FALSE(f.hasMetadata);
    EXPECT_EQ(f.timestamp, 0);
    EXPECT_FALSE(f.onCreatingThread) << "sent from the worker, not the main thread";
    EXPECT_EQ(service.frameInterval(), 0.04);
}

TEST_F(NDIServiceTest, ANewRateRestartsTheTimerWithoutANewSender)
{
    NDIService service(options());
    service.startBroadcasting(nullptr);
    ASSERT_TRUE(waitForFrames(1));
    service.setFps(NDIFPS::fps60);
    EXPECT_DOUBLE_EQ(service.frameInterval(), 1.0 / 60.0);
    EXPECT_TRUE(service.isTimerActive());
    ASSERT_TRUE(waitForFrames(2));
    EXPECT_EQ(fake().last().frameRateN, 60000);
    EXPECT_EQ(fake().state().createCalls, 1);
}

TEST_F(NDIServiceTest, ScalingDividesAndRoundsDownToEvenSizes)
{
    EXPECT_EQ(NDIFrameScaler::scaledSize({1920, 1080}, 3), QSize(640, 360));
    EXPECT_EQ(NDIFrameScaler::scaledSize({1366, 768}, 3), QSize(454, 256));
    EXPECT_EQ(NDIFrameScaler::scaledSize({1920, 1080}, 4), QSize(480, 270));

    // Each output pixel is the mean of its block.
    auto source = VideoFrame::allocate(6, 4, PixelFormat::BGRA);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            for (int c = 0; c < 4; ++c)
                source->plane(0)[y * source->strides[0] + 4 * x + c] = static_cast<std::uint8_t>(10 * x + y + c);
    NDIFrameScaler scaler;
    const VideoFramePtr half = scaler.scale(*source, 2);
    ASSERT_TRUE(half);
    EXPECT_EQ(half->width, 2) << "6 / 2 = 3, rounded down to even";
    EXPECT_EQ(half->height, 2);
    EXPECT_EQ(half->plane(0)[0], (0 + 10 + 1 + 11 + 2) / 4); // the 2 x 2 block at the origin, rounded
    EXPECT_EQ(scaler.scale(*source, 1), nullptr);

    // Through the service: a third of 1920 x 1080 pattern frames.
    NDIService service(options());
    service.setResolutionScale(NDIResolutionScale::third);
    service.startBroadcasting(nullptr);
    ASSERT_TRUE(waitForFrames(2));
    EXPECT_EQ(fake().last().xres, 640);
    EXPECT_EQ(fake().last().yres, 360);
    EXPECT_FLOAT_EQ(fake().last().pictureAspectRatio, 640.0f / 360.0f);
}

TEST_F(NDIServiceTest, AThirdOfA1366By768VideoIs454By256)
{
    const std::string path = MediaFiles::generate(
        "wide1366.mp4", "videotestsrc num-buffers=50 pattern=smpte ! video/x-raw,width=1366,height=768,framerate=25/1 "
                        "! videoconvert ! x264enc speed-preset=ultrafast ! mp4mux ! filesink location={out}");
    ASSERT_FALSE(path.empty());
    auto player = play(path);
    NDIService service(options());
    service.setResolutionScale(NDIResolutionScale::third);
    service.startBroadcasting(player.get());
    ASSERT_TRUE(waitUntil([&] { return fake().last().xres == 454; }, 5000ms));
    EXPECT_EQ(fake().last().yres, 256);
    EXPECT_EQ(fake().last().lineStrideInBytes, 454 * 4);
}

TEST_F(NDIServiceTest, PlayingVideoIsSentEvenBetweenItsFramesAndAPausedOneGivesWayToThePattern)
{
    LogCapture log;
    const std::string path = MediaFiles::countingVideo(50, false);
    ASSERT_FALSE(path.empty());
    auto player = play(path);
    NDIService service(options());
    service.setFps(NDIFPS::fps60); // faster than the 25 fps video
    service.startBroadcasting(player.get());
    EXPECT_TRUE(log.contains("NDI: Attached video output to new item"));
    ASSERT_TRUE(waitUntil([&] { return fake().last().xres == MediaFiles::kWidth; }, 5000ms));
    const int first = framesSent();
    spinFor(500ms);
    const int last = framesSent();
    ASSERT_GT(last - first, 20);
    for (int i = first; i < last; ++i) {
        FakeNDIFrame f{};
        ASSERT_TRUE(fake().frame(i, &f));
        EXPECT_EQ(f.xres, MediaFiles::kWidth) << "frame " << i << " gave way to the pattern";
    }

    player->pause();
    ASSERT_TRUE(waitUntil([&] { return fake().last().xres == 1920; }, 2000ms))
        << "a paused video is not sent as a frozen frame";
    EXPECT_EQ(fake().last().yres, 1080);
}

TEST_F(NDIServiceTest, VideoFramesCarryTheEffectsOnceAndPatternFramesGetThem)
{
    const std::string path = MediaFiles::countingVideo(50, false);
    ASSERT_FALSE(path.empty());
    effects.setBrightness(0.2f);
    effects.setBlueEnabled(false);
    auto player = play(path);
    NDIService service(options());
    service.startBroadcasting(player.get());
    ASSERT_TRUE(waitUntil([&] { return fake().last().xres == MediaFiles::kWidth; }, 5000ms));
    std::uint8_t bgra[4];
    ASSERT_TRUE(fake().pixel(MediaFiles::kWidth / 2, MediaFiles::kHeight / 2, bgra));
    const VideoFramePtr shown = player->latestFrame();
    ASSERT_TRUE(shown);
    const auto composed = MediaFiles::centrePixel(*shown);
    EXPECT_EQ(composed[0], 0) << "the compositor took blue out";
    // As the player shows it (give or take the frame or two the video moved on meanwhile, 5
    // levels each), not brightened by another 0.2 (51 levels).
    EXPECT_NEAR(bgra[1], composed[1], 12);
    EXPECT_EQ(bgra[0], 0);
    player->pause();

    // The pattern has not been through a compositor: the service applies the effects.
    settings.setSelectedPattern(AudioVisualPattern::verticalStripes);
    settings.setPatternColor1(QColor(0, 0, 255));
    settings.setPatternColor2(QColor(0, 0, 255));
    ASSERT_TRUE(waitUntil([&] { return fake().last().xres == 1920; }, 2000ms));
    ASSERT_TRUE(waitForFrames(2));
    ASSERT_TRUE(fake().pixel(960, 540, bgra));
    EXPECT_EQ(bgra[0], 0) << "blue disabled on the pattern too";
    EXPECT_NEAR(bgra[1], 51, 2) << "and brightened";
}

TEST_F(NDIServiceTest, AudioOnlyPatternsDrawTheSelectionTheRightWayUp)
{
    settings.setSelectedPattern(AudioVisualPattern::spectrumBars);
    settings.setPatternColor1(QColor(255, 0, 0));
    NDIService service(options());
    service.startBroadcasting(nullptr);
    ASSERT_TRUE(waitForFrames(2));
    std::uint8_t bottom[4];
    std::uint8_t top[4];
    ASSERT_TRUE(fake().pixel(24, 1079, bottom));
    ASSERT_TRUE(fake().pixel(24, 0, top));
    EXPECT_EQ(bottom[2], 255) << "the bars stand on the bottom edge";
    EXPECT_EQ(top[2], 0);
}

TEST_F(NDIServiceTest, StoppingLetsTheSenderGoAndDestructionShutsTheRuntimeDownLast)
{
    {
        NDIService service(options());
        service.startBroadcasting(nullptr);
        ASSERT_TRUE(waitForFrames(2));
        service.stopBroadcasting();
        EXPECT_FALSE(service.isBroadcasting());
        EXPECT_FALSE(service.isTimerActive());
        ASSERT_TRUE(waitUntil([&] { return fake().state().liveSenders == 0; }));
        const int sent = framesSent();
        spinFor(200ms);
        EXPECT_EQ(framesSent(), sent);
        service.stopBroadcasting(); // when stopped: only the state again

        // Started again at once, the new sender comes after the old one is gone.
        service.startBroadcasting(nullptr);
        EXPECT_EQ(fake().state().liveSenders, 1);
        ASSERT_TRUE(waitForFrames(2));
    }
    const FakeNDIState s = fake().state();
    EXPECT_EQ(s.liveSenders, 0);
    EXPECT_EQ(s.destroyCalls, 1);
    EXPECT_FALSE(s.destroyedWithLiveSenders);
    EXPECT_FALSE(s.sentAfterSenderDestroyed);
}

TEST_F(NDIServiceTest, TheWebControlsTakeOnlyRatesAndDivisorsThatExist)
{
    NDIService service(options());
    NDIControl& control = service;
    control.setFpsValue(30.0);
    EXPECT_EQ(service.fps(), NDIFPS::fps30);
    EXPECT_EQ(control.fpsValue(), 30.0);
    control.setFpsValue(29.97);
    EXPECT_EQ(service.fps(), NDIFPS::fps30);
    control.setResolutionScaleValue(4);
    EXPECT_EQ(control.resolutionScaleValue(), 4);
    control.setResolutionScaleValue(5);
    EXPECT_EQ(service.resolutionScale(), NDIResolutionScale::quarter);
}

TEST(NDIRuntimeTest, LooksInTheRuntimeFoldersFirst)
{
    setenv("NDI_RUNTIME_DIR_V6", "/opt/ndi6", 1);
    setenv("NDI_RUNTIME_DIR_V5", "/opt/ndi5", 1);
    const std::vector<std::string> expected{"/opt/ndi6/libndi.so.6", "/opt/ndi5/libndi.so.5", "libndi.so.6",
                                            "libndi.so.5"};
    EXPECT_EQ(NDIRuntime::defaultCandidates(), expected);
    unsetenv("NDI_RUNTIME_DIR_V5");
    unsetenv("NDI_RUNTIME_DIR_V6");
    EXPECT_EQ(NDIRuntime::defaultCandidates(), (std::vector<std::string>{"libndi.so.6", "libndi.so.5"}));

    // A library without the five functions does not count.
    NDIRuntime notNDI({"libm.so.6"});
    EXPECT_FALSE(notNDI.isLoaded());
    EXPECT_FALSE(notNDI.initialize());
    EXPECT_EQ(notNDI.createSender({"Orvelo", nullptr, true, false}), nullptr);
}

} // namespace
