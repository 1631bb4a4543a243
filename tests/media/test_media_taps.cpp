// What the compositor, views and analyser receive: every decoded frame once and in order with the
// hook's result presented, and the first audio channel.
#include "MediaFixtures.h"
#include "platform/media/MediaPlayer.h"

#include <QCoreApplication>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>
#include <numeric>
#include <vector>

using namespace orvelo;
using namespace orvelo::test;
using namespace std::chrono_literals;

namespace {

// Records each frame's index (-1 where the restart hook ran) and returns a composed copy, as
// the compositor would.
struct HookRecord {
    std::mutex mutex;
    std::vector<int> indices;
    std::vector<double> pts;
    std::atomic<bool> offMainThread{true};
    VideoFramePtr lastComposed;

    VideoFrameHook hook()
    {
        return [this](const VideoFramePtr& frame) -> VideoFramePtr {
            if (QThread::currentThread() == QCoreApplication::instance()->thread())
                offMainThread = false;
            auto composed = std::make_shared<VideoFrame>(*frame);
            std::lock_guard lock(mutex);
            indices.push_back(MediaFiles::frameIndex(*frame));
            pts.push_back(frame->pts);
            lastComposed = composed;
            return composed;
        };
    }

    VideoRestartHook restart()
    {
        return [this] {
            std::lock_guard lock(mutex);
            indices.push_back(-1);
        };
    }
};

const auto range = [](int from, int to) {
    std::vector<int> v(static_cast<std::size_t>(to - from));
    std::iota(v.begin(), v.end(), from);
    return v;
};

class TapTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QObject::connect(&player, &MediaPlayer::itemDidPlayToEnd, [this] { ++ends; });
    }
    bool waitForEnds(int count)
    {
        return waitUntil([&] { return ends == count; }, 5s);
    }

    MediaPlayer player;
    int ends = 0;
};

} // namespace

TEST_F(TapTest, HookSeesEveryI420FrameOnceInOrderItsResultIsPresentedAndFramesCarryTheirMatrix)
{
    auto item = loadAndWait(MediaFiles::countingVideo(25, true), PixelFormat::i420);
    ASSERT_EQ(item->status(), MediaItem::Status::readyToPlay);
    HookRecord record;
    item->setVideoFrameHook(record.hook(), record.restart());
    player.replaceCurrentItem(item);
    player.play();
    ASSERT_TRUE(waitForEnds(1));
    {
        std::lock_guard lock(record.mutex);
        EXPECT_EQ(record.indices, range(0, 25));
        EXPECT_NEAR(record.pts.back(), 0.04 * 24, 0.002);
        EXPECT_EQ(player.latestFrame(), record.lastComposed);
        record.indices.clear();
    }
    EXPECT_TRUE(record.offMainThread);
    EXPECT_EQ(item->latestFrame()->yuvMatrix, YuvMatrix::bt601);
    // HD pictures carry the HD matrix.
    const std::string hd = MediaFiles::generate("hd720.mp4", "videotestsrc num-buffers=2 ! video/x-raw,format=I420,"
                                                             "width=1280,height=720,framerate=25/1 ! x264enc speed-"
                                                             "preset=ultrafast ! mp4mux ! filesink location={out}");
    const VideoFramePtr hdFrame = loadAndWait(hd, PixelFormat::i420)->latestFrame();
    ASSERT_NE(hdFrame, nullptr);
    EXPECT_EQ(hdFrame->yuvMatrix, YuvMatrix::bt709);
    EXPECT_FALSE(hdFrame->yuvFullRange);

    // Replayed from the start, the hook is told of the restart and sees the whole sequence again.
    player.seekToZero();
    player.play();
    ASSERT_TRUE(waitForEnds(2));
    std::lock_guard lock(record.mutex);
    EXPECT_EQ(record.indices, range(-1, 25));
}

TEST_F(TapTest, AudioTapDeliversTheFirstChannelAsFloatSamples)
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
    std::vector<float> heard;
    item->setAudioTap([&](std::span<const float> buffer) {
        std::lock_guard lock(mutex);
        heard.insert(heard.end(), buffer.begin(), buffer.end());
    });
    player.replaceCurrentItem(item);
    player.play();
    ASSERT_TRUE(waitForEnds(1));
    std::lock_guard lock(mutex);
    // Never a sample twice. The tap goes on while the item already prepares, so on a loaded
    // machine the first few buffers can pass before it: the analyser only needs the rest.
    EXPECT_LE(heard.size(), 22050u);
    ASSERT_GE(heard.size(), 22050u * 8 / 10);
    const double sumSquares = std::inner_product(heard.begin(), heard.end(), heard.begin(), 0.0);
    EXPECT_NEAR(std::sqrt(sumSquares / static_cast<double>(heard.size())), 0.5 / std::sqrt(2.0), 0.01);
    const auto silent = [](float a, float b) { return std::abs(a) < 1e-4f && std::abs(b) < 1e-4f; };
    EXPECT_EQ(std::adjacent_find(heard.begin(), heard.end(), silent), heard.end());
}
