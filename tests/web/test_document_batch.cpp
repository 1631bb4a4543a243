// Protects how API documents share main-thread builds: requests waiting together get one
// build, and no request joins a build queued before an action it may have seen answered.
#include "web/DocumentBatch.h"

#include <QCoreApplication>
#include <QObject>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace orvelo;

TEST(DocumentBatch, WaitingRequestsShareOneBuildUnlessAnActionCameInBetween)
{
    auto context = std::make_unique<QObject>();
    DocumentBatch batch;
    std::vector<std::string> order;
    const auto add = [&](std::uint64_t actionsQueued = 0) {
        batch.add(HttpResponder(), actionsQueued, context.get(), [&] {
            order.push_back("build");
            return HttpResponse::ok();
        });
    };
    const auto runQueued = [&] {
        QCoreApplication::sendPostedEvents();
        const auto done = order;
        order.clear();
        return done;
    };
    const std::vector<std::string> one{"build"};

    std::vector<std::thread> clients;
    for (int t = 0; t < 4; ++t)
        clients.emplace_back([&] {
            for (int i = 0; i < 500; ++i)
                add();
        });
    for (auto& client : clients)
        client.join();
    EXPECT_EQ(runQueued(), one);
    add(); // once a build has run, the next request queues a new one
    EXPECT_EQ(runQueued(), one);

    add(0);
    QMetaObject::invokeMethod(
        context.get(), [&] { order.push_back("action"); }, Qt::QueuedConnection);
    add(1);
    add(1);
    EXPECT_EQ(runQueued(), (std::vector<std::string>{"build", "action", "build"}));

    add();
    context.reset();
    EXPECT_EQ(runQueued(), std::vector<std::string>{}) << "nothing is built once the context is gone";
}
