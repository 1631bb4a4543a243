#pragma once

#include <QObject>
#include <QStringList>

#include "ui/AppServices.h"

#include <memory>

class QQmlApplicationEngine;
class QQuickWindow;

namespace orvelo {

class CITPViewModel;
class DMXReferenceModel;
class ExternalWindowManager;
class OutputViewModel;
class PlayerViewModel;
class PlaylistModel;
class SettingsViewModel;
class WebAccessViewModel;
class ThemePalette;
class SyncViewModel;
class TimecodeViewModel;
class VideoOutputView;

// The operator's window: the QML views over the application's services, through one view
// model per view. Its first appearance starts the network listeners. Main thread; needs a
// QGuiApplication.
class OperatorWindow : public QObject {
    Q_OBJECT
public:
    explicit OperatorWindow(AppServices app, QObject* parent = nullptr);
    ~OperatorWindow() override;

    // Loads the views and shows the window. Returns false (with the reasons logged) when the
    // views could not be loaded.
    bool show();
    QQuickWindow* window() const;
    QQmlApplicationEngine& engine() const { return *engine_; }

signals:
    void firstShown();

private:
    AppServices app_;
    std::unique_ptr<ExternalWindowManager> windows_;
    std::unique_ptr<VideoOutputView> outputLogic_;
    std::unique_ptr<ThemePalette> theme_;
    std::unique_ptr<PlayerViewModel> player_;
    std::unique_ptr<PlaylistModel> playlist_;
    std::unique_ptr<SettingsViewModel> settings_;
    std::unique_ptr<WebAccessViewModel> webAccess_;
    std::unique_ptr<DMXReferenceModel> dmxReference_;
    std::unique_ptr<OutputViewModel> output_;
    std::unique_ptr<CITPViewModel> citp_;
    std::unique_ptr<TimecodeViewModel> timecode_;
    std::unique_ptr<SyncViewModel> sync_;
    std::unique_ptr<QQmlApplicationEngine> engine_;
    bool listenersStarted_ = false;
};

} // namespace orvelo
