#include "ui/TimecodeViewModel.h"

#include "core/LtcSender.h"
#include "core/TimecodeFollower.h"
#include "settings/TimecodeSettings.h"

namespace orvelo {

namespace {

constexpr int refreshIntervalMs = 250;

} // namespace

TimecodeViewModel::TimecodeViewModel(TimecodeSettings& settings, TimecodeFollower& follower, LtcSender& sender,
                                     QObject* parent)
    : QObject(parent), settings_(settings), follower_(follower), sender_(sender)
{
    refresh_.setInterval(refreshIntervalMs);
    connect(&refresh_, &QTimer::timeout, this, &TimecodeViewModel::statusChanged);
    connect(&settings_, &TimecodeSettings::changed, this, [this] {
        followTimer();
        emit changed();
        emit statusChanged();
    });
    connect(&follower_, &TimecodeFollower::statusChanged, this, &TimecodeViewModel::statusChanged);
    connect(&sender_, &LtcSender::statusChanged, this, &TimecodeViewModel::statusChanged);
    followTimer();
}

void TimecodeViewModel::followTimer()
{
    if (follower_.following())
        refresh_.start();
    else
        refresh_.stop();
}

QStringList TimecodeViewModel::sourceNames() const
{
    return {QStringLiteral("Console (DMX)"), QStringLiteral("Follow Art-Net timecode"), QStringLiteral("Follow LTC")};
}

int TimecodeViewModel::sourceIndex() const
{
    return static_cast<int>(settings_.source());
}

void TimecodeViewModel::setSourceIndex(int index)
{
    for (const auto source :
         {TimecodeSettings::Source::console, TimecodeSettings::Source::artNet, TimecodeSettings::Source::ltc})
        if (static_cast<int>(source) == index)
            settings_.setSource(source);
}

QString TimecodeViewModel::offset() const
{
    return settings_.offset().text();
}

bool TimecodeViewModel::setOffset(const QString& text)
{
    const auto offset = TimecodeSettings::parseOffset(text.trimmed());
    if (!offset) {
        emit changed(); // the field shows the offset in force again
        return false;
    }
    settings_.setOffset(*offset);
    return true;
}

bool TimecodeViewModel::followSelectedTrack() const
{
    return settings_.followSelectedTrack();
}

void TimecodeViewModel::setFollowSelectedTrack(bool follow)
{
    settings_.setFollowSelectedTrack(follow);
}

int TimecodeViewModel::freewheelFrames() const
{
    return settings_.freewheelFrames();
}

void TimecodeViewModel::setFreewheelFrames(int frames)
{
    settings_.setFreewheelFrames(frames);
}

int TimecodeViewModel::maximumFreewheelFrames() const
{
    return TimecodeSettings::maximumFreewheelFrames;
}

QString TimecodeViewModel::ltcInDevice() const
{
    return settings_.ltcInDevice();
}

void TimecodeViewModel::setLtcInDevice(const QString& device)
{
    settings_.setLtcInDevice(device.trimmed());
}

int TimecodeViewModel::ltcInChannel() const
{
    return settings_.ltcInChannel();
}

void TimecodeViewModel::setLtcInChannel(int channel)
{
    settings_.setLtcInChannel(channel);
}

bool TimecodeViewModel::ltcOutEnabled() const
{
    return settings_.ltcOutEnabled();
}

void TimecodeViewModel::setLtcOutEnabled(bool enabled)
{
    settings_.setLtcOutEnabled(enabled);
}

QString TimecodeViewModel::ltcOutDevice() const
{
    return settings_.ltcOutDevice();
}

void TimecodeViewModel::setLtcOutDevice(const QString& device)
{
    settings_.setLtcOutDevice(device.trimmed());
}

int TimecodeViewModel::ltcOutChannel() const
{
    return settings_.ltcOutChannel();
}

void TimecodeViewModel::setLtcOutChannel(int channel)
{
    settings_.setLtcOutChannel(channel);
}

int TimecodeViewModel::maximumLtcChannel() const
{
    return TimecodeSettings::maximumLtcChannel;
}

QString TimecodeViewModel::ltcOutStatus() const
{
    if (!settings_.ltcOutEnabled())
        return QStringLiteral("LTC output off");
    if (!sender_.problem().isEmpty())
        return QStringLiteral("LTC cannot be sent: %1").arg(sender_.problem());
    return sender_.sending() ? QStringLiteral("Sending LTC") : QStringLiteral("Opening the LTC output");
}

QString TimecodeViewModel::status() const
{
    if (!follower_.following())
        return QStringLiteral("The console drives the transport");
    if (!follower_.ltcProblem().isEmpty())
        return QStringLiteral("LTC cannot be read: %1").arg(follower_.ltcProblem());
    const QString incoming = follower_.incomingText();
    if (incoming.isEmpty())
        return settings_.source() == TimecodeSettings::Source::ltc ? QStringLiteral("Waiting for LTC")
                                                                   : QStringLiteral("Waiting for Art-Net timecode");
    return QStringLiteral("%1 · %2 · error %3 frames")
        .arg(follower_.lockText(), incoming)
        .arg(follower_.errorFrames(), 0, 'f', 1);
}

} // namespace orvelo
