// Posting to the main thread: in order, and never for a context that is gone. (The serial queue's
// order and its destruction from its own task are the compositor's tests.)
#include "platform/MainThread.h"

#include <QCoreApplication>
#include <QObject>

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

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

} // namespace
} // namespace orvelo
