// Protects the sACN receiver on real sockets: frames of any universe reach the main thread one by
// one, groups are joined, and start, stop or a failure never leave a stray or deaf receiver.
#include "net/SACNService.h"

#include "support/TestSupport.h"
#include "support/UdpTestSupport.h"

#include <atomic>
#include <cerrno>
#include <deque>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>

using namespace orvelo;
using namespace orvelo::test;
using Frame = std::vector<std::uint8_t>;

namespace {

Frame padded(Frame values)
{
    values.resize(512, 0);
    return values;
}

int receiverThreads()
{
    return threadsNamed("sACNReceiver");
}

// Groups joined on `device`, from /proc/net/igmp, as dotted text.
std::set<std::string> joinedGroups(const std::string& device)
{
    std::ifstream table("/proc/net/igmp");
    std::set<std::string> groups;
    std::string line, current;
    while (std::getline(table, line)) {
        if (line.empty())
            continue;
        std::istringstream fields(line);
        if (line[0] != '\t') {
            std::string index;
            fields >> index >> current;
            continue;
        }
        std::string hex;
        fields >> hex;
        if (current != device || hex.size() != 8)
            continue;
        // The kernel prints the address in network order read as a host-order word.
        in_addr address{};
        address.s_addr = static_cast<in_addr_t>(std::stoul(hex, nullptr, 16));
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &address, text, sizeof text);
        groups.insert(text);
    }
    return groups;
}

// The system's receive, preceded by scripted errors.
struct ScriptedReceive {
    std::mutex mutex;
    std::deque<int> transientErrors;
    std::atomic<int> fatalError{0};

    SACNService::ReceiveFunction function()
    {
        return [this](int fd, void* buffer, std::size_t size) -> ssize_t {
            if (const int error = fatalError.load()) {
                errno = error;
                return -1;
            }
            std::lock_guard lock(mutex);
            if (!transientErrors.empty()) {
                errno = transientErrors.front();
                transientErrors.pop_front();
                return -1;
            }
            return ::recv(fd, buffer, size, MSG_DONTWAIT);
        };
    }
};

class SACNServiceTest : public ::testing::Test {
protected:
    void SetUp() override { ORVELO_REQUIRE_ISOLATED_NETWORK(); }

    SACNService::Options options(SACNService::ReceiveFunction receive = {}) const
    {
        SACNService::Options o;
        o.port = port;
        o.receive = std::move(receive);
        return o;
    }

    static bool listensNow(SACNService& service)
    {
        return waitUntil([&] { return service.isListening(); });
    }

    void send(std::uint16_t universe, const Frame& values, std::uint8_t startCode = 0)
    {
        console.sendTo(port, sacnDataPacket(universe, values, startCode));
    }

    bool shows(SACNService& service, const Frame& values)
    {
        return waitUntil([&] { return service.lastDMXValues() == padded(values); });
    }

    const std::uint16_t port = freeUdpPort();
    LogCapture log;
    UdpPeer console;
};

} // namespace

TEST_F(SACNServiceTest, PublishesEveryAcceptedFrameOfAnyUniverse)
{
    SACNService service(options());
    int frames = 0;
    int times = 0;
    QObject::connect(&service, &SACNService::lastDMXValuesChanged, [&](const Frame&) { ++frames; });
    QObject::connect(&service, &SACNService::lastPacketTimeChanged, [&] { ++times; });
    service.startListening();
    ASSERT_TRUE(listensNow(service));
    EXPECT_TRUE(log.contains("sACNService: Listening on port " + std::to_string(port) + " (BSD socket with multicast)"));
    EXPECT_FALSE(service.error());

    Frame first(24);
    for (std::size_t i = 0; i < first.size(); ++i)
        first[i] = static_cast<std::uint8_t>(i + 1);
    send(3, first);
    ASSERT_TRUE(shows(service, first));
    EXPECT_TRUE(service.lastPacketTime());

    // Malformed: start code only, and a count that runs past the datagram.
    send(1, {});
    auto overlong = sacnDataPacket(1, {9, 9, 9});
    overlong[124] = 10;
    console.sendTo(port, overlong);
    send(1, {7, 8, 9});
    ASSERT_TRUE(shows(service, {7, 8, 9}));
    EXPECT_EQ(frames, 2);

    // Repeated frames are each handed over, and a foreign start code replaces the frame too.
    send(1, {7, 8, 9});
    send(1, {7, 8, 9});
    send(1, {200}, 0xDD);
    ASSERT_TRUE(shows(service, {200}));
    EXPECT_EQ(frames, 5);
    EXPECT_EQ(times, 5);

    const int third = log.indexOf("sACN DMX Update: Universe=3, Ch1=1");
    EXPECT_GE(third, 0);
    EXPECT_GT(log.indexOf("sACN DMX Update: Universe=1, Ch1=7"), third);
    EXPECT_TRUE(log.contains("sACN DMX Update: Universe=1, Ch1=200"));
}

