#pragma once

#include "core/DMXConfig.h"

#include <QString>
#include <QVector>

#include <optional>

namespace orvelo {

// The channel layout a console programmer needs for the current configuration, built from the
// controller's own decoding (core/DMXDecoding) by walking every value, so the reference can
// never disagree with what the player does.
struct DMXReferenceRow {
    int low = 0;  // lowest value of the band
    int high = 0; // highest value of the band
    QString range;
    QString action;
    QString description;
    QString color; // a colour name the view understands: "red", "orange", "green", "blue", "gray"
};

struct DMXEffectRow {
    int channel = 0;         // absolute channel
    int relativeChannel = 0; // 3-18
    QString parameter;
    QString mapped; // "10-255: " and the mapped range
    QString reset;  // "5-9: " and the reset value
    // Every value of the channel in bands: no change, reset (to `reset`'s value), mapped.
    QVector<DMXReferenceRow> bands;
};

struct DMXReference {
    int controlChannel = 0;
    std::optional<int> loopChannel;
    int firstEffectChannel = 0; // 0 without effect channels
    int lastChannel = 0;        // last channel of the footprint
    // The controller only reads channels a 512-slot frame carries: a loop channel past 512 is
    // never read, and the effect channels only act when all sixteen fit.
    bool loopChannelReceived = false;
    bool effectChannelsReceived = false;
    QVector<DMXReferenceRow> controlRows;
    QVector<DMXReferenceRow> trackRows; // one per track band (24)
    QVector<DMXReferenceRow> loopRows;  // empty in the standard mode
    QVector<DMXEffectRow> effectRows;   // empty unless extended
};

DMXReference makeDMXReference(const DMXConfig& config);

// The control channel band by band, with the track band shown track by track.
QVector<DMXReferenceRow> controlRowsByTrack(const DMXReference& reference);

} // namespace orvelo
