// Protects what the compositor, the output views and the audio analyser receive: every decoded
// frame once and in order with its hook's result presented, in either pixel format, and the
// first audio channel as float samples.
#include "MediaFixtures.h"
#include "platform/media/MediaPlayer.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>
#include <vector>

using namespace orvelo;
using namespace orvelo::test;
using namespace std::chrono_literals;

namespace {

struct HookRecord {
    std::mutex mutex;
    std::vector<int> indices; // frame indices, -1 where the restart hook ran
    std::vector<double> pts;
    std::atomic<bool> offMainThread{true};
    VideoFramePtr lastComposed;
};

// Records each frame and returns a composed copy, as the compositor would.
VideoFrameHook recordingHook(HookRecord& record)
{
    return [&record](const VideoFramePtr& frame) -> VideoFramePtr {
        if (QThread::currentThread() == QCoreApplication::instance()->thread())
            record.offMainThread = false;
        auto composed = std::make_shared<VideoFrame>(*frame);
        std::lock_guard lock(record.mutex);
        record.indices.push_back(MediaFiles::frameIndex(*frame));
        record.pts.push_back(frame->pts);
        record.lastComposed = composed;
        return composed;
    };
}

std::vector<int> range(int from, int to)
{
    std::vector<int> v;
    for (int i = from; i < to; ++i)
        v.push_back(i);
    return v;
}

VideoRestartHook recordingRestart(HookRecord& record)
{
    return [&record] {
        std::lock_guard lock(record.mutex);
        record.indices.push_back(-1);
    };
}

} // namespace

TEST(VideoFrameHook, SeesEveryFrameOnceInOrderAndItsResultIsPresented)
{
    auto item = loadAndWait(MediaFiles::countingVideo(25, true), PixelFormat::I420);
    ASSERT_EQ(item->status(), MediaItem::Status::ReadyToPlay);
    HookRecord record;
    item->setVideoFrameHook(recordingHook(record), recordingRestart(record));
    MediaPlayer player;
    int ends = 0;
    QObject::connect(&player, &MediaPlayer::itemDidPlayToEnd, [&] { ++ends; });
    player.replaceCurrentItem(item);
    player.play();
    ASSERT_TRUE(waitUntil([&] { return ends == 1; }, 5s));
    {
        std::lock_guard lock(record.mutex);
        EXPECT_EQ(record.indices, range(0, 25));
        for (std::size_t i = 0; i < record.pts.size(); ++i)
            EXPECT_NEAR(record.pts[i], 0.04 * static_cast<double>(i), 0.002);
        EXPECT_EQ(player.latestFrame(), record.lastComposed);
        EXPECT_EQ(item->latestFrame()->format, PixelFormat::I420);
        EXPECT_EQ(item->latestFrame()->width, 160);
        record.indices.clear();
    }
    EXPECT_TRUE(record.offMainThread);

    // Replayed from the start, the hook is told of the restart and sees the whole sequence again.
    player.seekToZero();
    player.play();
    ASSERT_TRUE(waitUntil([&] { return ends == 2; }, 5s));
    std::lock_guard lock(record.mutex);
    std::vector<int> expected{-1};
    for (int i : range(0, 25))
        expected.push_back(i);
    EXPECT_EQ(record.indices, expected);
}

TEST(VideoFrameHook, BgraFramesAndAHookSetWhilePlaying)
{
    auto item = loadAndWait(MediaFiles::countingVideo(25, true), PixelFormat::BGRA);
    MediaPlayer player;
    int ends = 0;
    QObject::connect(&player, &MediaPlayer::itemDidPlayToEnd, [&] { ++ends; });
    player.replaceCurrentItem(item);
    // Before any hook the tap shows the decoded first frame.
    ASSERT_NE(item->latestFrame(), nullptr);
    EXPECT_EQ(MediaFiles::frameIndex(*item->latestFrame()), 0);
    player.play();
    spinFor(400ms);
    HookRecord record;
    item->setVideoFrameHook(recordingHook(record));
    ASSERT_TRUE(waitUntil([&] { return ends == 1; }, 5s));
    item->setVideoFrameHook(nullptr);
    std::lock_guard lock(record.mutex);
    ASSERT_FALSE(record.indices.empty());
    // The hook joined mid-way and saw the rest, in order, up to the last frame.
    EXPECT_EQ(record.indices, range(record.indices.front(), 25));
    EXPECT_GT(record.indices.front(), 3);
    const VideoFramePtr last = item->latestFrame();
    EXPECT_EQ(last->format, PixelFormat::BGRA);
    EXPECT_EQ(last->strides[0], 160 * 4);
    const std::uint8_t* centre = last->plane(0) + 60 * last->strides[0] + 80 * 4;
    EXPECT_NEAR(centre[0], centre[2], 2); // grey: blue equals red
    EXPECT_EQ(centre[3], 255);            // opaque
}