TEST_F(SACNServiceTest, JoinsTheUniverseGroupsOnTheRoutedInterface)
{
    SACNService service(options());
    service.startListening();
    ASSERT_TRUE(listensNow(service));
    EXPECT_TRUE(log.contains("sACNService: Using local IP 10.254.0.2 for multicast membership"));

    const auto groups = joinedGroups("show0");
    for (int universe = 1; universe <= 16; ++universe)
        EXPECT_TRUE(groups.count("239.255.0." + std::to_string(universe))) << "universe " << universe;
    EXPECT_FALSE(groups.count("239.255.0.17"));

    // Multicast leaves through the test interface (so not from a loopback-bound socket) and
    // loops back to this host.
    const UdpPeer sender(0, true);
    in_addr interface{};
    ::inet_pton(AF_INET, "10.254.0.2", &interface);
    ::setsockopt(sender.fd(), IPPROTO_IP, IP_MULTICAST_IF, &interface, sizeof interface);
    const unsigned char loop = 1;
    ::setsockopt(sender.fd(), IPPROTO_IP, IP_MULTICAST_LOOP, &loop, sizeof loop);
    in_addr group{};
    ::inet_pton(AF_INET, "239.255.0.3", &group);
    sender.sendTo(port, sacnDataPacket(3, {33}), group.s_addr);
    EXPECT_TRUE(shows(service, {33}));
}

TEST_F(SACNServiceTest, StartingTwiceKeepsTheFirstSocketAndThread)
{
    SACNService service(options());
    service.startListening();
    const int socket = service.socketFD();
    ASSERT_GE(socket, 0);
    service.startListening();
    EXPECT_TRUE(log.contains("sACNService: Already listening"));
    EXPECT_EQ(service.socketFD(), socket);
    EXPECT_EQ(receiverThreads(), 1);
}

TEST_F(SACNServiceTest, StopEndsABlockedReceiverAndKeepsTheFrame)
{
    SACNService service(options());
    service.startListening();
    ASSERT_TRUE(listensNow(service));
    send(5, {1, 2, 3});
    ASSERT_TRUE(shows(service, {1, 2, 3}));
    spinFor(std::chrono::milliseconds(50)); // the receiver is blocked waiting again

    service.stopListening();
    EXPECT_EQ(receiverThreads(), 0) << "stop returns only once the receiver has ended";
    EXPECT_EQ(service.socketFD(), -1);
    EXPECT_TRUE(waitUntil([&] { return !service.isListening(); }));
    EXPECT_TRUE(log.contains("sACNService: Stopped listening"));
    for (const auto& line : log.lines())
        EXPECT_EQ(line.find("Receive error"), std::string::npos) << line;
    EXPECT_EQ(service.lastDMXValues(), padded({1, 2, 3}));

    service.startListening();
    ASSERT_TRUE(listensNow(service));
    EXPECT_EQ(service.lastDMXValues(), padded({1, 2, 3})) << "published values survive stop and start";
}

TEST_F(SACNServiceTest, QuickStopAndStartLeaveExactlyOneReceiver)
{
    SACNService service(options());
    for (int i = 0; i < 50; ++i) {
        service.startListening();
        service.stopListening();
    }
    service.startListening();
    EXPECT_EQ(receiverThreads(), 1);
    ASSERT_TRUE(listensNow(service));
    spinFor(std::chrono::milliseconds(20));
    EXPECT_TRUE(service.isListening()) << "no late stop from an earlier cycle";
    send(2, {42});
    EXPECT_TRUE(shows(service, {42}));
}

TEST_F(SACNServiceTest, BindFailureIsPublishedAndALaterStartRetries)
{
    PortHolder holder(port);
    ASSERT_TRUE(holder.bound());
    SACNService service(options());
    service.startListening();
    EXPECT_TRUE(log.contains("sACNService: Failed to bind: Address already in use"));
    ASSERT_TRUE(waitUntil([&] { return service.error().has_value(); }));
    EXPECT_EQ(*service.error(), "Failed to bind: Address already in use");
    EXPECT_FALSE(service.isListening());
    EXPECT_EQ(service.socketFD(), -1);
    EXPECT_EQ(receiverThreads(), 0);

    holder.release();
    service.startListening();
    ASSERT_TRUE(listensNow(service));
    EXPECT_FALSE(service.error()) << "a successful start clears the error";
}

TEST_F(SACNServiceTest, TransientReceiveErrorsAreRetriedAndARealOneClosesTheReceiver)
{
    ScriptedReceive receive;
    receive.transientErrors = {EINTR, ECONNREFUSED, ENOBUFS, ENOMEM, EAGAIN};
    SACNService service(options(receive.function()));
    service.startListening();
    ASSERT_TRUE(listensNow(service));

    send(1, {11});
    ASSERT_TRUE(shows(service, {11}));
    {
        std::lock_guard lock(receive.mutex);
        EXPECT_TRUE(receive.transientErrors.empty()) << "every scripted error was met first";
    }
    EXPECT_TRUE(service.isListening());
    EXPECT_FALSE(service.error());
    for (const auto& line : log.lines())
        EXPECT_EQ(line.find("Receive error"), std::string::npos) << line;

    receive.fatalError = EIO;
    send(1, {12});
    ASSERT_TRUE(waitUntil([&] { return !service.isListening(); }));
    EXPECT_EQ(service.error().value_or(""), "Receive error: Input/output error");
    EXPECT_TRUE(log.contains("sACNService: Receive error: Input/output error"));
    EXPECT_EQ(service.socketFD(), -1);
    EXPECT_EQ(receiverThreads(), 0);
    EXPECT_EQ(service.lastDMXValues(), padded({11}));

    // Closed for real: a start opens it again.
    receive.fatalError = 0;
    log.clear();
    service.startListening();
    EXPECT_FALSE(log.contains("sACNService: Already listening"));
    ASSERT_TRUE(listensNow(service));
    EXPECT_FALSE(service.error());
    send(1, {13});
    EXPECT_TRUE(shows(service, {13}));
}
