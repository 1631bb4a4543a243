#pragma once

#include "platform/SettingsStore.h"

#include <QObject>
#include <QString>

#include <optional>

namespace orvelo {

// Where the transport takes its orders from: the console's DMX (as always), or incoming
// timecode that the player chases; with the offset added to incoming timecode, the option that
// the selected track follows (the hour ignored), and how many frames the player runs on when
// timecode stops. Every value is written to the store the moment it changes. One process-wide
// instance, `shared()`; main thread only.
class TimecodeSettings : public QObject {
    Q_OBJECT
public:
    enum class Source { console, artNet, ltc };

    // A signed hh:mm:ss:ff; frames up to 29, so that it reads the same at every rate.
    struct Offset {
        bool negative = false;
        int hours = 0;
        int minutes = 0;
        int seconds = 0;
        int frames = 0;
        long long inFrames(double framesPerSecond) const;
        QString text() const;
        bool operator==(const Offset&) const = default;
    };

    static inline const QString sourceKey = QStringLiteral("timecodeSource");
    static inline const QString offsetKey = QStringLiteral("timecodeOffset");
    static inline const QString followSelectedTrackKey = QStringLiteral("timecodeFollowSelectedTrack");
    static inline const QString freewheelFramesKey = QStringLiteral("timecodeFreewheelFrames");
    static inline const QString ltcInDeviceKey = QStringLiteral("ltcInDevice");
    static inline const QString ltcInChannelKey = QStringLiteral("ltcInChannel");
    static inline const QString ltcOutEnabledKey = QStringLiteral("ltcOutEnabled");
    static inline const QString ltcOutDeviceKey = QStringLiteral("ltcOutDevice");
    static inline const QString ltcOutChannelKey = QStringLiteral("ltcOutChannel");
    static constexpr int maximumLtcChannel = 64;
    static constexpr int defaultFreewheelFrames = 10;
    static constexpr int maximumFreewheelFrames = 250;

    static std::optional<Source> sourceFromText(const QString& text);
    static QString text(Source source);
    // "[+|-]hh:mm:ss:ff" with hours below 24, minutes and seconds below 60, frames below 30.
    static std::optional<Offset> parseOffset(const QString& text);

    static TimecodeSettings& shared();
    // Reads the store; a stored value that does not parse reads as its default.
    explicit TimecodeSettings(QObject* parent = nullptr);

    Source source() const { return source_; }
    void setSource(Source source);
    const Offset& offset() const { return offset_; }
    void setOffset(const Offset& offset);
    bool followSelectedTrack() const { return followSelectedTrack_; }
    void setFollowSelectedTrack(bool follow);
    int freewheelFrames() const { return freewheelFrames_; }
    // Refused (false) outside 0 to maximumFreewheelFrames.
    bool setFreewheelFrames(int frames);
    // Where LTC comes in: an ALSA device by name, empty for the system's default input, and
    // which of its channels (1 the first) carries the timecode.
    const QString& ltcInDevice() const { return ltcInDevice_; }
    void setLtcInDevice(const QString& device);
    int ltcInChannel() const { return ltcInChannel_; }
    // Refused (false) outside 1 to maximumLtcChannel.
    bool setLtcInChannel(int channel);
    // Whether the player's timecode also goes out as LTC (off unless chosen), to which ALSA
    // device (empty: the system's default output) and on which of its channels (1 the first).
    bool ltcOutEnabled() const { return ltcOutEnabled_; }
    void setLtcOutEnabled(bool enabled);
    const QString& ltcOutDevice() const { return ltcOutDevice_; }
    void setLtcOutDevice(const QString& device);
    int ltcOutChannel() const { return ltcOutChannel_; }
    // Refused (false) outside 1 to maximumLtcChannel.
    bool setLtcOutChannel(int channel);

signals:
    void changed();

private:
    // Refuses a value outside [low, high]; stores and tells a changed one.
    bool setWholeNumber(int& field, const QString& key, int value, int low, int high);
    // Stores and tells a changed value.
    void setText(QString& field, const QString& key, const QString& value);
    void setFlag(bool& field, const QString& key, bool value);

    SettingsStore store_;
    Source source_ = Source::console;
    Offset offset_;
    bool followSelectedTrack_ = false;
    int freewheelFrames_ = defaultFreewheelFrames;
    QString ltcInDevice_;
    int ltcInChannel_ = 1;
    bool ltcOutEnabled_ = false;
    QString ltcOutDevice_;
    int ltcOutChannel_ = 1;
};

} // namespace orvelo
