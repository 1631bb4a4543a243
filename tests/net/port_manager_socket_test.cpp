// Protects port clearing: a process bound to the port is killed before the node binds, while a
// process that only sends to the port, and the player itself, survive.
#include "net/ArtNetService.h"
#include "net/PortManager.h"

#include "ArtNetTestSupport.h"
#include "support/TestSupport.h"

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

using namespace orvelo;
using namespace orvelo::test;

namespace {

// A python3 child whose UDP socket binds the port, or is connected to it and sends (a console on
// this machine: lsof lists the port as its remote end); it says "ready" once its socket is set up.
class Child {
public:
    Child(std::uint16_t port, bool bind)
    {
        const std::string script =
            "import socket, time\ns = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)\n" +
            (bind ? "s.bind(('0.0.0.0', " + std::to_string(port) + "))"
                  : "s.connect(('127.0.0.1', " + std::to_string(port) + "))\ns.send(b'Art-Net')") +
            "\nprint('ready', flush=True)\ntime.sleep(60)\n";
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        const char* argv[] = {"/usr/bin/python3", "-c", script.c_str(), nullptr};
        if (::posix_spawn(&pid_, argv[0], &actions, nullptr, const_cast<char**>(argv), environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        // The pipe stays open while the child lives, so its output never meets a closed end.
        output_ = out[0];
        char buffer[16] = {};
        ready_ = pid_ > 0 && ::read(output_, buffer, sizeof buffer - 1) > 0 && std::string(buffer).starts_with("ready");
    }
    ~Child()
    {
        if (alive()) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        ::close(output_);
    }

    bool ready() const { return ready_; }
    pid_t pid() const { return pid_; }
    // Also reaps the child once it has ended, noting how.
    bool alive()
    {
        int status = 0;
        if (pid_ > 0 && !exited_ && ::waitpid(pid_, &status, WNOHANG) == pid_) {
            exited_ = true;
            killedBySignal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
        }
        return pid_ > 0 && !exited_;
    }
    int killedBySignal = 0;

private:
    pid_t pid_ = -1;
    int output_ = -1;
    bool ready_ = false;
    bool exited_ = false;
};

class PortManagerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ORVELO_REQUIRE_ISOLATED_NETWORK();
        if (::access("/usr/bin/python3", X_OK) != 0)
            GTEST_SKIP() << "python3 is needed to hold the port from another process";
    }
    std::uint16_t port = freeUdpPort();
    LogCapture log;
};

} // namespace

TEST_F(PortManagerTest, TheNodeKillsTheProcessBoundToItsPortAndSparesOneThatSendsToIt)
{
    Child holder(port, true);
    Child console(port, false);
    ASSERT_TRUE(holder.ready());
    ASSERT_TRUE(console.ready());
    ArtNetService::Options options;
    options.listenPort = port;
    options.destinationPort = freeUdpPort();
    options.destinationAddress = "127.0.0.1";
    ArtNetService service(options);
    service.startListening();
    ASSERT_TRUE(waitUntil([&] { return service.isListening(); }));
    EXPECT_FALSE(service.error());
    ASSERT_TRUE(waitUntil([&] { return !holder.alive(); }));
    EXPECT_EQ(holder.killedBySignal, SIGKILL);
    EXPECT_TRUE(console.alive());

    const std::string p = std::to_string(port);
    const std::string pid = std::to_string(holder.pid());
    std::vector<std::string> cleared;
    for (const std::string& line : log.lines())
        if (line.starts_with("PortManager: "))
            cleared.push_back(line);
    EXPECT_EQ(cleared, (std::vector<std::string>{
                           "PortManager: Checking if port " + p + " is in use...",
                           "PortManager: Found 1 process(es) using port " + p + ": " + pid,
                           "PortManager: Current process PID: " + std::to_string(::getpid()),
                           "PortManager: Killing process " + pid + "...",
                           "PortManager: Successfully killed process " + pid,
                           "PortManager: Successfully cleared port " + p,
                       }));
}

TEST_F(PortManagerTest, AFreePortIsReportedFreeAndThePlayerItselfIsSkipped)
{
    Child console(port, false);
    ASSERT_TRUE(console.ready());
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
    EXPECT_TRUE(console.alive());
}
