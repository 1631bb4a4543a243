// Protects how API documents share main-thread builds: requests waiting together get one
// build, and no request joins a build queued before an action it may have seen answered.
#include "support/TestSupport.h"
#include "web/DocumentBatch.h"

#include <QObject>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace orvelo;
using namespace std::chrono_literals;

TEST(DocumentBatch, WaitingRequestsShareOneBuild)
{
    QObject context;
    DocumentBatch batch;
    int builds = 0;
    const auto build = [&] {
        ++builds;
        return HttpResponse::ok();
    };
    for (int i = 0; i < 5; ++i)
        batch.add(HttpResponder(), 0, &context, build);
    EXPECT_TRUE(test::waitUntil([&] { return builds == 1; }));
    test::spinFor(20ms);
    EXPECT_EQ(builds, 1);

    // Once a build has run, the next request queues a new one.
    batch.add(HttpResponder(), 0, &context, build);
    EXPECT_TRUE(test::waitUntil([&] { return builds == 2; }));
}

TEST(DocumentBatch, AnActionInBetweenStartsANewBuildBehindIt)
{
    QObject context;
    DocumentBatch batch;
    std::vector<std::string> order;
    const auto build = [&] {
        order.push_back("build");
        return HttpResponse::ok();
    };
    batch.add(HttpResponder(), 0, &context, build);
    QMetaObject::invokeMethod(
        &context, [&] { order.push_back("action"); }, Qt::QueuedConnection);
    batch.add(HttpResponder(), 1, &context, build);
    batch.add(HttpResponder(), 1, &context, build);
    EXPECT_TRUE(test::waitUntil([&] { return order.size() == 3; }));
    EXPECT_EQ(order, (std::vector<std::string>{"build", "action", "build"}));
}

TEST(DocumentBatch, RequestsFromManyThreadsAreAllServed)
{
    QObject context;
    DocumentBatch batch;
    std::atomic<int> builds{0};
    std::vector<std::thread> clients;
    for (int t = 0; t < 4; ++t) {
        clients.emplace_back([&] {
            for (int i = 0; i < 500; ++i)
                batch.add(HttpResponder(), 0, &context, [&] {
                    ++builds;
                    return HttpResponse::ok();
                });
        });
    }
    for (auto& client : clients)
        client.join();
    EXPECT_TRUE(test::waitUntil([&] { return builds >= 1; }));
    test::spinFor(50ms);
    EXPECT_LT(builds.load(), 2000);
}

TEST(DocumentBatch, NothingIsBuiltOnceTheContextIsGone)
{
    auto context = std::make_unique<QObject>();
    DocumentBatch batch;
    int builds = 0;
    batch.add(HttpResponder(), 0, context.get(), [&] {
        ++builds;
        return HttpResponse::ok();
    });
    context.reset();
    test::spinFor(30ms);
    EXPECT_EQ(builds, 0);
}
