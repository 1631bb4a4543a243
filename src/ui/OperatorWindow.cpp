#include "ui/OperatorWindow.h"

#include "platform/MainThread.h"

#include "core/DMXController.h"
#include "platform/Log.h"
#include "playback/AudioAnalyzer.h"
#include "playback/ExternalWindowManager.h"
#include "playback/PlaybackEngine.h"
#include "playback/VideoEffectsManager.h"
#include "playback/VideoOutputView.h"
#include "settings/SettingsManager.h"
#include "settings/SyncSettings.h"
#include "settings/TimecodeSettings.h"
#include "settings/WebRemoteSettings.h"
#include "ui/AppServices.h"
#include "ui/CITPViewModel.h"
#include "ui/DMXReferenceModel.h"
#include "ui/OutputPreviewItem.h"
#include "ui/OutputViewModel.h"
#include "ui/PlayerViewModel.h"
#include "ui/PlaylistModel.h"
#include "ui/QrImageProvider.h"
#include "ui/SettingsViewModel.h"
#include "ui/SyncViewModel.h"
#include "ui/ThemePalette.h"
#include "ui/TimecodeViewModel.h"
#include "ui/WebAccessViewModel.h"

#include <QCoreApplication>
#include <QFontDatabase>
#include <QQmlApplicationEngine>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQuickStyle>
#include <QQuickWindow>

namespace orvelo {

namespace {

// Qt's own file dialogs are QML that needs the folder-list module; opening one whose
// implementation failed to load crashes inside Qt, so without it the buttons that open them
// are disabled instead.
bool fileDialogsLoad(QQmlEngine& engine)
{
    QQmlComponent probe(&engine);
    probe.setData("import Qt.labs.folderlistmodel\nimport QtQml\nQtObject {}", QUrl());
    if (!probe.isError())
        return true;
    logLine("OperatorWindow: File dialogs unavailable: " + probe.errorString().simplified().toStdString());
    return false;
}

} // namespace

OperatorWindow::OperatorWindow(AppServices app, QObject* parent) : QObject(parent), app_(std::move(app))
{
    auto& settings = SettingsManager::shared();
    auto& analyzer = AudioAnalyzer::shared();
    windows_ = std::make_unique<ExternalWindowManager>(settings.patterns(), analyzer);
    outputLogic_ = std::make_unique<VideoOutputView>(app_.playbackEngine, settings.backgroundVideo(),
                                                     settings.patterns(), analyzer, *windows_);
    theme_ = std::make_unique<ThemePalette>(app_.themeManager);
    player_ = std::make_unique<PlayerViewModel>(app_, *outputLogic_);
    playlist_ = std::make_unique<PlaylistModel>(app_.controller, app_.playbackEngine);
    settings_ = std::make_unique<SettingsViewModel>(app_);
    webAccess_ =
        std::make_unique<WebAccessViewModel>(WebRemoteSettings::shared(), settings_->accessibleURLs().value(0));
    dmxReference_ = std::make_unique<DMXReferenceModel>(app_.controller);
    output_ = std::make_unique<OutputViewModel>(*outputLogic_, app_.playbackEngine, settings,
                                                VideoEffectsManager::shared(), analyzer, *windows_);
    citp_ = std::make_unique<CITPViewModel>(app_.citpService);
    timecode_ = std::make_unique<TimecodeViewModel>(TimecodeSettings::shared(), app_.timecodeFollower, app_.ltcSender);
    sync_ = std::make_unique<SyncViewModel>(SyncSettings::shared(), app_.syncGroup);
}

OperatorWindow::~OperatorWindow()
{
    // The views go before the models they bind to.
    engine_.reset();
}

bool OperatorWindow::show()
{
    assertMainThread();
    // The window draws every control itself in the theme's colours; a style that follows the
    // desktop would fight them.
    QQuickStyle::setStyle(QStringLiteral("Basic"));
    qmlRegisterType<OutputPreviewItem>("Orvelo", 1, 0, "OutputPreview");
    qmlRegisterUncreatableType<OutputViewModel>("Orvelo", 1, 0, "OutputViewModel", QStringLiteral("from C++"));

    engine_ = std::make_unique<QQmlApplicationEngine>();
    engine_->addImageProvider(QStringLiteral("qr"), new QrImageProvider);
    QQmlContext* context = engine_->rootContext();
    // The seven-segment face registered at start-up, when it shipped with the program.
    const bool hasTimecodeFont = QFontDatabase::families().contains(QStringLiteral("DSEG7 Classic"));
    context->setContextProperty(QStringLiteral("timecodeFontFamily"),
                                hasTimecodeFont ? QStringLiteral("DSEG7 Classic") : QStringLiteral("monospace"));
    context->setContextProperty(QStringLiteral("appVersion"), QCoreApplication::applicationVersion());
    context->setContextProperty(QStringLiteral("fileDialogsAvailable"), fileDialogsLoad(*engine_));
    context->setContextProperty(QStringLiteral("theme"), theme_.get());
    context->setContextProperty(QStringLiteral("player"), player_.get());
    context->setContextProperty(QStringLiteral("playlistModel"), playlist_.get());
    context->setContextProperty(QStringLiteral("settingsModel"), settings_.get());
    context->setContextProperty(QStringLiteral("timecodeModel"), timecode_.get());
    context->setContextProperty(QStringLiteral("syncModel"), sync_.get());
    context->setContextProperty(QStringLiteral("webAccessModel"), webAccess_.get());
    context->setContextProperty(QStringLiteral("dmxReference"), dmxReference_.get());
    context->setContextProperty(QStringLiteral("outputModel"), output_.get());
    context->setContextProperty(QStringLiteral("citp"), citp_.get());
    context->setContextProperty(QStringLiteral("patternSettings"), &SettingsManager::shared());
    context->setContextProperty(QStringLiteral("effects"), &VideoEffectsManager::shared());

    engine_->load(QUrl(QStringLiteral("qrc:/orvelo/qml/Main.qml")));
    QQuickWindow* shown = window();
    if (!shown) {
        logLine("OperatorWindow: Failed to load the main view");
        return false;
    }
    connect(shown, &QWindow::visibleChanged, this, [this](bool visible) {
        if (!visible || listenersStarted_)
            return;
        listenersStarted_ = true;
        app_.startListeners();
        emit firstShown();
    });
    shown->show();
    return true;
}

QQuickWindow* OperatorWindow::window() const
{
    if (!engine_ || engine_->rootObjects().isEmpty())
        return nullptr;
    return qobject_cast<QQuickWindow*>(engine_->rootObjects().first());
}

} // namespace orvelo
