#include "settings/TimecodeSettings.h"

#include "platform/MainThread.h"

#include <QRegularExpression>

#include <cmath>

namespace orvelo {

long long TimecodeSettings::Offset::inFrames(double framesPerSecond) const
{
    const long long wholeSeconds = (hours * 60LL + minutes) * 60 + seconds;
    const auto total =
        static_cast<long long>(std::llround(static_cast<double>(wholeSeconds) * framesPerSecond)) + frames;
    return negative ? -total : total;
}

QString TimecodeSettings::Offset::text() const
{
    return QStringLiteral("%1%2:%3:%4:%5")
        .arg(negative ? QStringLiteral("-") : QString())
        .arg(hours, 2, 10, QLatin1Char('0'))
        .arg(minutes, 2, 10, QLatin1Char('0'))
        .arg(seconds, 2, 10, QLatin1Char('0'))
        .arg(frames, 2, 10, QLatin1Char('0'));
}

std::optional<TimecodeSettings::Source> TimecodeSettings::sourceFromText(const QString& text)
{
    for (const Source source : {Source::console, Source::artNet, Source::ltc})
        if (text == TimecodeSettings::text(source))
            return source;
    return std::nullopt;
}

QString TimecodeSettings::text(Source source)
{
    switch (source) {
    case Source::artNet:
        return QStringLiteral("artnet");
    case Source::ltc:
        return QStringLiteral("ltc");
    case Source::console:
        break;
    }
    return QStringLiteral("console");
}

std::optional<TimecodeSettings::Offset> TimecodeSettings::parseOffset(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral("^([+-]?)(\\d{2}):(\\d{2}):(\\d{2}):(\\d{2})$"));
    const auto match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const Offset offset{match.captured(1) == QStringLiteral("-"), match.captured(2).toInt(), match.captured(3).toInt(),
                        match.captured(4).toInt(), match.captured(5).toInt()};
    if (offset.hours > 23 || offset.minutes > 59 || offset.seconds > 59 || offset.frames > 29)
        return std::nullopt;
    return offset;
}

TimecodeSettings& TimecodeSettings::shared()
{
    static TimecodeSettings instance;
    return instance;
}

TimecodeSettings::TimecodeSettings(QObject* parent) : QObject(parent)
{
    if (const auto text = store_.text(sourceKey))
        source_ = sourceFromText(*text).value_or(Source::console);
    if (const auto text = store_.text(offsetKey))
        offset_ = parseOffset(*text).value_or(Offset{});
    followSelectedTrack_ = store_.boolean(followSelectedTrackKey).value_or(false);
    freewheelFrames_ = store_.wholeNumber(freewheelFramesKey, 0, maximumFreewheelFrames).value_or(freewheelFrames_);
    ltcInDevice_ = store_.text(ltcInDeviceKey).value_or(QString());
    ltcInChannel_ = store_.wholeNumber(ltcInChannelKey, 1, maximumLtcChannel).value_or(ltcInChannel_);
    ltcOutEnabled_ = store_.boolean(ltcOutEnabledKey).value_or(false);
    ltcOutDevice_ = store_.text(ltcOutDeviceKey).value_or(QString());
    ltcOutChannel_ = store_.wholeNumber(ltcOutChannelKey, 1, maximumLtcChannel).value_or(ltcOutChannel_);
}

void TimecodeSettings::setLtcInDevice(const QString& device)
{
    setText(ltcInDevice_, ltcInDeviceKey, device);
}

void TimecodeSettings::setLtcOutEnabled(bool enabled)
{
    setFlag(ltcOutEnabled_, ltcOutEnabledKey, enabled);
}

void TimecodeSettings::setLtcOutDevice(const QString& device)
{
    setText(ltcOutDevice_, ltcOutDeviceKey, device);
}

bool TimecodeSettings::setLtcOutChannel(int channel)
{
    return setWholeNumber(ltcOutChannel_, ltcOutChannelKey, channel, 1, maximumLtcChannel);
}

bool TimecodeSettings::setLtcInChannel(int channel)
{
    return setWholeNumber(ltcInChannel_, ltcInChannelKey, channel, 1, maximumLtcChannel);
}

void TimecodeSettings::setSource(Source source)
{
    assertMainThread();
    if (source == source_)
        return;
    source_ = source;
    store_.setText(sourceKey, text(source));
    emit changed();
}

void TimecodeSettings::setOffset(const Offset& offset)
{
    assertMainThread();
    if (offset == offset_)
        return;
    offset_ = offset;
    store_.setText(offsetKey, offset.text());
    emit changed();
}

void TimecodeSettings::setFollowSelectedTrack(bool follow)
{
    setFlag(followSelectedTrack_, followSelectedTrackKey, follow);
}

bool TimecodeSettings::setFreewheelFrames(int frames)
{
    return setWholeNumber(freewheelFrames_, freewheelFramesKey, frames, 0, maximumFreewheelFrames);
}

bool TimecodeSettings::setWholeNumber(int& field, const QString& key, int value, int low, int high)
{
    assertMainThread();
    if (value < low || value > high)
        return false;
    if (value != field) {
        field = value;
        store_.setText(key, QString::number(value));
        emit changed();
    }
    return true;
}

void TimecodeSettings::setText(QString& field, const QString& key, const QString& value)
{
    assertMainThread();
    if (value == field)
        return;
    field = value;
    store_.setText(key, value);
    emit changed();
}

void TimecodeSettings::setFlag(bool& field, const QString& key, bool value)
{
    assertMainThread();
    if (value == field)
        return;
    field = value;
    store_.setBool(key, value);
    emit changed();
}

} // namespace orvelo
