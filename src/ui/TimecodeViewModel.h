#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

namespace orvelo {

class LtcSender;
class TimecodeFollower;
class TimecodeSettings;

// The window's timecode section: where the transport takes its orders from, the offset, the
// selected-track option, the freewheel frames, the LTC input and output, and lines saying how
// the chase stands (refreshed four times a second while it follows) and how LTC goes out. Main
// thread only.
class TimecodeViewModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(QStringList sourceNames READ sourceNames CONSTANT)
    Q_PROPERTY(int sourceIndex READ sourceIndex WRITE setSourceIndex NOTIFY changed)
    Q_PROPERTY(QString offset READ offset NOTIFY changed)
    Q_PROPERTY(bool followSelectedTrack READ followSelectedTrack WRITE setFollowSelectedTrack NOTIFY changed)
    Q_PROPERTY(int freewheelFrames READ freewheelFrames WRITE setFreewheelFrames NOTIFY changed)
    Q_PROPERTY(int maximumFreewheelFrames READ maximumFreewheelFrames CONSTANT)
    Q_PROPERTY(QString ltcInDevice READ ltcInDevice WRITE setLtcInDevice NOTIFY changed)
    Q_PROPERTY(int ltcInChannel READ ltcInChannel WRITE setLtcInChannel NOTIFY changed)
    Q_PROPERTY(bool ltcOutEnabled READ ltcOutEnabled WRITE setLtcOutEnabled NOTIFY changed)
    Q_PROPERTY(QString ltcOutDevice READ ltcOutDevice WRITE setLtcOutDevice NOTIFY changed)
    Q_PROPERTY(int ltcOutChannel READ ltcOutChannel WRITE setLtcOutChannel NOTIFY changed)
    Q_PROPERTY(int maximumLtcChannel READ maximumLtcChannel CONSTANT)
    Q_PROPERTY(QString status READ status NOTIFY statusChanged)
    Q_PROPERTY(QString ltcOutStatus READ ltcOutStatus NOTIFY statusChanged)
public:
    TimecodeViewModel(TimecodeSettings& settings, TimecodeFollower& follower, LtcSender& sender,
                      QObject* parent = nullptr);

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
    QString ltcInDevice() const;
    void setLtcInDevice(const QString& device);
    int ltcInChannel() const;
    void setLtcInChannel(int channel);
    bool ltcOutEnabled() const;
    void setLtcOutEnabled(bool enabled);
    QString ltcOutDevice() const;
    void setLtcOutDevice(const QString& device);
    int ltcOutChannel() const;
    void setLtcOutChannel(int channel);
    int maximumLtcChannel() const;
    QString status() const;
    QString ltcOutStatus() const;

signals:
    void changed();
    void statusChanged();

private:
    void followTimer();

    TimecodeSettings& settings_;
    TimecodeFollower& follower_;
    LtcSender& sender_;
    QTimer refresh_;
};

} // namespace orvelo
