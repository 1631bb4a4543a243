#include "MediaFixtures.h"

#include "support/TestSupport.h"

namespace orvelo::test {

std::shared_ptr<MediaItem> loadAndWait(const std::string& path, PixelFormat format)
{
    auto item = MediaItem::load(QString::fromStdString(path), format);
    waitUntil([&] { return item->status() != MediaItem::Status::Loading; }, std::chrono::seconds(10));
    return item;
}

} // namespace orvelo::test
