#pragma once

#include "platform/media/MediaItem.h"
#include "support/MediaFiles.h"

#include <memory>
#include <string>

namespace orvelo::test {

// Loads a file and runs the event loop until it is ready or failed (or 10 s pass).
std::shared_ptr<MediaItem> loadAndWait(const std::string& path, PixelFormat format = PixelFormat::BGRA);

} // namespace orvelo::test
