// Protects how API documents share main-thread builds: requests waiting together get one
// build, and no request joins a build queued before an action it may have seen answered.
#include "web/DocumentBatch.h"

#include <QCoreApplication>
#include <QObject>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace orvelo;

namespace {

// Builds and actions are queued to the main thread; this runs every one queued so far.
void runQueued()
{
    QCoreApplication::sendPostedEvents();
}

} // namespace

TEST(DocumentBatch, WaitingRequestsShareOneBuildWhateverThreadTheyComeFrom)
{
    QObject context;
    DocumentBatch batch;
    std::atomic<int> builds{0};
    const auto add = [&] {
        batch.add(HttpResponder(), 0, &context, [&] {
            ++builds;
            return HttpResponse::ok();
        });
    };
    for (int i = 0; i < 5; ++i)
        add();
    runQueued();
    EXPECT_EQ(builds, 1);
    // Once a build has run, the next request queues a new one.
    add();
    runQueued();
    EXPECT_EQ(builds, 2);

    std::vector<std::thread> clients;
    for (int t = 0; t < 4; ++t)
        clients.emplace_back([&] {
            for (int i = 0; i < 500; ++i)
                add();
        });
    for (auto& client : clients)
        client.join();
    runQueued();
    EXPECT_EQ(builds, 3);
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
    const auto add = [&](std::uint64_t actionsQueued) { batch.add(HttpResponder(), actionsQueued, &context, build); };
    add(0);
    QMetaObject::invokeMethod(
        &context, [&] { order.push_back("action"); }, Qt::QueuedConnection);
    add(1);
    add(1);
    runQueued();
    EXPECT_EQ(order, (std::vector<std::string>{"build", "action", "build"}));
}

TEST(DocumentBatch, NothingIsBuiltOnceTheContextIsGone)
{
    auto context = std::make_unique<QObject>();
    DocumentBatch batch;
    bool built = false;
    batch.add(HttpResponder(), 0, context.get(), [&] {
        built = true;
        return HttpResponse::ok();
    });
    context.reset();
    runQueued();
    EXPECT_FALSE(built);
}
