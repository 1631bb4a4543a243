// The output-window tests need a real window system: this starts a private two-screen Xvfb (on a
// display number it picks), runs the tests on Qt's xcb platform and stops it; without Xvfb they skip.

#include "XvfbDisplay.h"
#include "support/TestEnvironment.h"

#include <QGuiApplication>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>

#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

pid_t xvfbPid = -1;

// Starts Xvfb and returns its display number, or -1 when it cannot run here.
int startXvfb()
{
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    xvfbPid = fork();
    if (xvfbPid < 0)
        return -1;
    if (xvfbPid == 0) {
        close(fds[0]);
        const std::string fd = std::to_string(fds[1]);
        // A test process that dies midway takes its display with it.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "800x600x24", "-screen", "1", "854x480x24",
               "-nolisten", "tcp", "-noreset", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (std::chrono::steady_clock::now() < deadline && number.find('\n') == std::string::npos) {
        if (poll(&p, 1, 200) <= 0)
            continue;
        char buffer[16];
        const ssize_t n = read(fds[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        number.append(buffer, static_cast<std::size_t>(n));
    }
    close(fds[0]);
    if (number.find('\n') == std::string::npos) {
        kill(xvfbPid, SIGTERM);
        waitpid(xvfbPid, nullptr, 0);
        xvfbPid = -1;
        return -1;
    }
    return std::atoi(number.c_str());
}

void stopXvfb()
{
    if (xvfbPid <= 0)
        return;
    kill(xvfbPid, SIGTERM);
    waitpid(xvfbPid, nullptr, 0);
    xvfbPid = -1;
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (::testing::GTEST_FLAG(list_tests))
        return RUN_ALL_TESTS();

    const std::string run = orvelo::test::makeRunFolder(ORVELO_TEST_HOME);
    orvelo::test::setUpTestEnvironment(run, ORVELO_BUILD_DIR);
    // The xcb platform would look for a desktop session bus; the tests have none to use.
    setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
    setenv("QT_ACCESSIBILITY", "0", 1);
    const int display = startXvfb();
    if (display >= 0) {
        setenv("DISPLAY", (":" + std::to_string(display)).c_str(), 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        orvelo::test::XvfbDisplay::number = display;
    } else {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    int result = 0;
    {
        QGuiApplication app(argc, argv);
        QCoreApplication::setOrganizationName("Orvelo");
        QCoreApplication::setApplicationName("Orvelo");
        result = RUN_ALL_TESTS();
    }
    stopXvfb();
    orvelo::test::removeRunFolder(run);
    return result;
}
