#pragma once

#include "platform/media/MediaItem.h"
#include "support/MediaFiles.h"
#include "support/TestSupport.h"

#include <memory>
#include <string>

namespace orvelo::test {

// Loads a file and runs the event loop until it is ready or failed (or 10 s pass).
inline std::shared_ptr<MediaItem> loadAndWait(const std::string& path, PixelFormat format = PixelFormat::bgra)
{
    auto item = MediaItem::load(QString::fromStdString(path), format);
    waitUntil([&] { return item->status() != MediaItem::Status::loading; }, std::chrono::seconds(10));
    return item;
}

} // namespace orvelo::test
