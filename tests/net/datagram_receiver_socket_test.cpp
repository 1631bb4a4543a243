// The UDP receive loop the DMX and CITP services share: every datagram handed over, stop wakes it,
// passing failures retried, and a port in use or a real failure reported once and published.
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
            [](const ReceiveFailure& failure) { ADD_FAILURE() << failure.text(); });
        return *made;
    }

    // Waits for the handler to have been given this many.
    bool handed(std::size_t count)
    {
        return waitUntil([&] {
            std::lock_guard lock(mutex);
            return datagrams.size() >= count;
        });
    }

    const std::uint16_t port = freeUdpPort();
    ScriptedReceive script;
    LogCapture log;
    UdpPeer peer;
    std::mutex mutex;
    std::vector<Bytes> datagrams;
    std::unique_ptr<DatagramReceiver> made;
};

} // namespace

TEST_F(DatagramReceiverTest, HandsOverEveryDatagramAndCloseWakesTheWaitingThread)
{
    auto& r = receiver();
    ASSERT_FALSE(r.start());
    EXPECT_FALSE(r.start()) << "a second start keeps the open socket";
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
        {"sACNService", "sACNReceiver", std::make_unique<SACNService>(SACNService::Options{port, nullptr, reading})}};
    for (const auto& [name, thread, input] : inputs) {
        SCOPED_TRACE(name);
        DMXProtocolService* const service = input.get(); // a plain name the waits can capture
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
        EXPECT_EQ(log.count(name + ": Receive error: Input/output error"), 1);

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
