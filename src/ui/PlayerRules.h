#pragma once

#include "playback/MediaTrack.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

namespace orvelo::ui {

// The texts and states of the player panel, computed from the services' values so that the
// rules live in one place and the panel only shows them.

// "hh:mm:ss:ff" of a playback position: hours not wrapped, frames from the fractional second.
// A position that is negative or not a number reads as zero.
QString timecodeText(double seconds, double fps);

// The remaining time beside the timecode, as "-mm:ss" (hours added once there are any).
QString remainingText(double seconds);

// "[1x]" for a single play, "[Loop: ∞]" for endless looping, else "[Loop: n]".
QString loopBadge(int repeatCount);

// What plays after the current track, with the symbol the panel draws for it.
struct NextLine {
    QString text;   // without the leading "Next: "
    QString symbol; // "repeat", "forward", "stop" or "questionmark"
    friend bool operator==(const NextLine&, const NextLine&) = default;
};
// `currentRepeatCount` is the controller's answer for the current track (0 = endless).
NextLine nextLine(const QList<MediaTrack>& playlist, const std::optional<QUuid>& currentTrackId, int currentRepeatCount,
                  bool loopPlaylist);

// A signal lamp is lit while its protocol's last packet is less than a second old; never a
// packet means dark.
bool signalIsLit(const QDateTime& lastPacketTime, const QDateTime& now);

// The mode buttons that DMX input locks out, with the help text that says why.
struct ModeButton {
    bool enabled = true;
    QString help;
    friend bool operator==(const ModeButton&, const ModeButton&) = default;
};
ModeButton loopAllButton(bool ignoreDMX);
ModeButton autoPlayButton(bool ignoreDMX);
QString dmxInputHelp(bool ignoreDMX);

} // namespace orvelo::ui
