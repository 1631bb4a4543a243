#include "playback/VideoOutputView.h"

#include "platform/MainThread.h"
#include "platform/media/MediaPlayer.h"
#include "playback/AudioAnalyzer.h"
#include "playback/BackgroundVideo.h"
#include "playback/ExternalWindowManager.h"
#include "playback/PlaybackEngine.h"

namespace orvelo {

VideoOutputView::VideoOutputView(PlaybackEngine& engine, BackgroundVideo& background, PatternState& patterns,
                                 AudioAnalyzer& analyzer, ExternalWindowManager& windows, QObject* parent)
    : QObject(parent), engine_(engine), background_(background), analyzer_(analyzer), windows_(windows),
      rotator_(patterns)
{
    connect(&engine_, &PlaybackEngine::currentTrackChanged, this, &VideoOutputView::trackStarted);
    connect(&engine_, &PlaybackEngine::isPlayingChanged, this, &VideoOutputView::playingChanged);
}

void VideoOutputView::appear()
{
    assertMainThread();
    trackStarted();
    rotator_.start();
}

void VideoOutputView::disappear()
{
    assertMainThread();
    rotator_.stop();
}

void VideoOutputView::setShowEffectsPanel(bool show)
{
    assertMainThread();
    showEffectsPanel_ = show;
    emit showEffectsPanelChanged(show);
}

OutputDecision VideoOutputView::decision() const
{
    // A cue whose track failed (a missing file) shows the idle picture, not the pattern of an
    // audio-only track: nothing plays, and the output must not pretend otherwise.
    const bool playable = engine_.player() != nullptr && engine_.state() != PlaybackState::failed;
    return {playable, hasVideoTrack_ && playable, background_.player() != nullptr && playable};
}

void VideoOutputView::trackStarted()
{
    checkForVideoTrack();
    // Decided with the previous track's answer: the check completes later, and its change
    // (setHasVideoTrack) starts or pauses the background video again if need be.
    if (decision().shouldUseDefaultVideo())
        background_.play();
    const MediaPlayer* player = engine_.player();
    if (player && player->currentItem())
        analyzer_.attach(engine_.audioTapHost());
}

void VideoOutputView::checkForVideoTrack()
{
    const unsigned check = ++check_;
    if (!engine_.currentTrack()) {
        setHasVideoTrack(false);
        return;
    }
    // The engine sets a track once its item is ready (or failed, which counts as no
    // picture); the answer arrives like any asynchronous check, after this event.
    postToMain(this, [this, check] {
        if (check == check_)
            setHasVideoTrack(engine_.currentItemHasVideo());
    });
}

void VideoOutputView::setHasVideoTrack(bool hasVideoTrack)
{
    const bool changed = hasVideoTrack != hasVideoTrack_;
    hasVideoTrack_ = hasVideoTrack;
    emit hasVideoTrackChanged(hasVideoTrack);
    if (!changed)
        return;
    if (!hasVideoTrack && decision().shouldUseDefaultVideo() && engine_.isPlaying())
        background_.play();
    else if (hasVideoTrack)
        pauseDefaultVideo();
}

void VideoOutputView::playingChanged(bool playing)
{
    // Pausing whenever playback stops also covers a failed track, which no longer uses it.
    if (!playing)
        pauseDefaultVideo();
    else if (decision().shouldUseDefaultVideo())
        background_.play();
}

void VideoOutputView::pauseDefaultVideo()
{
    if (MediaPlayer* player = background_.player())
        player->pause();
}

void VideoOutputView::openFullscreen()
{
    assertMainThread();
    const OutputDecision::Fullscreen request = decision().fullscreen();
    MediaPlayer* player = request.useDefaultVideoPlayer ? background_.player() : engine_.player();
    windows_.openFullscreenWindow(player, request.hasVideoTrack);
}

void VideoOutputView::closeExternal()
{
    assertMainThread();
    windows_.closeWindow();
}

QStringList VideoOutputView::screenNames() const
{
    return ExternalWindowManager::screenNames();
}

void VideoOutputView::selectScreen(int index)
{
    assertMainThread();
    windows_.setSelectedScreenIndex(index);
}

} // namespace orvelo
