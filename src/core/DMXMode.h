#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace orvelo {

// The channel footprint the console drives. The raw value is the label shown in pickers and
// the serial value of the keyed configuration record.
enum class DMXMode { standard, loop, extended };

constexpr std::string_view rawValue(DMXMode mode)
{
    switch (mode) {
    case DMXMode::standard:
        return "Standard (1 Ch)";
    case DMXMode::loop:
        return "Loop (2 Ch)";
    case DMXMode::extended:
        return "Extended (18 Ch)";
    }
    return {};
}

// Channels from the start channel on: control; loop count; sixteen effect channels.
constexpr int channelCount(DMXMode mode)
{
    switch (mode) {
    case DMXMode::standard:
        return 1;
    case DMXMode::loop:
        return 2;
    case DMXMode::extended:
        return 18;
    }
    return 1;
}

// In picker order.
constexpr std::array<DMXMode, 3> allDMXModes{DMXMode::standard, DMXMode::loop, DMXMode::extended};

// Exact, case-sensitive match of the label.
constexpr std::optional<DMXMode> dmxModeFromRawValue(std::string_view raw)
{
    for (const auto mode : allDMXModes)
        if (rawValue(mode) == raw)
            return mode;
    return std::nullopt;
}

} // namespace orvelo
