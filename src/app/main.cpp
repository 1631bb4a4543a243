#include "app/OrveloApp.h"
#include "platform/QuitOnSignals.h"
#include "platform/Version.h"
#include "settings/WebRemoteSettings.h"
#include "ui/OperatorWindow.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

namespace {

// A show machine in a rack has no display: the player then runs without a window, and the
// web remote is its face.
bool hasDisplay()
{
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

constexpr const char* usageText = R"(usage: orvelo                     start the player
       orvelo --set-password      read the web remote's new password from standard input
                                  (an empty line removes it) and exit
       orvelo --add-library-root DIR     let the web remote move the media folder inside DIR
       orvelo --remove-library-root DIR
)";

void setNames()
{
    QCoreApplication::setOrganizationName("Orvelo");
    QCoreApplication::setApplicationName("Orvelo");
    QCoreApplication::setApplicationVersion(
        QString::fromLatin1(orvelo::versionText.data(), orvelo::versionText.size()));
}

// One line from standard input, without echo when a person types it.
std::string readPasswordLine()
{
    const bool typed = isatty(STDIN_FILENO);
    termios saved{};
    if (typed) {
        std::fputs("New password for the web remote (an empty line removes it): ", stderr);
        tcgetattr(STDIN_FILENO, &saved);
        termios silent = saved;
        silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(STDIN_FILENO, TCSANOW, &silent);
    }
    std::string line;
    std::getline(std::cin, line);
    if (typed) {
        tcsetattr(STDIN_FILENO, TCSANOW, &saved);
        std::fputs("\n", stderr);
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

// The commands that change a stored setting and exit, so that a player without a screen can be
// secured from a shell before it first starts. Nothing when the arguments start the player.
std::optional<int> runCommand(int argc, char** argv)
{
    if (argc < 2 || std::strncmp(argv[1], "--", 2) != 0)
        return std::nullopt;
    const std::string command = argv[1];
    if (command == "--help") {
        std::fputs(usageText, stdout);
        return 0;
    }
    QCoreApplication app(argc, argv);
    setNames();
    orvelo::WebRemoteSettings settings;
    std::optional<QString> refusal;
    if (command == "--set-password" && argc == 2) {
        const std::string password = readPasswordLine();
        refusal = settings.setPassword(QString::fromStdString(password));
    } else if (command == "--add-library-root" && argc == 3) {
        refusal = settings.addLibraryRoot(QString::fromLocal8Bit(argv[2]));
    } else if (command == "--remove-library-root" && argc == 3) {
        settings.removeLibraryRoot(QString::fromLocal8Bit(argv[2]));
    } else {
        std::fputs(usageText, stderr);
        return 2;
    }
    if (refusal) {
        std::fprintf(stderr, "orvelo: %s\n", refusal->toLocal8Bit().constData());
        return 1;
    }
    // The stored settings are read at start: a player running now keeps what it had.
    std::fputs("orvelo: a player that is running now takes this on at its next start\n", stderr);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (const auto exitCode = runCommand(argc, argv))
        return *exitCode;

    const bool headless = !hasDisplay();
    if (headless && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    setNames();
    orvelo::QuitOnSignals quitOnSignals;

    orvelo::OrveloApp orvelo;
    std::unique_ptr<orvelo::OperatorWindow> window;
    if (headless) {
        // Without a window there is no first appearance to start the listeners.
        orvelo.startListeners();
    } else {
        window = std::make_unique<orvelo::OperatorWindow>(orvelo.services());
        // A window that cannot be built leaves the player running as it would headless.
        if (!window->show())
            orvelo.startListeners();
    }
    return QGuiApplication::exec();
}
