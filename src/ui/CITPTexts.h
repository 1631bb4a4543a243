#pragma once

#include <QString>

#include <cstdint>
#include <string>
#include <vector>

namespace orvelo::ui {

// The CITP views' readings of peers and logged packets.

// The symbol of a peer by its announced type, compared in lower case.
QString peerSymbol(const std::string& type);

// "PINF/PLoc", "MSEX/GELI" ...: the packet's content type and, when present, its message
// code; "Unknown" for bytes that are no CITP packet.
QString packetTypeText(const std::vector<std::uint8_t>& data);

// The markers for packets that carry or ask for a fixture patch; empty for others.
QString patchMarker(const std::vector<std::uint8_t>& data);

} // namespace orvelo::ui
