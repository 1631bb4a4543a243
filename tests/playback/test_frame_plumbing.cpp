// Protects the pieces under the compositor: the bounded frame history, the pool that recycles
// composed frames across threads.

#include "SyntheticFrames.h"

#include "platform/media/VideoFramePool.h"
#include "playback/FrameHistory.h"

#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <thread>
#include <vector>

using namespace orvelo;

namespace {

TEST(FrameHistoryTest, KeepsTheLastSixtyFramesNewestLastOrAsFewAsAsked)
{
    FrameHistory history;
    EXPECT_EQ(history.newest(), nullptr);
    std::vector<VideoFramePtr> frames;
    for (int k = 0; k < 75; ++k) {
        frames.push_back(test::solidBgra(2, 2, {k, 0, 0, 255}));
        history.append(frames.back());
    }
    EXPECT_EQ(history.size(), FrameHistory::capacity);
    EXPECT_EQ(history.delayed(59), frames[15]);
    EXPECT_EQ(history.delayed(60), nullptr);
    EXPECT_EQ(history.delayed(std::numeric_limits<int>::min()), frames[74]);

    // Frames that dropped out, or were let go, are no longer held; the newest stays.
    std::weak_ptr<const VideoFrame> dropped = frames[14], letGo = frames[72];
    history.keepNewest(2);
    EXPECT_EQ(history.size(), 2);
    EXPECT_EQ(history.delayed(1), frames[73]);
    EXPECT_EQ(history.delayed(2), nullptr);
    history.keepNewest(0);
    EXPECT_EQ(history.newest(), frames[74]);
    frames.clear();
    EXPECT_TRUE(dropped.expired());
    EXPECT_TRUE(letGo.expired());
    history.clear();
    EXPECT_EQ(history.delayed(0), nullptr);
}

TEST(VideoFramePoolTest, KeepsFramesOfEveryShapeUpToItsBudgetOldestFreedFirst)
{
    // 8x4 BGRA is 128 bytes, 6x6 I420 54: room for three of the former.
    VideoFramePool pool(400);
    auto bgra = pool.acquire(8, 4, PixelFormat::bgra);
    auto i420 = pool.acquire(6, 6, PixelFormat::i420);
    const VideoFrame* bgraAddress = bgra.get();
    const VideoFrame* i420Address = i420.get();
    bgra->pts = 3.0;
    bgra.reset();
    i420.reset();
    EXPECT_EQ(pool.idleBytes(), 128u + 54u);

    auto again = pool.acquire(8, 4, PixelFormat::bgra);
    EXPECT_EQ(again.get(), bgraAddress) << "a frame of the shape asked for comes back";
    EXPECT_EQ(again->pts, 0.0);
    auto other = pool.acquire(6, 6, PixelFormat::i420);
    EXPECT_EQ(other.get(), i420Address);
    EXPECT_TRUE(other->hasValidLayout());

    std::weak_ptr<VideoFrame> oldest = other;
    other.reset();
    std::vector<std::shared_ptr<VideoFrame>> batch{std::move(again)};
    for (int i = 0; i < 3; ++i)
        batch.push_back(pool.acquire(8, 4, PixelFormat::bgra));
    batch.clear();
    EXPECT_TRUE(oldest.expired()) << "the least recently returned frame goes first";
    EXPECT_EQ(pool.idleCount(), 3u);
    EXPECT_EQ(pool.idleBytes(), 3u * 128u);
}

TEST(VideoFramePoolTest, FramesMayOutliveThePoolAndComeBackFromAnyThread)
{
    std::shared_ptr<VideoFrame> survivor;
    {
        VideoFramePool pool(3 * 64);
        survivor = pool.acquire(4, 4, PixelFormat::bgra);
        std::vector<std::shared_ptr<VideoFrame>> batch;
        for (int i = 0; i < 8; ++i)
            batch.push_back(pool.acquire(4, 4, PixelFormat::bgra));
        std::thread([b = std::move(batch)]() mutable { b.clear(); }).join();
        EXPECT_EQ(pool.idleCount(), 3u); // the pool keeps a few, frees the rest
    }
    survivor->data[0] = 1; // still valid memory
    survivor.reset();
}

} // namespace
