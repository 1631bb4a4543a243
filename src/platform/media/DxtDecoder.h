#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace orvelo {

enum class DxtFormat : std::uint8_t {
    dxt1,            // opaque RGB: HAP never uses DXT1's punch-through alpha
    dxt5,            // RGBA
    scaledYCoCgDxt5, // HAP Q: Co, Cg and a scale in the colour block, Y in the alpha block
};

// BGRA is what the player's compositor takes as it is; RGBA is for everything else (and for
// comparing with tools that write RGBA).
enum class PixelOrder : std::uint8_t { rgba, bgra };

// Where decoded pixels go: 4 bytes a pixel, rows `stride` bytes apart.
struct PixelTarget {
    std::uint8_t* pixels = nullptr;
    std::size_t stride = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    PixelOrder order = PixelOrder::bgra;
};

// Rows of 4x4 blocks in a texture for `height` pixel rows.
inline std::uint32_t dxtBlockRows(std::uint32_t height)
{
    return (height + 3) / 4;
}

// Bytes a texture of this format takes for the target's size.
std::size_t dxtTextureSize(DxtFormat format, std::uint32_t width, std::uint32_t height);

// Decodes block rows [firstBlockRow, endBlockRow) of `blocks` into the target, so a frame can
// be split over threads by rows. `alpha`, when not empty, is a BC4 texture of the same size
// whose values replace the alpha channel (HAP Q Alpha). Blocks past the target's right and
// bottom edges are decoded but not written. Returns false, writing nothing, when a texture is
// smaller than the target's size needs or the target is unusable.
bool decodeDxt(DxtFormat format, std::span<const std::uint8_t> blocks, std::span<const std::uint8_t> alpha,
               const PixelTarget& target, std::uint32_t firstBlockRow, std::uint32_t endBlockRow);

} // namespace orvelo
