#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace orvelo {

enum class PixelFormat {
    bgra, // one plane, 4 bytes per pixel, B G R A in memory order
    i420, // three planes Y, U, V; chroma halved in both directions
};

// How an I420 frame's Y'CbCr values map to RGB: the decoder's colour matrix and range.
enum class YuvMatrix {
    bt709, // HD and larger
    bt601, // SD
};

// One decoded or composed picture. Frames are immutable once published and shared by
// pointer, so the compositor, the output views and the taps can hold the same frame.
struct VideoFrame {
    int width = 0;
    int height = 0;
    PixelFormat format = PixelFormat::bgra;
    std::array<int, 3> strides{};         // bytes per row, per plane
    std::array<std::size_t, 3> offsets{}; // start of each plane in `data`
    double pts = 0.0;                     // presentation time in seconds
    double runningTime = 0.0;             // on the playback's own time line: goes on across a loop
    std::vector<std::uint8_t> data;
    YuvMatrix yuvMatrix = YuvMatrix::bt709; // I420 only
    bool yuvFullRange = false;              // I420 only: 0-255 instead of 16-235/16-240

    int planeCount() const { return format == PixelFormat::bgra ? 1 : 3; }
    std::uint8_t* plane(int i) { return data.data() + offsets[static_cast<std::size_t>(i)]; }
    const std::uint8_t* plane(int i) const { return data.data() + offsets[static_cast<std::size_t>(i)]; }

    // True when every plane's rows lie inside `data`: readers check this before touching pixels.
    bool hasValidLayout() const
    {
        if (width <= 0 || height <= 0)
            return false;
        const int chromaWidth = (width + 1) / 2;
        const int chromaHeight = (height + 1) / 2;
        for (int i = 0; i < planeCount(); ++i) {
            const auto index = static_cast<std::size_t>(i);
            if (offsets[index] > data.size())
                return false;
            const int rowBytes = format == PixelFormat::bgra ? width * 4 : (i == 0 ? width : chromaWidth);
            const int rows = format == PixelFormat::bgra || i == 0 ? height : chromaHeight;
            if (strides[index] < rowBytes)
                return false;
            const std::size_t end = offsets[index] +
                                    static_cast<std::size_t>(strides[index]) * static_cast<std::size_t>(rows - 1) +
                                    static_cast<std::size_t>(rowBytes);
            if (end > data.size())
                return false;
        }
        return true;
    }

    // A frame with tightly packed planes and uninitialised pixels.
    static std::shared_ptr<VideoFrame> allocate(int width, int height, PixelFormat format)
    {
        auto f = std::make_shared<VideoFrame>();
        f->width = width;
        f->height = height;
        f->format = format;
        if (format == PixelFormat::bgra) {
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
