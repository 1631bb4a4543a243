#pragma once

#include <QObject>
#include <QStringList>

namespace orvelo {

class AudioAnalyzer;
class ExternalWindowManager;
class PlaybackEngine;
class SettingsManager;
class VideoEffectsManager;
class VideoOutputView;

// The output panel's controls over the output logic: the display picker, the output window,
// the pattern picker and the effects panel's visibility; the panel also binds the settings'
// pattern fields and the effects store directly. Main thread.
class OutputViewModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(QStringList screenNames READ screenNames NOTIFY screensChanged)
    Q_PROPERTY(int selectedScreen READ selectedScreen WRITE setSelectedScreen NOTIFY screensChanged)
    Q_PROPERTY(bool externalOpen READ externalOpen NOTIFY externalChanged)
    Q_PROPERTY(QStringList patternNames READ patternNames CONSTANT)
    Q_PROPERTY(int selectedPattern READ selectedPattern WRITE setSelectedPattern NOTIFY patternChanged)
    Q_PROPERTY(bool showEffects READ showEffects WRITE setShowEffects NOTIFY showEffectsChanged)
public:
    OutputViewModel(VideoOutputView& logic, PlaybackEngine& engine, SettingsManager& settings,
                    VideoEffectsManager& effects, AudioAnalyzer& analyzer, ExternalWindowManager& windows,
                    QObject* parent = nullptr);

    QStringList screenNames() const;
    int selectedScreen() const;
    void setSelectedScreen(int index);
    bool externalOpen() const;
    QStringList patternNames() const;
    int selectedPattern() const;
    void setSelectedPattern(int index);
    bool showEffects() const;
    void setShowEffects(bool show);

    Q_INVOKABLE void appear();
    Q_INVOKABLE void disappear();
    Q_INVOKABLE void openFullscreen();
    Q_INVOKABLE void closeExternal();
    Q_INVOKABLE void resetEffects();

    VideoOutputView& logic() const { return logic_; }
    PlaybackEngine& engine() const { return engine_; }
    SettingsManager& settings() const { return settings_; }
    VideoEffectsManager& effects() const { return effects_; }
    AudioAnalyzer& analyzer() const { return analyzer_; }

signals:
    void screensChanged();
    void externalChanged();
    void patternChanged();
    void showEffectsChanged();

private:
    VideoOutputView& logic_;
    PlaybackEngine& engine_;
    SettingsManager& settings_;
    VideoEffectsManager& effects_;
    AudioAnalyzer& analyzer_;
    ExternalWindowManager& windows_;
};

} // namespace orvelo
