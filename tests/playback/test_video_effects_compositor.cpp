// Protects the compositor's request handling: the very source frame in the neutral state, the
// history across resets, the error for a missing frame, serial order and the latest frame.

#include "SyntheticFrames.h"

#include "playback/VideoEffectsCompositor.h"
#include "playback/VideoEffectsManager.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <pthread.h>

using namespace orvelo;
using orvelo::test::pixelAt;
using orvelo::test::Rgba;
using orvelo::test::solidBgra;
using orvelo::test::solidI420;

namespace {

// One request, waited for.
CompositionResult submit(VideoEffectsCompositor& compositor, VideoFramePtr frame)
{
    auto promise = std::make_shared<std::promise<CompositionResult>>();
    auto future = promise->get_future();
    compositor.startRequest(std::move(frame), [promise](const CompositionResult& r) { promise->set_value(r); });
    if (future.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        ADD_FAILURE() << "request did not finish";
        return {};
    }
    return future.get();
}

const auto grey = [](int level) { return solidBgra(40, 4, {level, level, level, 255}); };

class CompositorTest : public ::testing::Test {
protected:
    VideoEffectsManager effects;
    VideoEffectsCompositor compositor{effects};
};

TEST_F(CompositorTest, NeutralRequestsFinishWithTheVerySourceFrameWhileTheHistoryFills)
{
    VideoFramePtr frame;
    for (int k = 0; k < 70; ++k) {
        frame = solidI420(40, 4, 16 + 3 * k, 128, 128);
        EXPECT_EQ(submit(compositor, frame).frame.get(), frame.get()) << "request " << k;
    }
    EXPECT_EQ(compositor.latestFrame().get(), frame.get());
    EXPECT_EQ(compositor.finishedFrameCount(), 70u);

    // Without a time shift only the newest frame is held. A shift turned on fills the history
    // from then on, showing the newest frame as it is until the history reaches back far enough:
    // a shift of 59 reaches the last frame before it (69) 59 frames later; 60 reaches nothing.
    effects.setRedTimeShift(59);
    for (int k = 0; k < 58; ++k) {
        const auto filling = grey(k);
        EXPECT_EQ(submit(compositor, filling).frame.get(), filling.get()) << "request " << k;
    }
    const auto result = submit(compositor, grey(200));
    ASSERT_NE(result.frame.get(), nullptr);
    EXPECT_NEAR(pixelAt(*result.frame, 0, 0).r, 3 * 69 * 255.0 / 219.0, 2);

    effects.setRedTimeShift(60);
    const auto tooFar = grey(201);
    EXPECT_EQ(submit(compositor, tooFar).frame.get(), tooFar.get());
}

TEST_F(CompositorTest, AfterEitherResetADelayedChannelShowsTheCurrentFrameUntilEnoughFramesArrive)
{
    for (auto reset : {&VideoEffectsCompositor::renderContextChanged,
                       &VideoEffectsCompositor::cancelAllPendingVideoCompositionRequests}) {
        effects.resetAll();
        for (int k = 0; k < 20; ++k)
            submit(compositor, grey(k));
        (compositor.*reset)();
        effects.setRedTimeShift(5);
        for (int k = 0; k < 6; ++k) {
            const auto frame = grey(100 + k);
            const auto shown = submit(compositor, frame).frame;
            ASSERT_NE(shown, nullptr);
            if (k < 5)
                EXPECT_EQ(shown.get(), frame.get()) << "request " << k;
            else
                EXPECT_EQ(pixelAt(*shown, 3, 1), (Rgba{100, 105, 105, 255}));
        }
    }
}

TEST_F(CompositorTest, AMissingSourceFrameFailsTheRequestAndChangesNothing)
{
    const auto first = grey(10);
    submit(compositor, first);
    const auto result = submit(compositor, nullptr);
    ASSERT_TRUE(result.error.has_value());
    EXPECT_EQ(result.error->description, "No source frame");
    EXPECT_EQ(result.frame, nullptr);
    EXPECT_EQ(compositor.latestFrame().get(), first.get());

    // The failed request added nothing to the history: one frame back is still the first.
    effects.setGreenTimeShift(1);
    EXPECT_EQ(pixelAt(*submit(compositor, grey(20)).frame, 0, 0), (Rgba{20, 10, 20, 255}));
}

TEST_F(CompositorTest, RequestsRunOneAtATimeInOrderOnTheCompositorQueue)
{
    std::promise<void> gate;
    std::shared_future<void> opened = gate.get_future().share();
    std::mutex mutex;
    std::vector<int> order;
    std::vector<std::string> threadNames;
    std::promise<void> allDone;
    for (int k = 0; k < 4; ++k) {
        compositor.startRequest(grey(k), [&, k](const CompositionResult&) {
            if (k == 0)
                opened.wait();
            char name[16] = {};
            pthread_getname_np(pthread_self(), name, sizeof name);
            {
                std::lock_guard lock(mutex);
                order.push_back(k);
                threadNames.emplace_back(name);
            }
            // Last touch of the test's locals: the test may end as soon as this is set.
            if (k == 3)
                allDone.set_value();
        });
    }
    // Every call returned while the first request was still held.
    EXPECT_EQ(compositor.pendingCount(), 4u);
    gate.set_value();
    ASSERT_EQ(allDone.get_future().wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3}));
    for (const auto& name : threadNames)
        EXPECT_EQ(name, std::string(VideoEffectsCompositor::queueLabel).substr(0, 15));
}

TEST(CompositorLifetimeTest, RequestsQueuedWhenTheCompositorGoesAreDropped)
{
    VideoEffectsManager effects;
    auto compositor = std::make_unique<VideoEffectsCompositor>(effects);
    std::promise<void> gate;
    std::promise<void> destroyed;
    std::atomic<int> laterFinished = 0;
    compositor->startRequest(grey(1), [&](const CompositionResult&) {
        gate.get_future().wait();
        compositor.reset(); // from the queue itself: must neither deadlock nor run the rest
        destroyed.set_value();
    });
    for (int k = 0; k < 3; ++k)
        compositor->startRequest(grey(2), [&](const CompositionResult&) { ++laterFinished; });
    gate.set_value();
    // The queue let go of what was waiting before the destructor returned.
    ASSERT_EQ(destroyed.get_future().wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(laterFinished, 0);
}

TEST_F(CompositorTest, ParametersChangingDuringRequestsNeverBreakAFrame)
{
    // The effects are written on the main thread, as the player does, while requests run.
    std::atomic<bool> done{false};
    std::thread requester([&] {
        for (int k = 0; k < 150; ++k) {
            const auto result = submit(compositor, solidI420(64, 8, k % 256, 90, 200));
            EXPECT_TRUE(result.frame && result.frame->width == 64) << "request " << k;
        }
        done = true;
    });
    for (int i = 0; !done; ++i) {
        effects.setRedHorizontalOffset((i % 100) - 50.0);
        effects.setSaturation(static_cast<float>(i % 3));
        effects.setGreenTimeShift(i % 70);
        effects.setBlueEnabled(i % 2 == 0);
    }
    requester.join();
}

} // namespace
