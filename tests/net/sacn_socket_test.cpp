// Protects the sACN receiver on real sockets: frames of any universe reach the main thread one by
// one, groups are joined, and start, stop or a failure never leave a stray or deaf receiver.
#include "net/SACNService.h"

#include "platform/ByteWriter.h"
#include "support/TestSupport.h"
#include "support/UdpTestSupport.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDir>
#include <QFile>

#include <atomic>
#include <cerrno>
#include <deque>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>

using namespace orvelo;
using test::LogCapture;
using test::freeUdpPort;
using test::waitUntil;
using Frame = std::vector<std::uint8_t>;

namespace {

SACNService::Options on(std::uint16_t port, SACNService::ReceiveFunction receive = {})
{
    SACNService::Options options;
    options.port = port;
    options.receive = std::move(receive);
    return options;
}

Frame padded(Frame values)
{
    values.resize(512, 0);
    return values;
}

class Sender {
public:
    Sender() : fd_(::socket(AF_INET, SOCK_DGRAM, 0)) {}
    ~Sender() { ::close(fd_); }

    void send(const std::vector<std::uint8_t>& datagram, std::uint16_t port, const char* address = "127.0.0.1")
    {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        ::inet_pton(AF_INET, address, &to.sin_addr);
        ASSERT_EQ(::sendto(fd_, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to),
                  static_cast<ssize_t>(datagram.size()));
    }

    // Multicast leaves through the test interface and loops back to this host.
    void sendToGroup(const std::vector<std::uint8_t>& datagram, std::uint16_t port, const char* group)
    {
        in_addr interface{};
        ::inet_pton(AF_INET, "10.254.0.2", &interface);
        ::setsockopt(fd_, IPPROTO_IP, IP_MULTICAST_IF, &interface, sizeof interface);
        const unsigned char loop = 1;
        ::setsockopt(fd_, IPPROTO_IP, IP_MULTICAST_LOOP, &loop, sizeof loop);
        send(datagram, port, group);
    }

private:
    int fd_;
};

int receiverThreads()
{
    int count = 0;
    for (const auto& task : QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm("/proc/self/task/" + task + "/comm");
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == "sACNReceiver")
            ++count;
    }
    return count;
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

bool listensNow(SACNService& service)
{
    return waitUntil([&] { return service.isListening(); });
}

struct ChangeCounter {
    explicit ChangeCounter(SACNService& service)
    {
        QObject::connect(&service, &SACNService::lastDMXValuesChanged, [this](const Frame&) { ++frames; });
        QObject::connect(&service, &SACNService::lastPacketTimeChanged, [this] { ++times; });
    }
    int frames = 0;
    int times = 0;
};

} // namespace

TEST(SACNService, PublishesEveryAcceptedFrameOfAnyUniverse)
{
    ORVELO_REQUIRE_ISOLATED_NETWORK();
    const auto port = freeUdpPort();
    LogCapture log;
    SACNService service(on(port));
    ChangeCounter changes(service);
    service.startListening();
    ASSERT_TRUE(listensNow(service));
    EXPECT_TRUE(log.contains("sACNService: Listening on port " + std::to_string(port) + " (BSD socket with multicast)"));
    EXPECT_FALSE(service.error());

    Frame first(24);
    for (std::size_t i = 0; i < first.size(); ++i)
        first[i] = static_cast<std::uint8_t>(i + 1);
    Sender sender;
    sender.send(test::sacnDataPacket(3, first), port);
    ASSERT_TRUE(waitUntil([&] { return service.lastDMXValues() == padded(first); }));
    EXPECT_TRUE(service.lastPacketTime());

    // Malformed: start code only, and a count that runs past the datagram.
    sender.send(test::sacnDataPacket(1, {}), port);
    auto overlong = test::sacnDataPacket(1, {9, 9, 9});
    overlong[124] = 10;
    sender.send(overlong, port);
    sender.send(test::sacnDataPacket(1, {7, 8, 9}), port);
    ASSERT_TRUE(waitUntil([&] { return service.lastDMXValues() == padded({7, 8, 9}); }));
    EXPECT_EQ(changes.frames, 2);

    // Repeated frames are each handed over, and a foreign start code replaces the frame too.
    sender.send(test::sacnDataPacket(1, {7, 8, 9}), port);
    sender.send(test::sacnDataPacket(1, {7, 8, 9}), port);
    sender.send(test::sacnDataPacket(1, {200}, 0xDD), port);
    ASSERT_TRUE(waitUntil([&] { return service.lastDMXValues() == padded({200}); }));
    EXPECT_EQ(changes.frames, 5);
    EXPECT_EQ(changes.times, 5);

    const int third = log.indexOf("sACN DMX Update: Universe=3, Ch1=1");
    const int first1 = log.indexOf("sACN DMX Update: Universe=1, Ch1=7");
    EXPECT_GE(third, 0);
    EXPECT_GT(first1, third);
    EXPECT_TRUE(log.contains("sACN DMX Update: Universe=1, Ch1=200"));
}

