#include "core/OrveloApp.h"
#include "platform/QuitOnSignals.h"
#include "ui/OperatorWindow.h"

#include <QGuiApplication>

#include <cstdlib>
#include <memory>

namespace {

// A show machine in a rack has no display: the player then runs without a window, and the
// web remote is its face.
bool hasDisplay()
{
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

} // namespace

int main(int argc, char** argv)
{
    const bool headless = !hasDisplay();
    if (headless && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCoreApplication::setOrganizationName("Orvelo");
    QCoreApplication::setApplicationName("Orvelo");
    QCoreApplication::setApplicationVersion(QStringLiteral(ORVELO_VERSION));
    orvelo::QuitOnSignals quitOnSignals;

    orvelo::OrveloApp orvelo;
    std::unique_ptr<orvelo::OperatorWindow> window;
    if (headless) {
        // Without a window there is no first appearance to start the listeners.
        orvelo.startListeners();
    } else {
        window = std::make_unique<orvelo::OperatorWindow>(orvelo);
        // A window that cannot be built leaves the player running as it would headless.
        if (!window->show())
            orvelo.startListeners();
    }
    return QGuiApplication::exec();
}
