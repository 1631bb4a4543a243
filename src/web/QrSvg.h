#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orvelo {

// The text as a QR code in SVG, one square path, with a quiet zone of four modules: a viewer
// link a phone's camera can open from the settings page. Nothing when the text does not fit.
std::optional<std::string> qrSvg(std::string_view text);

} // namespace orvelo
