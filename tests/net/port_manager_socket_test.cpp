// Protects port clearing: a process bound to the port is killed before the node binds, while a
// process that only sends to the port, and the player itself, survive.
#include "net/ArtNetService.h"
#include "net/PortManager.h"

#include "support/TestSupport.h"
#include "support/UdpTestSupport.h"

#include <csignal>
#include <sys/wait.h>

using namespace orvelo;
using namespace orvelo::test;

namespace {

// A child process whose UDP socket binds the port, or is connected to it and sends (a console on
// this machine: lsof lists the port as its remote end); it waits, once set up, to be killed.
struct Child {
    Child(std::uint16_t port, bool bind)
    {
        int ready[2];
        if (::pipe(ready) != 0)
            return;
        if ((pid = ::fork()) == 0) {
            const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
            const sockaddr_in to = ipv4(port, htonl(bind ? INADDR_ANY : INADDR_LOOPBACK));
            const auto* address = reinterpret_cast<const sockaddr*>(&to);
            if (bind ? ::bind(fd, address, sizeof to) == 0
                     : ::connect(fd, address, sizeof to) == 0 && ::send(fd, "Art-Net", 7, 0) == 7)
                if (::write(ready[1], "r", 1) == 1)
                    ::pause();
            ::_exit(1);
        }
        char byte = 0;
        ::close(ready[1]);
        if (pid > 0 && ::read(ready[0], &byte, 1) != 1)
            endedBy();
        ::close(ready[0]);
    }
    ~Child()
    {
        if (alive() && ::kill(pid, SIGKILL) == 0)
            ::waitpid(pid, nullptr, 0);
    }
    bool alive() const { return pid > 0; }
    // The signal that ended the child, once it has ended; it is reaped then.
    std::optional<int> endedBy()
    {
        int status = 0;
        if (!alive() || ::waitpid(pid, &status, WNOHANG) != pid)
            return std::nullopt;
        pid = -pid;
        return WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    }

    pid_t pid = -1;
};

class PortManagerTest : public ::testing::Test {
protected:
    void SetUp() override { ORVELO_REQUIRE_ISOLATED_NETWORK(); }
    std::uint16_t port = freeUdpPort();
    LogCapture log;
};

} // namespace

TEST_F(PortManagerTest, TheNodeKillsTheProcessBoundToItsPortAndSparesOneThatSendsToIt)
{
    Child holder(port, true);
    Child console(port, false);
    ASSERT_TRUE(holder.alive() && console.alive());
    const std::string pid = std::to_string(holder.pid);
    ArtNetService::Options options;
    options.listenPort = port;
    options.destinationPort = freeUdpPort();
    options.destinationAddress = "127.0.0.1";
    ArtNetService service(options);
    service.startListening();
    ASSERT_TRUE(waitUntil([&] { return service.isListening(); }));
    EXPECT_FALSE(service.error());
    std::optional<int> signal;
    ASSERT_TRUE(waitUntil([&] { return (signal = holder.endedBy()).has_value(); }));
    EXPECT_EQ(signal, SIGKILL);
    EXPECT_FALSE(console.endedBy());

    EXPECT_TRUE(log.contains("PortManager: Successfully killed process " + pid));
}

TEST_F(PortManagerTest, AFreePortIsReportedFreeAndThePlayerItselfIsSkipped)
{
    Child console(port, false);
    ASSERT_TRUE(console.alive());
    const std::string p = std::to_string(port);
    EXPECT_FALSE(PortManager::clearPort(port));
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"PortManager: Checking if port " + p + " is in use...",
                                                     "PortManager: Port " + p + " is free"}));

    UdpPeer own(port, true);
    ASSERT_TRUE(own.bound());
    EXPECT_FALSE(PortManager::clearPort(port));
    const std::string self = std::to_string(::getpid());
    EXPECT_TRUE(log.contains("PortManager: Found 1 process(es) using port " + p + ": " + self));
    EXPECT_TRUE(log.contains("PortManager: Skipping current process (PID " + self + ")"));
    EXPECT_TRUE(log.contains("PortManager: Successfully cleared port " + p));
    EXPECT_FALSE(console.endedBy());
}
