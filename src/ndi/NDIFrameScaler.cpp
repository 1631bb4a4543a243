#include "ndi/NDIFrameScaler.h"

#include "platform/media/VideoFramePool.h"

#include <new>

namespace orvelo {

QSize NDIFrameScaler::scaledSize(QSize source, int divisor)
{
    if (divisor < 1)
        return {};
    return {source.width() / divisor / 2 * 2, source.height() / divisor / 2 * 2};
}

VideoFramePtr NDIFrameScaler::scale(const VideoFrame& source, int divisor)
{
    if (divisor < 2 || source.format != PixelFormat::bgra || !source.hasValidLayout())
        return nullptr;
    const QSize size = scaledSize(QSize(source.width, source.height), divisor);
    if (size.isEmpty())
        return nullptr;
    std::shared_ptr<VideoFrame> out;
    try {
        out = VideoFramePool::shared().acquire(size.width(), size.height(), PixelFormat::bgra);
        sums_.assign(static_cast<std::size_t>(size.width()) * 4, 0);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    const std::uint32_t area = static_cast<std::uint32_t>(divisor * divisor);
    for (int y = 0; y < size.height(); ++y) {
        std::fill(sums_.begin(), sums_.end(), 0u);
        for (int dy = 0; dy < divisor; ++dy) {
            const std::uint8_t* row =
                source.plane(0) + static_cast<std::ptrdiff_t>(y * divisor + dy) * source.strides[0];
            for (int x = 0; x < size.width(); ++x) {
                std::uint32_t* sum = sums_.data() + 4 * x;
                const std::uint8_t* block = row + 4 * x * divisor;
                for (int dx = 0; dx < divisor; ++dx) {
                    sum[0] += block[4 * dx];
                    sum[1] += block[4 * dx + 1];
                    sum[2] += block[4 * dx + 2];
                    sum[3] += block[4 * dx + 3];
                }
            }
        }
        std::uint8_t* dst = out->plane(0) + static_cast<std::ptrdiff_t>(y) * out->strides[0];
        for (std::size_t i = 0; i < sums_.size(); ++i)
            dst[i] = static_cast<std::uint8_t>((sums_[i] + area / 2) / area);
    }
    out->pts = source.pts;
    out->runningTime = source.runningTime;
    return out;
}

} // namespace orvelo
