#pragma once

#include <string_view>

namespace orvelo {

// The release, set once by the build from the project's version.
inline constexpr int versionMajor = ORVELO_VERSION_MAJOR;
inline constexpr int versionMinor = ORVELO_VERSION_MINOR;
inline constexpr int versionPatch = ORVELO_VERSION_PATCH;
inline constexpr std::string_view versionText = ORVELO_VERSION_TEXT;

} // namespace orvelo
