#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace orvelo {

// The network transport that carries DMX. The raw value is the text shown in pickers and
// the serial value in the web API.
enum class DMXProtocolType { artNet, sACN };

constexpr std::string_view rawValue(DMXProtocolType type)
{
    switch (type) {
    case DMXProtocolType::artNet:
        return "Art-Net";
    case DMXProtocolType::sACN:
        return "sACN";
    }
    return {};
}

// In picker order.
constexpr std::array<DMXProtocolType, 2> allDMXProtocolTypes{DMXProtocolType::artNet, DMXProtocolType::sACN};

// Exact, case-sensitive match of the raw value.
constexpr std::optional<DMXProtocolType> dmxProtocolTypeFromRawValue(std::string_view raw)
{
    for (const auto type : allDMXProtocolTypes)
        if (rawValue(type) == raw)
            return type;
    return std::nullopt;
}

} // namespace orvelo