TEST(VideoFrameHook, I420FramesCarryTheirColourMatrix)
{
    const std::string hd =
        MediaFiles::generate("hd720.mp4", "videotestsrc num-buffers=2 ! video/x-raw,format=I420,width=1280,"
                                          "height=720,framerate=25/1 ! x264enc speed-preset=ultrafast "
                                          "! mp4mux ! filesink location={out}");
    auto hdItem = loadAndWait(hd, PixelFormat::I420);
    auto sdItem = loadAndWait(MediaFiles::countingVideo(25, true), PixelFormat::I420);
    ASSERT_NE(hdItem->latestFrame(), nullptr);
    ASSERT_NE(sdItem->latestFrame(), nullptr);
    EXPECT_EQ(hdItem->latestFrame()->yuvMatrix, YuvMatrix::BT709);
    EXPECT_EQ(sdItem->latestFrame()->yuvMatrix, YuvMatrix::BT601);
    EXPECT_FALSE(hdItem->latestFrame()->yuvFullRange);
    EXPECT_TRUE(hdItem->latestFrame()->hasValidLayout());
}

TEST(AudioTap, DeliversTheFirstChannelAsFloatSamples)
{
    // Left: a 440 Hz tone at half scale; right: silence. A mix or the interleaved buffer
    // would show a smaller peak or zeros between the samples.
    const std::string path = MediaFiles::generate(
        "left-tone.wav",
        "interleave name=i ! audioconvert ! audio/x-raw,format=S16LE ! wavenc ! filesink location={out} "
        "audiotestsrc freq=440 volume=0.5 samplesperbuffer=441 num-buffers=50 ! audio/x-raw,rate=44100,channels=1 ! i. "
        "audiotestsrc wave=silence samplesperbuffer=441 num-buffers=50 ! audio/x-raw,rate=44100,channels=1 ! i.");
    ASSERT_FALSE(path.empty());
    auto item = MediaItem::load(QString::fromStdString(path));
    std::mutex mutex;
    std::size_t samples = 0;
    float peak = 0.0f;
    double sumSquares = 0.0;
    int nearZeroRuns = 0;
    item->setAudioTap([&](std::span<const float> buffer) {
        std::lock_guard lock(mutex);
        samples += buffer.size();
        for (std::size_t i = 0; i < buffer.size(); ++i) {
            peak = std::max(peak, std::abs(buffer[i]));
            sumSquares += double{buffer[i]} * buffer[i];
            if (i > 0 && std::abs(buffer[i]) < 1e-4f && std::abs(buffer[i - 1]) < 1e-4f)
                ++nearZeroRuns;
        }
    });
    MediaPlayer player;
    int ends = 0;
    QObject::connect(&player, &MediaPlayer::itemDidPlayToEnd, [&] { ++ends; });
    player.replaceCurrentItem(item);
    player.play();
    ASSERT_TRUE(waitUntil([&] { return ends == 1; }, 5s));
    std::lock_guard lock(mutex);
    // Never a sample twice. The tap goes on while the item already prepares, so on a loaded
    // machine the first few buffers can pass before it: the analyser only needs the rest.
    EXPECT_LE(samples, 22050u);
    EXPECT_GE(samples, 22050u * 8 / 10);
    EXPECT_NEAR(peak, 0.5f, 0.01f);
    EXPECT_NEAR(std::sqrt(sumSquares / static_cast<double>(samples)), 0.5 / std::sqrt(2.0), 0.01);
    EXPECT_EQ(nearZeroRuns, 0);
}
