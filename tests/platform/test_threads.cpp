// Protects the two ways work changes thread: posting to the main thread (in order, and never for a
// context that is gone) and the serial queue (in order on its named thread, and destroyed from its
// own task without running what waits).
#include "platform/MainThread.h"
#include "platform/SerialQueue.h"

#include <QCoreApplication>
#include <QObject>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <numeric>
#include <thread>
#include <vector>

#include <pthread.h>

namespace orvelo {
namespace {

TEST(MainThread, PostedWorkRunsInOrderOnTheMainThreadAndNotForAContextThatIsGone)
{
    std::vector<int> ran;
    QObject context;
    auto gone = std::make_unique<QObject>();
    std::thread([&] {
        postToMain(&context, [&] { ran.push_back(isMainThread() ? 1 : -1); });
        postToMain(gone.get(), [&] { ran.push_back(99); });
        postToMain(&context, [&] { ran.push_back(isMainThread() ? 2 : -2); });
    }).join();
    gone.reset();
    QCoreApplication::processEvents();
    EXPECT_EQ(ran, (std::vector<int>{1, 2}));
}

#ifdef ORVELO_CHECKS
TEST(MainThreadDeathTest, AMainThreadOnlyCallFromAnotherThreadStopsTheBuildThatChecks)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    assertMainThread();
    EXPECT_DEATH(std::thread([] { assertMainThread(); }).join(), "called off the main thread");
}
#endif

TEST(SerialQueueTest, RunsTasksInOrderOnItsOwnNamedThread)
{
    SerialQueue queue("com.orvelo.compositor");
    std::mutex mutex;
    std::vector<int> order;
    std::promise<std::string> name;
    for (int i = 0; i < 50; ++i) {
        queue.post([&, i] {
            std::lock_guard lock(mutex);
            order.push_back(i);
        });
    }
    queue.post([&] {
        char buffer[16] = {};
        pthread_getname_np(pthread_self(), buffer, sizeof buffer);
        name.set_value(buffer);
    });
    auto future = name.get_future();
    ASSERT_EQ(future.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(future.get(), "com.orvelo.comp");
    std::vector<int> expected(50);
    std::iota(expected.begin(), expected.end(), 0);
    std::lock_guard lock(mutex);
    EXPECT_EQ(order, expected);
}

TEST(SerialQueueTest, DestroyedFromItsOwnTaskItDropsWhatWaits)
{
    auto queue = std::make_unique<SerialQueue>("test.queue");
    std::promise<void> started;
    std::promise<void> destroyed;
    std::atomic<int> ranAfter{0};
    auto release = started.get_future();
    queue->post([&] {
        release.wait();
        queue.reset();
        destroyed.set_value();
    });
    for (int i = 0; i < 5; ++i)
        queue->post([&] { ++ranAfter; });
    EXPECT_EQ(queue->pendingCount(), 6u);
    started.set_value();
    ASSERT_EQ(destroyed.get_future().wait_for(std::chrono::seconds(5)), std::future_status::ready);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(ranAfter.load(), 0);
}

} // namespace
} // namespace orvelo