TEST(SACNService, JoinsTheUniverseGroupsOnTheRoutedInterface)
{
    ORVELO_REQUIRE_ISOLATED_NETWORK();
    const auto port = freeUdpPort();
    LogCapture log;
    SACNService service(on(port));
    service.startListening();
    ASSERT_TRUE(listensNow(service));
    EXPECT_TRUE(log.contains("sACNService: Using local IP 10.254.0.2 for multicast membership"));

    const auto groups = joinedGroups("show0");
    for (int universe = 1; universe <= 16; ++universe)
        EXPECT_TRUE(groups.count("239.255.0." + std::to_string(universe))) << "universe " << universe;
    EXPECT_FALSE(groups.count("239.255.0.17"));

    Sender sender;
    sender.sendToGroup(test::sacnDataPacket(3, {33}), port, "239.255.0.3");
    EXPECT_TRUE(waitUntil([&] { return service.lastDMXValues() == padded({33}); }));
}

TEST(SACNService, StartingTwiceKeepsTheFirstSocketAndThread)
{
    ORVELO_REQUIRE_ISOLATED_NETWORK();
    LogCapture log;
    SACNService service(on(freeUdpPort()));
    service.startListening();
    const int socket = service.socketFD();
    ASSERT_GE(socket, 0);
    service.startListening();
    EXPECT_TRUE(log.contains("sACNService: Already listening"));
    EXPECT_EQ(service.socketFD(), socket);
    EXPECT_EQ(receiverThreads(), 1);
}

