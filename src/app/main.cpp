#include "app/CommandLine.h"
#include "app/OrveloApp.h"
#include "platform/AllocatorLimits.h"
#include "platform/QuitOnSignals.h"
#include "platform/ServiceNotifier.h"
#include "platform/Version.h"
#include "settings/WebRemoteSettings.h"
#include "ui/OperatorWindow.h"

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>

#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <variant>

namespace {

// A show machine in a rack has no display: the player then runs without a window, and the
// web remote is its face.
bool hasDisplay()
{
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

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
// secured from a shell before it first starts.
int runSettingCommand(int argc, char** argv, const orvelo::CommandLine& line)
{
    QCoreApplication app(argc, argv);
    setNames();
    orvelo::WebRemoteSettings settings;
    std::optional<QString> refusal;
    switch (line.command) {
    case orvelo::CommandLine::Command::setPassword:
        refusal = settings.setPassword(QString::fromStdString(readPasswordLine()));
        break;
    case orvelo::CommandLine::Command::addLibraryRoot:
        refusal = settings.addLibraryRoot(line.libraryRoot);
        break;
    default:
        settings.removeLibraryRoot(line.libraryRoot);
        break;
    }
    if (refusal) {
        std::fprintf(stderr, "orvelo: %s\n", refusal->toLocal8Bit().constData());
        return 1;
    }
    // The stored settings are read at start: a player running now keeps what it had.
    std::fputs("orvelo: a player that is running now takes this on at its next start\n", stderr);
    return 0;
}

// A bad command line says why, then how it is used, and exits with 2: nothing has started.
int refuse(const QString& reason)
{
    std::fprintf(stderr, "orvelo: %s\n\n%s", reason.toLocal8Bit().constData(),
                 orvelo::CommandLine::usage().toLocal8Bit().constData());
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    orvelo::limitAllocatorArenas();
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const auto parsed = orvelo::CommandLine::parse(arguments);
    if (const auto* reason = std::get_if<QString>(&parsed))
        return refuse(*reason);
    const auto& line = std::get<orvelo::CommandLine>(parsed);
    // Its own store: Qt keeps the settings under the configuration home.
    if (line.configDir)
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(*line.configDir));
    switch (line.command) {
    case orvelo::CommandLine::Command::help:
        std::fputs(orvelo::CommandLine::usage().toLocal8Bit().constData(), stdout);
        return 0;
    case orvelo::CommandLine::Command::version:
        std::printf("orvelo %.*s\n", static_cast<int>(orvelo::versionText.size()), orvelo::versionText.data());
        return 0;
    case orvelo::CommandLine::Command::play:
        break;
    default:
        return runSettingCommand(argc, argv, line);
    }
    if (line.overrides.lightingInterface &&
        !orvelo::OrveloApp::lightingInterfaceNamed(*line.overrides.lightingInterface))
        return refuse(QStringLiteral("--lighting-interface: no network interface named '%1'")
                          .arg(*line.overrides.lightingInterface));

    const bool headless = line.overrides.headless || !hasDisplay();
    if (headless && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    setNames();
    orvelo::QuitOnSignals quitOnSignals;

    orvelo::OrveloApp orvelo(line.overrides);
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
    orvelo::ServiceNotifier serviceNotifier;
    serviceNotifier.ready();
    return QGuiApplication::exec();
}
