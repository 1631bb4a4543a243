#include "ui/OutputViewModel.h"

#include "platform/MainThread.h"

#include "playback/ExternalWindowManager.h"
#include "playback/VideoEffectsManager.h"
#include "playback/VideoOutputView.h"
#include "settings/SettingsManager.h"

#include <QGuiApplication>
#include <QScreen>

namespace orvelo {

OutputViewModel::OutputViewModel(VideoOutputView& logic, PlaybackEngine& engine, SettingsManager& settings,
                                 VideoEffectsManager& effects, AudioAnalyzer& analyzer, ExternalWindowManager& windows,
                                 QObject* parent)
    : QObject(parent), logic_(logic), engine_(engine), settings_(settings), effects_(effects), analyzer_(analyzer),
      windows_(windows)
{
    connect(&windows_, &ExternalWindowManager::selectedScreenIndexChanged, this, &OutputViewModel::screensChanged);
    connect(&windows_, &ExternalWindowManager::externalWindowChanged, this, &OutputViewModel::externalChanged);
    connect(&settings_, &SettingsManager::selectedPatternChanged, this, &OutputViewModel::patternChanged);
    connect(&logic_, &VideoOutputView::showEffectsPanelChanged, this, &OutputViewModel::showEffectsChanged);
    if (auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(gui, &QGuiApplication::screenAdded, this, &OutputViewModel::screensChanged);
        connect(gui, &QGuiApplication::screenRemoved, this, &OutputViewModel::screensChanged);
    }
}

QStringList OutputViewModel::screenNames() const
{
    return logic_.screenNames();
}
int OutputViewModel::selectedScreen() const
{
    return windows_.selectedScreenIndex();
}
void OutputViewModel::setSelectedScreen(int index)
{
    logic_.selectScreen(index);
}
bool OutputViewModel::externalOpen() const
{
    return windows_.externalWindow() != nullptr;
}

QStringList OutputViewModel::patternNames() const
{
    QStringList names;
    for (const auto pattern : allAudioVisualPatterns)
        names << QString::fromUtf8(rawValue(pattern).data());
    return names;
}

int OutputViewModel::selectedPattern() const
{
    return static_cast<int>(settings_.selectedPattern());
}
void OutputViewModel::setSelectedPattern(int index)
{
    assertMainThread();
    if (index >= 0 && index < static_cast<int>(allAudioVisualPatterns.size()))
        settings_.setSelectedPattern(allAudioVisualPatterns[static_cast<std::size_t>(index)]);
}

bool OutputViewModel::showEffects() const
{
    return logic_.showEffectsPanel();
}
void OutputViewModel::setShowEffects(bool show)
{
    logic_.setShowEffectsPanel(show);
}

void OutputViewModel::appear()
{
    logic_.appear();
}
void OutputViewModel::disappear()
{
    logic_.disappear();
}
void OutputViewModel::openFullscreen()
{
    logic_.openFullscreen();
}
void OutputViewModel::closeExternal()
{
    logic_.closeExternal();
}
void OutputViewModel::resetEffects()
{
    effects_.resetAll();
}

} // namespace orvelo
