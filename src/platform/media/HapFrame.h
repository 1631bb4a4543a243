#pragma once

#include "platform/media/DxtDecoder.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace orvelo {

// Block-compressed texture kinds a HAP frame can carry; the values are the low nibble of a
// texture section's type byte.
enum class HapTextureFormat : std::uint8_t {
    bc4Alpha = 0x1,        // the alpha image of HAP Q Alpha
    dxt1 = 0xB,            // HAP
    dxt5 = 0xE,            // HAP Alpha
    scaledYCoCgDxt5 = 0xF, // HAP Q
};

// How the colour image's blocks are decoded (a BC4 alpha image is never a colour image: the
// unpacker refuses one there).
DxtFormat dxtFormatOf(HapTextureFormat format);

// Textures larger than this are refused before anything is allocated: no GPU takes them and
// a size read from a corrupt header must not make us reserve gigabytes.
inline constexpr std::uint32_t hapMaxDimension = 16384;

// Bytes the texture of a width x height frame takes: whole 4x4 blocks of 8 or 16 bytes.
std::size_t hapTextureSize(HapTextureFormat format, std::uint32_t width, std::uint32_t height);

struct HapTexture {
    HapTextureFormat format = HapTextureFormat::dxt1;
    // Exactly hapTextureSize() bytes; points into the frame (uncompressed sections) or into
    // the unpacker's own buffer, so it is valid until the next unpack() or the frame's end.
    std::span<const std::uint8_t> blocks;
};

struct HapTextures {
    HapTexture colour;
    std::optional<HapTexture> alpha; // HAP Q Alpha only
};

struct HapUnpackResult {
    std::optional<HapTextures> textures;
    std::string error; // why, when there are no textures

    explicit operator bool() const { return textures.has_value(); }
};

// Undoes a HAP frame's second-stage compression (none, snappy, or chunks of either), leaving
// the GPU textures it carries. Every length in the frame is checked against the bytes there
// and against what a frame of the given size needs, so a corrupt frame is an error, never a
// read or write outside its buffers. Keeps its buffers between frames: one per stream.
class HapUnpacker {
public:
    // `threads` > 1 lets a chunked frame's chunks be decompressed side by side.
    explicit HapUnpacker(unsigned threads = 1) : threads_(threads < 1 ? 1 : threads) {}

    HapUnpackResult unpack(std::span<const std::uint8_t> frame, std::uint32_t width, std::uint32_t height);

private:
    std::optional<std::string> unpackTexture(std::uint8_t type, std::span<const std::uint8_t> data, std::uint32_t width,
                                             std::uint32_t height, std::vector<std::uint8_t>& buffer, HapTexture& out);
    std::optional<std::string> unpackChunks(std::span<const std::uint8_t> data, std::span<std::uint8_t> out);

    unsigned threads_;
    std::vector<std::uint8_t> colour_;
    std::vector<std::uint8_t> alpha_;
};

} // namespace orvelo
