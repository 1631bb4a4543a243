#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

namespace orvelo {

class TimecodeFollower;
class TimecodeSettings;

// The window's timecode section: where the transport takes its orders from, the offset, the
// selected-track option, the freewheel frames, and a line saying how the chase stands
// (refreshed four times a second while it follows). Main thread only.
class TimecodeViewModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(QStringList sourceNames READ sourceNames CONSTANT)
    Q_PROPERTY(int sourceIndex READ sourceIndex WRITE setSourceIndex NOTIFY changed)
    Q_PROPERTY(QString offset READ offset NOTIFY changed)
    Q_PROPERTY(bool followSelectedTrack READ followSelectedTrack WRITE setFollowSelectedTrack NOTIFY changed)
    Q_PROPERTY(int freewheelFrames READ freewheelFrames WRITE setFreewheelFrames NOTIFY changed)
    Q_PROPERTY(int maximumFreewheelFrames READ maximumFreewheelFrames CONSTANT)
    Q_PROPERTY(QString status READ status NOTIFY statusChanged)
public:
    TimecodeViewModel(TimecodeSettings& settings, TimecodeFollower& follower, QObject* parent = nullptr);

    QStringList sourceNames() const;
    int sourceIndex() const;
    void setSourceIndex(int index);
    QString offset() const;
    // False, changing nothing, when the text is no hh:mm:ss:ff.
    Q_INVOKABLE bool setOffset(const QString& text);
    bool followSelectedTrack() const;
    void setFollowSelectedTrack(bool follow);
    int freewheelFrames() const;
    void setFreewheelFrames(int frames);
    int maximumFreewheelFrames() const;
    QString status() const;

signals:
    void changed();
    void statusChanged();

private:
    void followTimer();

    TimecodeSettings& settings_;
    TimecodeFollower& follower_;
    QTimer refresh_;
};

} // namespace orvelo
