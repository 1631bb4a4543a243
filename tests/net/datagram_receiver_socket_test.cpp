// Protects the UDP receive loop the Art-Net, sACN and CITP services share: every datagram reaches
// the handler, a port in use is a failure value, stop wakes a waiting thread at once, passing read
// failures are retried, a real one is reported once; and that the DMX inputs publish all of it.
#include "net/ArtNetService.h"
#include "net/DatagramReceiver.h"
#include "net/SACNService.h"

#include "support/ScriptedReceive.h"
#include "support/TestSupport.h"
#include "support/UdpTestSupport.h"

using namespace orvelo;
using namespace orvelo::test;
using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

namespace {

class DatagramReceiverTest : public ::testing::Test {
protected:
    void SetUp() override { ORVELO_REQUIRE_ISOLATED_NETWORK(); }

    DatagramReceiver& receiver(bool ownThread = true)
    {
        made = std::make_unique<DatagramReceiver>(
            DatagramReceiver::Options{.port = port,
                                      .threadName = "TestReceiver",
                                      .logName = "Test",
                                      .reading = {ownThread, script.function()}},
            [this](std::span<const std::uint8_t> datagram, const sockaddr_in&) {
                std::lock_guard lock(mutex);
                datagrams.emplace_back(datagram.begin(), datagram.end());
            },
            [this](const ReceiveFailure& failure) {
                std::lock_guard lock(mutex);
                failures.push_back(failure.text());
            });
        return *made;
    }

    // Waits for the handlers to have been given this much.
    bool handed(std::size_t count, std::size_t failed = 0)
    {
        return waitUntil([&] {
            std::lock_guard lock(mutex);
            return datagrams.size() >= count && failures.size() >= failed;
        });
    }

    const std::uint16_t port = freeUdpPort();
    ScriptedReceive script;
    LogCapture log;
    UdpPeer peer;
    std::mutex mutex;
    std::vector<Bytes> datagrams;
    std::vector<std::string> failures;
    std::unique_ptr<DatagramReceiver> made;
};

} // namespace

TEST_F(DatagramReceiverTest, HandsOverEveryDatagramAndCloseWakesTheWaitingThread)
{
    auto& r = receiver();
    ASSERT_FALSE(r.start());
    EXPECT_EQ(r.port(), port);
    EXPECT_EQ(threadsNamed("TestReceiver"), 1);
    for (const Bytes& datagram : {Bytes{1}, Bytes(1400, 7)})
        peer.sendTo(port, datagram);
    ASSERT_TRUE(handed(2));
    EXPECT_EQ(datagrams, (std::vector<Bytes>{{1}, Bytes(1400, 7)})) << "in order, whole";

    // The queue is empty again: the thread now waits in poll, which close must interrupt.
    ASSERT_TRUE(waitUntil([&] { return script.drained.load(); }));
    const auto started = std::chrono::steady_clock::now();
    r.close();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 500ms);
    EXPECT_EQ(threadsNamed("TestReceiver"), 0);
    EXPECT_EQ(r.port(), 0);
}

TEST_F(DatagramReceiverTest, FailuresAreReportedOnceAndAStartAfterThemOpensAfresh)
{
    auto& r = receiver();
    PortHolder holder(port);
    ASSERT_TRUE(holder.bound());
    const auto failure = r.start();
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->text(), "Failed to bind: Address already in use");
    EXPECT_TRUE(log.contains("Test: Failed to bind: Address already in use"));
    EXPECT_FALSE(r.isOpen());
    EXPECT_EQ(threadsNamed("TestReceiver"), 0);
    holder.release();

    ASSERT_FALSE(r.start());
    EXPECT_FALSE(r.start()) << "a second start keeps the open socket";
    EXPECT_EQ(threadsNamed("TestReceiver"), 1);
    script.fatal = EIO;
    peer.sendTo(port, {1}); // wakes the thread
    ASSERT_TRUE(handed(0, 1));
    EXPECT_EQ(failures, std::vector<std::string>{"Receive error: Input/output error"});
    EXPECT_TRUE(waitUntil([&] { return threadsNamed("TestReceiver") == 0; })) << "the thread ends by itself";
    EXPECT_EQ(log.count("Test: Receive error: Input/output error"), 1);

    r.close();
    script.fatal = 0;
    ASSERT_FALSE(r.start());
    peer.sendTo(port, {2});
    ASSERT_TRUE(handed(1));
    EXPECT_EQ(failures.size(), 1u);
}

