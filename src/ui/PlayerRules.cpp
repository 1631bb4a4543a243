#include "ui/PlayerRules.h"

#include <cmath>

namespace orvelo::ui {

namespace {

int whole(double value)
{
    return static_cast<int>(std::trunc(value));
}

} // namespace

QString timecodeText(double t, double fps)
{
    // Positions come from the media framework; a glitch there must not print garbage.
    if (!std::isfinite(t) || t < 0.0 || t > 1e9)
        t = 0.0;
    return QString::asprintf("%02d:%02d:%02d:%02d", whole(t / 3600.0), whole(std::fmod(t, 3600.0) / 60.0),
                             whole(std::fmod(t, 60.0)), whole((t - std::floor(t)) * fps));
}

QString remainingText(double seconds)
{
    if (!std::isfinite(seconds) || seconds < 0.0 || seconds > 1e9)
        seconds = 0.0;
    const int total = whole(seconds);
    const int hours = total / 3600;
    if (hours > 0)
        return QString::asprintf("-%d:%02d:%02d", hours, (total % 3600) / 60, total % 60);
    return QString::asprintf("-%02d:%02d", total / 60, total % 60);
}

QString loopBadge(int repeatCount)
{
    if (repeatCount == 1)
        return QStringLiteral("[1x]");
    if (repeatCount == 0)
        return QStringLiteral("[Loop: ∞]");
    return QStringLiteral("[Loop: %1]").arg(repeatCount);
}

NextLine nextLine(const QList<MediaTrack>& playlist, const std::optional<QUuid>& currentTrackId, int currentRepeatCount,
                  bool loopPlaylist)
{
    qsizetype index = -1;
    if (currentTrackId) {
        for (qsizetype i = 0; i < playlist.size(); ++i) {
            if (playlist[i].id == *currentTrackId) {
                index = i;
                break;
            }
        }
    }
    if (index < 0)
        return {QStringLiteral("Unknown"), QStringLiteral("questionmark")};
    if (currentRepeatCount == 0)
        return {playlist[index].name, QStringLiteral("repeat")};
    if (index + 1 < playlist.size())
        return {playlist[index + 1].name, QStringLiteral("forward")};
    if (loopPlaylist)
        return {playlist.first().name + QStringLiteral(" (loop)"), QStringLiteral("forward")};
    return {QStringLiteral("End of Playlist"), QStringLiteral("stop")};
}

bool signalIsLit(const QDateTime& lastPacketTime, const QDateTime& now)
{
    if (!lastPacketTime.isValid())
        return false;
    const qint64 age = lastPacketTime.msecsTo(now);
    return age < 1000;
}

ModeButton loopAllButton(bool ignoreDMX)
{
    if (!ignoreDMX)
        return {false, QStringLiteral("Disable DMX to enable Playlist Loop")};
    return {true, QStringLiteral("Loop Playlist (Wrap around to start)")};
}

ModeButton autoPlayButton(bool ignoreDMX)
{
    if (!ignoreDMX)
        return {false, QStringLiteral("Disable DMX to enable auto-play")};
    return {true, QStringLiteral("Auto-play next track")};
}

QString dmxInputHelp(bool ignoreDMX)
{
    return ignoreDMX ? QStringLiteral("DMX Input Disabled (Manual Mode)") : QStringLiteral("DMX Input Enabled");
}

} // namespace orvelo::ui
