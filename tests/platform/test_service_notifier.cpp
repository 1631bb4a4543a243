// Protects what a service manager hears from the player: ready once, then a sign of life at
// half its watchdog period for as long as the main loop turns, and none while it is blocked.
#include "platform/ServiceNotifier.h"

#include "support/TestSupport.h"

#include <QDir>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

using namespace orvelo;
using namespace orvelo::test;
using namespace std::chrono_literals;

namespace {

// A stand-in for the service manager's notification socket.
struct NotifySocket {
    int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK, 0);
    std::string path = QDir::tempPath().toStdString() + "/orvelo-notify-" + std::to_string(::getpid());

    NotifySocket()
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        ::unlink(path.c_str());
        path.copy(address.sun_path, sizeof address.sun_path - 1);
        ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
        qputenv("NOTIFY_SOCKET", QByteArray::fromStdString(path));
        qputenv("WATCHDOG_USEC", "100000");
        qputenv("WATCHDOG_PID", QByteArray::number(::getpid()));
    }
    ~NotifySocket()
    {
        qunsetenv("NOTIFY_SOCKET");
        qunsetenv("WATCHDOG_USEC");
        qunsetenv("WATCHDOG_PID");
        ::close(fd);
        ::unlink(path.c_str());
    }
    std::vector<std::string> heard()
    {
        std::vector<std::string> messages;
        char buffer[256];
        for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
            messages.emplace_back(buffer, static_cast<std::size_t>(n));
        return messages;
    }
};

long count(const std::vector<std::string>& messages, const std::string& text)
{
    return std::count(messages.begin(), messages.end(), text);
}

} // namespace

TEST(ServiceNotifier, ReadyThenSignsOfLifeOnlyWhileTheMainLoopTurns)
{
    NotifySocket manager;
    ServiceNotifier notifier;
    notifier.ready();
    spinFor(400ms);
    auto heard = manager.heard();
    EXPECT_EQ(count(heard, "READY=1"), 1);
    EXPECT_GE(count(heard, "WATCHDOG=1"), 3) << "every 50 ms for 400 ms";

    std::this_thread::sleep_for(300ms); // a main loop that hangs
    EXPECT_EQ(count(manager.heard(), "WATCHDOG=1"), 0);
    spinFor(200ms);
    EXPECT_GE(count(manager.heard(), "WATCHDOG=1"), 1) << "and again once it turns";
}