TEST_F(DatagramReceiverTest, PassingFailuresAreRetriedAndLoggedOncePerKind)
{
    auto& r = receiver(false);
    script.errors = {EINTR, EAGAIN, ECONNREFUSED, ENOBUFS, ENOMEM, ECONNREFUSED, ENOBUFS, EINTR};
    ASSERT_FALSE(r.start());
    EXPECT_EQ(threadsNamed("TestReceiver"), 0) << "read by pollOnce alone";
    peer.sendTo(port, {42});
    while (!script.errors.empty())
        EXPECT_FALSE(r.pollOnce(0ms));
    EXPECT_TRUE(r.pollOnce());
    EXPECT_FALSE(r.pollOnce(0ms)) << "nothing more waiting";
    EXPECT_EQ(datagrams, (std::vector<Bytes>{{42}}));
    for (const char* kind : {"Connection refused", "No buffer space available", "Cannot allocate memory"})
        EXPECT_EQ(log.count(std::string("Test: Reading on after a passing receive failure: ") + kind), 1) << kind;
    EXPECT_FALSE(log.containsPrefix("Test: Receive error"));
}

// Both DMX inputs publish what their receiver reports, as the operator sees it.
TEST(DMXInputLife, FailuresArePublishedAndAStartAfterThemOpensAfresh)
{
    ORVELO_REQUIRE_ISOLATED_NETWORK();
    const std::uint16_t port = freeUdpPort();
    ScriptedReceive script;
    const DatagramReceiver::Reading reading{true, script.function()};
    const ArtNetService::Options artNet{.listenPort = port,
                                        .destinationPort = freeUdpPort(),
                                        .destinationAddress = "127.0.0.1",
                                        .clearPort = false,
                                        .reading = reading};
    const std::tuple<std::string, std::string, std::unique_ptr<DMXProtocolService>> inputs[] = {
        {"ArtNetService", "ArtNetReceiver", std::make_unique<ArtNetService>(artNet)},
        {"sACNService", "sACNReceiver", std::make_unique<SACNService>(SACNService::Options{port, reading})}};
    for (const auto& [name, thread, service] : inputs) {
        SCOPED_TRACE(name);
        LogCapture log;
        PortHolder holder(port);
        service->startListening();
        ASSERT_TRUE(waitUntil([&] { return service->error().has_value(); }));
        EXPECT_EQ(service->errorText(), "Failed to bind: Address already in use");
        EXPECT_FALSE(service->isListening());
        holder.release();

        service->startListening();
        ASSERT_TRUE(waitUntil([&] { return service->isListening(); }));
        EXPECT_FALSE(service->error()) << "a start clears the error";
        service->startListening();
        EXPECT_TRUE(log.contains(name + ": Already listening"));
        EXPECT_EQ(threadsNamed(thread), 1);

        script.fatal = EIO;
        UdpPeer().sendTo(port, {1});
        ASSERT_TRUE(waitUntil([&] { return !service->isListening(); }));
        EXPECT_EQ(service->errorText(), "Receive error: Input/output error");
        EXPECT_EQ(threadsNamed(thread), 0) << "the deaf input is closed";

        script.fatal = 0;
        log.clear();
        service->startListening();
        ASSERT_TRUE(waitUntil([&] { return service->isListening(); }));
        service->stopListening();
        EXPECT_EQ(threadsNamed(thread), 0);
        EXPECT_TRUE(log.contains(name + ": Stopped listening"));
        EXPECT_TRUE(waitUntil([&] { return !service->isListening(); }));
        EXPECT_FALSE(log.containsPrefix(name + ": Receive error")) << "a stop is no failure";
    }
}
