#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

namespace orvelo {

struct AppServices;
class VideoOutputView;

// The player panel's view of the services: what plays, the timecode, the signal lamps, the
// loop badge, the "Next:" line and the mode buttons, each computed by the rules in
// PlayerRules; the buttons act on the engine and the controller. Main thread.
class PlayerViewModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool hasTrack READ hasTrack NOTIFY stateChanged)
    Q_PROPERTY(QString title READ title NOTIFY stateChanged)
    Q_PROPERTY(bool audioOnly READ audioOnly NOTIFY stateChanged)
    Q_PROPERTY(bool isPlaying READ isPlaying NOTIFY stateChanged)
    Q_PROPERTY(QString stateText READ stateText NOTIFY stateChanged)
    Q_PROPERTY(QString timecode READ timecode NOTIFY timeChanged)
    Q_PROPERTY(QString remaining READ remaining NOTIFY timeChanged)
    Q_PROPERTY(QString loopBadge READ loopBadge NOTIFY stateChanged)
    Q_PROPERTY(QString nextText READ nextText NOTIFY stateChanged)
    Q_PROPERTY(QString nextSymbol READ nextSymbol NOTIFY stateChanged)
    Q_PROPERTY(bool artNetLit READ artNetLit NOTIFY lampsChanged)
    Q_PROPERTY(bool sACNLit READ sACNLit NOTIFY lampsChanged)
    Q_PROPERTY(bool citpLit READ citpLit NOTIFY lampsChanged)
    Q_PROPERTY(bool blinkPhase READ blinkPhase NOTIFY lampsChanged)
    Q_PROPERTY(QString inputNote READ inputNote NOTIFY inputNoteChanged)
    Q_PROPERTY(int controlChannel READ controlChannel NOTIFY stateChanged)
    Q_PROPERTY(int controlValue READ controlValue NOTIFY stateChanged)
    Q_PROPERTY(bool loopTrack READ loopTrack NOTIFY stateChanged)
    Q_PROPERTY(bool loopAll READ loopAll NOTIFY stateChanged)
    Q_PROPERTY(bool loopAllEnabled READ loopAllEnabled NOTIFY stateChanged)
    Q_PROPERTY(QString loopAllHelp READ loopAllHelp NOTIFY stateChanged)
    Q_PROPERTY(bool autoPlay READ autoPlay NOTIFY stateChanged)
    Q_PROPERTY(bool autoPlayEnabled READ autoPlayEnabled NOTIFY stateChanged)
    Q_PROPERTY(QString autoPlayHelp READ autoPlayHelp NOTIFY stateChanged)
    Q_PROPERTY(bool manualMode READ manualMode NOTIFY stateChanged)
    Q_PROPERTY(QString dmxHelp READ dmxHelp NOTIFY stateChanged)
    Q_PROPERTY(bool muted READ muted NOTIFY stateChanged)
    Q_PROPERTY(bool showBackgroundVideo READ showBackgroundVideo NOTIFY stateChanged)
public:
    // The lamps and the blink alternate at this period.
    static constexpr int blinkMs = 250;

    PlayerViewModel(const AppServices& app, VideoOutputView& output, QObject* parent = nullptr);

    bool hasTrack() const;
    QString title() const;
    bool audioOnly() const;
    bool isPlaying() const;
    // "PLAYING", "PAUSED", "STOPPED", "LOADING", or "FAILED: " and the reason.
    QString stateText() const;
    QString timecode() const;
    QString remaining() const;
    QString loopBadge() const;
    QString nextText() const;
    QString nextSymbol() const;
    bool artNetLit() const;
    bool sACNLit() const;
    bool citpLit() const;
    bool blinkPhase() const { return blinkPhase_; }
    // What the DMX input hears but does not take, such as another universe; empty if nothing.
    QString inputNote() const;
    int controlChannel() const;
    int controlValue() const;
    bool loopTrack() const;
    bool loopAll() const;
    bool loopAllEnabled() const;
    QString loopAllHelp() const;
    bool autoPlay() const;
    bool autoPlayEnabled() const;
    QString autoPlayHelp() const;
    bool manualMode() const;
    QString dmxHelp() const;
    bool muted() const;
    bool showBackgroundVideo() const;

    Q_INVOKABLE void playPause();
    Q_INVOKABLE void stop();
    Q_INVOKABLE void toggleLoopTrack();
    Q_INVOKABLE void toggleLoopAll();
    Q_INVOKABLE void toggleAutoPlay();
    Q_INVOKABLE void toggleDMX();
    Q_INVOKABLE void toggleMute();
    Q_INVOKABLE void toggleBackgroundVideo();

signals:
    void stateChanged();
    void timeChanged();
    void lampsChanged();
    void inputNoteChanged();

private:
    int currentRepeatCount() const;
    int currentIndex() const;

    const AppServices& app_;
    VideoOutputView& output_;
    QTimer blinkTimer_;
    bool blinkPhase_ = false;
};

} // namespace orvelo
