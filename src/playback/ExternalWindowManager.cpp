#include "playback/ExternalWindowManager.h"

#include "platform/MainThread.h"

#include "playback/AudioAnalyzer.h"
#include "playback/ExternalVideoContentView.h"
#include "playback/FullscreenWindow.h"
#include "playback/OutputDecision.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>

namespace orvelo {

// The key hook: sees every event of the application, acts only on Escape pressed in the
// output window, and lets everything else pass. It holds the manager weakly.
class ExternalWindowManager::EscapeMonitor : public QObject {
public:
    EscapeMonitor(ExternalWindowManager* manager, QWindow* window) : manager_(manager), window_(window) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress || watched != window_ || !window_)
            return false;
        if (static_cast<QKeyEvent*>(event)->key() != Qt::Key_Escape)
            return false;
        if (manager_)
            manager_->closeWindow();
        return true;
    }

private:
    QPointer<ExternalWindowManager> manager_;
    QPointer<QWindow> window_;
};

ExternalWindowManager::ExternalWindowManager(PatternState& patterns, AudioAnalyzer& analyzer, QObject* parent)
    : QObject(parent), patterns_(patterns), analyzer_(analyzer)
{
}

ExternalWindowManager::~ExternalWindowManager()
{
    closeWindow();
}

void ExternalWindowManager::setSelectedScreenIndex(int index)
{
    assertMainThread();
    selectedScreenIndex_ = index;
    emit selectedScreenIndexChanged(index);
}

void ExternalWindowManager::openFullscreenWindow(MediaPlayer* player, bool hasVideoTrack)
{
    assertMainThread();
    closeWindow();
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (selectedScreenIndex_ < 0 || selectedScreenIndex_ >= screens.size())
        return;
    QScreen* screen = screens.at(selectedScreenIndex_);

    auto content = std::make_unique<ExternalVideoContentView>(player, hasVideoTrack, patterns_, analyzer_);
    auto* window = new FullscreenWindow(std::move(content), screen);
    connect(window, &FullscreenWindow::doubleClicked, this, &ExternalWindowManager::closeWindow);
    // Full screen rather than a window of the display's size: a window manager then lets it
    // cover panels and docks too.
    window->showFullScreen();
    window->setGeometry(screen->geometry());
    window->raise();
    window->requestActivate();

    monitor_ = new EscapeMonitor(this, window);
    QCoreApplication::instance()->installEventFilter(monitor_);
    window_ = window;
    emit externalWindowChanged();
}

void ExternalWindowManager::closeWindow()
{
    assertMainThread();
    if (monitor_) {
        QCoreApplication::instance()->removeEventFilter(monitor_);
        // It may be the one reporting Escape right now.
        monitor_->deleteLater();
        monitor_ = nullptr;
    }
    if (!window_)
        return;
    FullscreenWindow* window = window_;
    window_ = nullptr;
    window->removeContent();
    window->hide();
    window->close();
    // Possibly called from the window's own double-click handler.
    window->deleteLater();
    emit externalWindowChanged();
}

QStringList ExternalWindowManager::screenNames()
{
    QStringList names;
    const int count = static_cast<int>(QGuiApplication::screens().size());
    for (int i = 0; i < count; ++i)
        names << screenName(i, count);
    return names;
}

} // namespace orvelo
