#pragma once

#include "platform/media/VideoFrame.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>

namespace orvelo::test {

struct Rgba {
    int r = 0, g = 0, b = 0, a = 0;
    bool operator==(const Rgba&) const = default;
    friend std::ostream& operator<<(std::ostream& os, const Rgba& p)
    {
        return os << "(" << p.r << ", " << p.g << ", " << p.b << ", " << p.a << ")";
    }
};

// An opaque BGRA frame whose pixel (x, y) (row 0 at the top) has the colour `colour(x, y)`.
inline std::shared_ptr<VideoFrame> bgraFrame(int width, int height, const std::function<Rgba(int, int)>& colour)
{
    auto frame = VideoFrame::allocate(width, height, PixelFormat::bgra);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const Rgba c = colour(x, y);
            std::uint8_t* p = frame->plane(0) + y * frame->strides[0] + 4 * x;
            p[0] = static_cast<std::uint8_t>(c.b), p[1] = static_cast<std::uint8_t>(c.g);
            p[2] = static_cast<std::uint8_t>(c.r), p[3] = 255;
        }
    }
    return frame;
}

inline std::shared_ptr<VideoFrame> solidBgra(int width, int height, Rgba colour)
{
    return bgraFrame(width, height, [colour](int, int) { return colour; });
}

// An I420 frame of one Y'CbCr colour.
inline std::shared_ptr<VideoFrame> solidI420(int width, int height, int y, int u, int v,
                                             YuvMatrix matrix = YuvMatrix::bt709, bool fullRange = false)
{
    auto frame = VideoFrame::allocate(width, height, PixelFormat::i420);
    frame->yuvMatrix = matrix;
    frame->yuvFullRange = fullRange;
    const int values[3] = {y, u, v};
    for (std::size_t plane = 0; plane < 3; ++plane) {
        const int rows = plane == 0 ? height : (height + 1) / 2;
        std::fill_n(frame->plane(static_cast<int>(plane)), rows * frame->strides[plane],
                    static_cast<std::uint8_t>(values[plane]));
    }
    return frame;
}

inline Rgba pixelAt(const VideoFrame& frame, int x, int y)
{
    const std::uint8_t* p = frame.plane(0) + y * frame.strides[0] + 4 * x;
    return {p[2], p[1], p[0], p[3]};
}

} // namespace orvelo::test
