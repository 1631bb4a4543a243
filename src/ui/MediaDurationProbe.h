#pragma once

#include <QString>

#include <optional>

namespace orvelo {

// The length of a media file in seconds, read from its headers without playing it. Blocks for
// up to a few seconds: call it off the main thread. Nothing when the file has no known length.
std::optional<double> probeMediaDuration(const QString& path);

} // namespace orvelo
