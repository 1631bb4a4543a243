#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace orvelo {

enum class PixelFormat {
    BGRA, // one plane, 4 bytes per pixel, B G R A in memory order
    I420, // three planes Y, U, V; chroma halved in both directions
};

// One decoded or composed picture. Frames are immutable once published and shared by
// pointer, so the compositor, the output views and the taps can hold the same frame.
struct VideoFrame {
    int width = 0;
    int height = 0;
    PixelFormat format = PixelFormat::BGRA;
    std::array<int, 3> strides{};           // bytes per row, per plane
    std::array<std::size_t, 3> offsets{};   // start of each plane in `data`
    double pts = 0.0;                       // presentation time in seconds
    std::vector<std::uint8_t> data;

    int planeCount() const { return format == PixelFormat::BGRA ? 1 : 3; }
    std::uint8_t* plane(int i) { return data.data() + offsets[static_cast<std::size_t>(i)]; }
    const std::uint8_t* plane(int i) const { return data.data() + offsets[static_cast<std::size_t>(i)]; }

    // A frame with tightly packed planes and uninitialised pixels.
    static std::shared_ptr<VideoFrame> allocate(int width, int height, PixelFormat format)
    {
        auto f = std::make_shared<VideoFrame>();
        f->width = width;
        f->height = height;
        f->format = format;
        if (format == PixelFormat::BGRA) {
            f->strides = {width * 4, 0, 0};
            f->data.resize(static_cast<std::size_t>(width) * 4 * static_cast<std::size_t>(height));
        } else {
            const int cw = (width + 1) / 2;
            const int ch = (height + 1) / 2;
            const std::size_t y = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
            const std::size_t c = static_cast<std::size_t>(cw) * static_cast<std::size_t>(ch);
            f->strides = {width, cw, cw};
            f->offsets = {0, y, y + c};
            f->data.resize(y + 2 * c);
        }
        return f;
    }
};

using VideoFramePtr = std::shared_ptr<const VideoFrame>;

} // namespace orvelo
