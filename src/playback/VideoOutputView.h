#pragma once

#include "playback/OutputDecision.h"
#include "playback/PatternAutoRotator.h"

#include <QObject>
#include <QStringList>

namespace orvelo {

class AudioAnalyzer;
class BackgroundVideo;
class ExternalWindowManager;
class PatternState;
class PlaybackEngine;

// The logic of the output panel (its layout is the main window's): decides what the output
// picture is (the track's video, the background video, the pattern, or nothing yet), keeps the
// background video and the audio analyser following the tracks, runs the pattern
// auto-rotation while shown, and opens and closes the output window. Main thread.
class VideoOutputView : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool hasVideoTrack READ hasVideoTrack NOTIFY hasVideoTrackChanged)
    Q_PROPERTY(bool showEffectsPanel READ showEffectsPanel WRITE setShowEffectsPanel NOTIFY showEffectsPanelChanged)

public:
    VideoOutputView(PlaybackEngine& engine, BackgroundVideo& background, PatternState& patterns,
                    AudioAnalyzer& analyzer, ExternalWindowManager& windows, QObject* parent = nullptr);

    // The panel appears: the track-start work runs for the current track, and auto-rotation
    // starts afresh. disappear() stops the rotation.
    void appear();
    void disappear();

    // Whether the current track has a picture; false until its check has completed.
    bool hasVideoTrack() const { return hasVideoTrack_; }
    bool showEffectsPanel() const { return showEffectsPanel_; }
    void setShowEffectsPanel(bool show);

    OutputDecision decision() const;

    // "Open Fullscreen": the output window with the background video when it stands in for
    // an audio-only track, else with the engine's player. "Close External".
    void openFullscreen();
    void closeExternal();

    QStringList screenNames() const;
    void selectScreen(int index);

    PatternAutoRotator& autoRotator() { return rotator_; }

signals:
    void hasVideoTrackChanged(bool hasVideoTrack);
    void showEffectsPanelChanged(bool show);

private:
    void trackStarted();
    void checkForVideoTrack();
    void setHasVideoTrack(bool hasVideoTrack);
    void playingChanged(bool playing);
    void pauseDefaultVideo();

    PlaybackEngine& engine_;
    BackgroundVideo& background_;
    AudioAnalyzer& analyzer_;
    ExternalWindowManager& windows_;
    PatternAutoRotator rotator_;
    bool hasVideoTrack_ = false;
    bool showEffectsPanel_ = false;
    unsigned check_ = 0; // the video-track check whose answer counts
};

} // namespace orvelo
