// The serial queue's order, thread name and shutdown from inside its own task.

#include "platform/SerialQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <pthread.h>

namespace orvelo {
namespace {

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
    for (int i = 0; i < 50; ++i)
        expected[static_cast<std::size_t>(i)] = i;
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
