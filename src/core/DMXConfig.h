#pragma once

#include "core/DMXMode.h"
#include "core/TimecodeFrameRate.h"

#include <QJsonObject>

#include <cstdint>
#include <optional>

namespace orvelo {

// How the player listens to the console: its Art-Net address, where its footprint starts and
// how wide it is, and the timecode rate. The controller keeps it across restarts (as this
// record's JSON). The editors and the web remote check the ranges noted; the value itself does
// not clamp.
struct DMXConfig {
    std::int64_t universe = 0;     // 0-15
    std::int64_t subnet = 0;       // 0-15
    std::int64_t net = 0;          // 0-127
    std::int64_t startChannel = 1; // 1-512, 1-based slot of the first footprint channel
    DMXMode mode = DMXMode::standard;
    TimecodeFrameRate frameRate = TimecodeFrameRate::fps25;

    friend bool operator==(const DMXConfig&, const DMXConfig&) = default;

    // The keyed record: the mode as its label, the frame rate as the number 24, 25 or 30.
    QJsonObject toJson() const;
    // All six keys are required; integers must be whole numbers, the mode an exact label and
    // the rate exactly 24, 25 or 30. Anything else reads as nothing.
    static std::optional<DMXConfig> fromJson(const QJsonObject& record);
};

} // namespace orvelo