TEST(SACNService, StopEndsABlockedReceiverAndKeepsTheFrame)
{
    ORVELO_REQUIRE_ISOLATED_NETWORK();
    const auto port = freeUdpPort();
    LogCapture log;
    SACNService service(on(port));
    service.startListening();
    ASSERT_TRUE(listensNow(service));
    Sender sender;
    sender.send(test::sacnDataPacket(5, {1, 2, 3}), port);
    ASSERT_TRUE(waitUntil([&] { return service.lastDMXValues() == padded({1, 2, 3}); }));
    test::spinFor(std::chrono::milliseconds(50)); // the receiver is blocked waiting again

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

TEST(SACNService, QuickStopAndStartLeaveExactlyOneReceiver)
{
    ORVELO_REQUIRE_ISOLATED_NETWORK();
    const auto port = freeUdpPort();
    SACNService service(on(port));
    for (int i = 0; i < 50; ++i) {
        service.startListening();
        service.stopListening();
    }
    service.startListening();
    EXPECT_EQ(receiverThreads(), 1);
    ASSERT_TRUE(listensNow(service));
    test::spinFor(std::chrono::milliseconds(20));
    EXPECT_TRUE(service.isListening()) << "no late stop from an earlier cycle";
    Sender sender;
    sender.send(test::sacnDataPacket(2, {42}), port);
    EXPECT_TRUE(waitUntil([&] { return service.lastDMXValues() == padded({42}); }));
}

TEST(SACNService, BindFailureIsPublishedAndALaterStartRetries)
{
    ORVELO_REQUIRE_ISOLATED_NETWORK();
    const auto port = freeUdpPort();
    // Holds the port without allowing reuse.
    const int holder = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    ASSERT_EQ(::bind(holder, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);

    LogCapture log;
    SACNService service(on(port));
    service.startListening();
    EXPECT_TRUE(log.contains("sACNService: Failed to bind: Address already in use"));
    ASSERT_TRUE(waitUntil([&] { return service.error().has_value(); }));
    EXPECT_EQ(*service.error(), "Failed to bind: Address already in use");
    EXPECT_FALSE(service.isListening());
    EXPECT_EQ(service.socketFD(), -1);
    EXPECT_EQ(receiverThreads(), 0);

    ::close(holder);
    service.startListening();
    ASSERT_TRUE(listensNow(service));
    EXPECT_FALSE(service.error()) << "a successful start clears the error";
}

namespace {

// The system's receive, preceded by scripted errors.
struct ScriptedReceive {
    std::mutex mutex;
    std::deque<int> transientErrors;
    std::atomic<int> fatalError{0};
    std::atomic<int> calls{0};

    SACNService::ReceiveFunction function()
    {
        return [this](int fd, void* buffer, std::size_t size) -> ssize_t {
            ++calls;
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

} // namespace

TEST(SACNService, TransientReceiveErrorsAreRetried)
{
    ORVELO_REQUIRE_ISOLATED_NETWORK();
    const auto port = freeUdpPort();
    ScriptedReceive receive;
    receive.transientErrors = {EINTR, ECONNREFUSED, ENOBUFS, ENOMEM, EAGAIN};
    LogCapture log;
    SACNService service(on(port, receive.function()));
    service.startListening();
    ASSERT_TRUE(listensNow(service));

    Sender sender;
    sender.send(test::sacnDataPacket(1, {11}), port);
    ASSERT_TRUE(waitUntil([&] { return service.lastDMXValues() == padded({11}); }));
    {
        std::lock_guard lock(receive.mutex);
        EXPECT_TRUE(receive.transientErrors.empty()) << "every scripted error was met first";
    }
    EXPECT_TRUE(service.isListening());
    EXPECT_FALSE(service.error());
    for (const auto& line : log.lines())
        EXPECT_EQ(line.find("Receive error"), std::string::npos) << line;
}

TEST(SACNService, AReceiveFailureClosesTheReceiverUntilTheNextStart)
{
    ORVELO_REQUIRE_ISOLATED_NETWORK();
    const auto port = freeUdpPort();
    ScriptedReceive receive;
    LogCapture log;
    SACNService service(on(port, receive.function()));
    service.startListening();
    ASSERT_TRUE(listensNow(service));

    receive.fatalError = EIO;
    Sender sender;
    sender.send(test::sacnDataPacket(1, {11}), port);
    ASSERT_TRUE(waitUntil([&] { return !service.isListening(); }));
    EXPECT_EQ(service.error().value_or(""), "Receive error: Input/output error");
    EXPECT_TRUE(log.contains("sACNService: Receive error: Input/output error"));
    EXPECT_EQ(service.socketFD(), -1);
    EXPECT_EQ(receiverThreads(), 0);
    EXPECT_EQ(service.lastDMXValues(), padded({}));

    receive.fatalError = 0;
    log.clear();
    service.startListening();
    EXPECT_FALSE(log.contains("sACNService: Already listening"));
    ASSERT_TRUE(listensNow(service));
    EXPECT_FALSE(service.error());
    sender.send(test::sacnDataPacket(1, {12}), port);
    EXPECT_TRUE(waitUntil([&] { return service.lastDMXValues() == padded({12}); }));
}
