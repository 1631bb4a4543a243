#pragma once

#include "playback/FullscreenWindow.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

namespace orvelo {

class AudioAnalyzer;
class MediaPlayer;
class PatternState;

// Puts the output picture full-screen on the display the operator chose, one window at a
// time. Escape pressed in that window (through a key hook that sees every key press of the
// application and swallows only this one) or a double click in it closes it. The chosen
// display is an index into the system's current list of displays, 0 at start and never
// stored; choosing another display does not move an open window. Main thread.
class ExternalWindowManager : public QObject {
    Q_OBJECT
    Q_PROPERTY(
        int selectedScreenIndex READ selectedScreenIndex WRITE setSelectedScreenIndex NOTIFY selectedScreenIndexChanged)

public:
    // The window's pattern follows `patterns`, its audio patterns `analyzer`.
    ExternalWindowManager(PatternState& patterns, AudioAnalyzer& analyzer, QObject* parent = nullptr);
    ~ExternalWindowManager() override;

    int selectedScreenIndex() const { return selectedScreenIndex_; }
    void setSelectedScreenIndex(int index);

    // The open output window, or null.
    FullscreenWindow* externalWindow() const { return window_; }
    bool hasEscapeMonitor() const { return monitor_ != nullptr; }

    // Closes any open window first. Then, if the selected index names a display, opens a
    // window covering it, showing `player` (video when `hasVideoTrack`, else the pattern; "No
    // Signal" without a player), brings it to the front with the keyboard, and hooks Escape.
    void openFullscreenWindow(MediaPlayer* player, bool hasVideoTrack);
    // Unhooks Escape and takes the window (if any) off the screen.
    void closeWindow();

    // One picker entry per display: "Main Display", "Display 2", ...
    static QStringList screenNames();

signals:
    void selectedScreenIndexChanged(int index);
    void externalWindowChanged();

private:
    class EscapeMonitor;

    PatternState& patterns_;
    AudioAnalyzer& analyzer_;
    int selectedScreenIndex_ = 0;
    QPointer<FullscreenWindow> window_;
    EscapeMonitor* monitor_ = nullptr;
};

} // namespace orvelo
