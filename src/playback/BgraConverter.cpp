#include "playback/BgraConverter.h"

#include "playback/PixelBlocks.h"
#include "platform/media/VideoFramePool.h"

#include <cstring>
#include <new>

namespace orvelo {

namespace {

ORVELO_ROW_KERNEL void packRow(const std::uint8_t* __restrict r, const std::uint8_t* __restrict g,
                               const std::uint8_t* __restrict b, std::uint8_t* __restrict out, int width)
{
    pixelblocks::forEachPixel(width, [=](int i) {
        const std::uint32_t px =
            std::uint32_t{b[i]} | std::uint32_t{g[i]} << 8 | std::uint32_t{r[i]} << 16 | 0xFF000000u;
        std::memcpy(out + 4 * i, &px, sizeof px);
    });
}

} // namespace

VideoFramePtr BgraConverter::convert(const VideoFramePtr& frame)
{
    if (!frame || !frame->hasValidLayout())
        return nullptr;
    if (frame->format == PixelFormat::bgra)
        return frame;

    const int width = frame->width;
    std::shared_ptr<VideoFrame> out;
    try {
        for (auto& row : rows_)
            row.resize(static_cast<std::size_t>(width));
        out = VideoFramePool::shared().acquire(width, frame->height, PixelFormat::bgra);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    for (int c = 0; c < 3; ++c)
        readers_[static_cast<std::size_t>(c)].prepare(*frame, static_cast<ColorChannel>(c), 1.0f, 0.0f);

    for (int y = 0; y < frame->height; ++y) {
        for (std::size_t c = 0; c < 3; ++c)
            readers_[c].readRow(y, rows_[c].data());
        std::uint8_t* dst = out->plane(0) + static_cast<std::ptrdiff_t>(y) * out->strides[0];
        packRow(rows_[0].data(), rows_[1].data(), rows_[2].data(), dst, width);
    }
    out->pts = frame->pts;
    out->runningTime = frame->runningTime;
    return out;
}

} // namespace orvelo
