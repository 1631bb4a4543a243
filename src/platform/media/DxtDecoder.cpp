#include "platform/media/DxtDecoder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace orvelo {

static_assert(std::endian::native == std::endian::little, "blocks and pixels are read and written as LE words");

namespace {

template <typename T> T load(const std::uint8_t* p)
{
    T value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

template <PixelOrder order>
constexpr std::uint32_t pack(std::uint32_t r, std::uint32_t g, std::uint32_t b, std::uint32_t a)
{
    if constexpr (order == PixelOrder::rgba)
        return r | (g << 8) | (b << 16) | (a << 24);
    else
        return b | (g << 8) | (r << 16) | (a << 24);
}

// The four colours of a DXT colour block, handed to `use(index, r, g, b)` one by one as plain
// values. Arrays of channels here made the compiler write them in pieces and read them back
// as vectors, a store-forwarding stall that cost a third of the decode time.
// DXT5's colour block always has four colours; a DXT1 block whose first colour is not the
// greater has three and black.
template <typename Use>
[[gnu::always_inline]] inline void forEachColour(const std::uint8_t* block, bool alwaysFour, Use&& use)
{
    const std::uint32_t c0 = load<std::uint16_t>(block), c1 = load<std::uint16_t>(block + 2);
    const std::uint32_t r0 = ((c0 >> 8) & 0xF8) | (c0 >> 13), g0 = ((c0 >> 3) & 0xFC) | ((c0 >> 9) & 3),
                        b0 = ((c0 << 3) & 0xF8) | ((c0 >> 2) & 7);
    const std::uint32_t r1 = ((c1 >> 8) & 0xF8) | (c1 >> 13), g1 = ((c1 >> 3) & 0xFC) | ((c1 >> 9) & 3),
                        b1 = ((c1 << 3) & 0xF8) | ((c1 >> 2) & 7);
    use(0, r0, g0, b0);
    use(1, r1, g1, b1);
    if (alwaysFour || c0 > c1) {
        use(2, (2 * r0 + r1) / 3, (2 * g0 + g1) / 3, (2 * b0 + b1) / 3);
        use(3, (r0 + 2 * r1) / 3, (g0 + 2 * g1) / 3, (b0 + 2 * b1) / 3);
    } else {
        use(2, (r0 + r1) / 2, (g0 + g1) / 2, (b0 + b1) / 2);
        use(3, 0u, 0u, 0u);
    }
}

// The eight values of a DXT5 alpha / BC4 block and its 48 bits of 3-bit indices.
struct AlphaBlock {
    std::array<std::uint32_t, 8> values;
    std::uint64_t indices;
};

[[gnu::always_inline]] inline AlphaBlock alphaBlock(const std::uint8_t* block)
{
    const std::uint32_t a0 = block[0], a1 = block[1];
    AlphaBlock out;
    out.indices = load<std::uint64_t>(block) >> 16;
    out.values[0] = a0;
    out.values[1] = a1;
    if (a0 > a1) {
        for (std::uint32_t i = 1; i < 7; ++i)
            out.values[i + 1] = ((7 - i) * a0 + i * a1) / 7;
    } else {
        for (std::uint32_t i = 1; i < 5; ++i)
            out.values[i + 1] = ((5 - i) * a0 + i * a1) / 5;
        out.values[6] = 0;
        out.values[7] = 255;
    }
    return out;
}

// 1/scale in 16.16 fixed point for each possible blue value, scale = blue / 8 + 1: the
// division is the costly part of HAP Q and there are only 256 scales.
constexpr std::array<std::int32_t, 256> makeInverseScales()
{
    std::array<std::int32_t, 256> table{};
    for (int b = 0; b < 256; ++b)
        table[b] = (65536 * 8 + (b + 8) / 2) / (b + 8);
    return table;
}
constexpr std::array<std::int32_t, 256> inverseScales = makeInverseScales();

[[maybe_unused]] std::uint32_t clampByte(std::int32_t v)
{
    return static_cast<std::uint32_t>(std::clamp(v, 0, 255));
}

template <PixelOrder order> void dxt1Block(const std::uint8_t* block, const std::uint8_t*, std::uint32_t* out)
{
    std::uint32_t colours[4];
    forEachColour(block, false, [&](int i, std::uint32_t r, std::uint32_t g, std::uint32_t b) {
        colours[i] = pack<order>(r, g, b, 255);
    });
    const std::uint32_t indices = load<std::uint32_t>(block + 4);
    // Unrolled: constant shifts instead of a loop counter; the loop was half the decode time.
#pragma GCC unroll 16
    for (int i = 0; i < 16; ++i)
        out[i] = colours[(indices >> (2 * i)) & 3];
}

template <PixelOrder order> void dxt5Block(const std::uint8_t* block, const std::uint8_t*, std::uint32_t* out)
{
    const AlphaBlock alpha = alphaBlock(block);
    std::uint32_t colours[4];
    forEachColour(block + 8, true, [&](int i, std::uint32_t r, std::uint32_t g, std::uint32_t b) {
        colours[i] = pack<order>(r, g, b, 0);
    });
    const std::uint32_t indices = load<std::uint32_t>(block + 12);
#pragma GCC unroll 16
    for (int i = 0; i < 16; ++i)
        out[i] = colours[(indices >> (2 * i)) & 3] | (alpha.values[(alpha.indices >> (3 * i)) & 7] << 24);
}

// Scaled YCoCg: Co and Cg are stored offset by 128 and multiplied by a per-block scale kept
// in blue; Y is the alpha channel. R = Y + Co - Cg, G = Y + Cg, B = Y - Co - Cg.
template <PixelOrder order, bool withAlpha>
void yCoCgBlock(const std::uint8_t* block, const std::uint8_t* alphaBlockBytes, std::uint32_t* out)
{
    const AlphaBlock luma = alphaBlock(block);
    std::int32_t dr[4], dg[4], db[4];
    forEachColour(block + 8, true, [&](int i, std::uint32_t r, std::uint32_t g, std::uint32_t b) {
        const std::int32_t inverse = inverseScales[b];
        const std::int32_t co = static_cast<std::int32_t>(r) - 128;
        const std::int32_t cg = static_cast<std::int32_t>(g) - 128;
        // Rounding offset folded in once here instead of per pixel.
        dr[i] = (co - cg) * inverse + 0x8000;
        dg[i] = cg * inverse + 0x8000;
        db[i] = (-co - cg) * inverse + 0x8000;
    });
    std::array<std::int32_t, 8> y;
    for (int i = 0; i < 8; ++i)
        y[i] = static_cast<std::int32_t>(luma.values[i]) << 16;
    AlphaBlock alpha{};
    if constexpr (withAlpha)
        alpha = alphaBlock(alphaBlockBytes);
    const std::uint32_t indices = load<std::uint32_t>(block + 12);
#if defined(__SSE2__)
    // A row of four pixels at a time: the saturating packs clamp for free, which halves the
    // time of this format against the per-channel clamps below.
    const __m128i opaque = _mm_set1_epi32(255);
#pragma GCC unroll 4
    for (int row = 0; row < 4; ++row) {
        const int p = row * 4;
        const auto li = [&](int k) { return (luma.indices >> (3 * (p + k))) & 7; };
        const auto ci = [&](int k) { return (indices >> (2 * (p + k))) & 3; };
        const __m128i l = _mm_setr_epi32(y[li(0)], y[li(1)], y[li(2)], y[li(3)]);
        const __m128i r =
            _mm_srai_epi32(_mm_add_epi32(l, _mm_setr_epi32(dr[ci(0)], dr[ci(1)], dr[ci(2)], dr[ci(3)])), 16);
        const __m128i g =
            _mm_srai_epi32(_mm_add_epi32(l, _mm_setr_epi32(dg[ci(0)], dg[ci(1)], dg[ci(2)], dg[ci(3)])), 16);
        const __m128i b =
            _mm_srai_epi32(_mm_add_epi32(l, _mm_setr_epi32(db[ci(0)], db[ci(1)], db[ci(2)], db[ci(3)])), 16);
        __m128i a = opaque;
        if constexpr (withAlpha) {
            const auto ai = [&](int k) { return static_cast<int>(alpha.values[(alpha.indices >> (3 * (p + k))) & 7]); };
            a = _mm_setr_epi32(ai(0), ai(1), ai(2), ai(3));
        }
        // Bytes as first, third, second, fourth channel of pixels 0..3; two interleaves then
        // give the channels of each pixel in order.
        const __m128i first = order == PixelOrder::rgba ? r : b;
        const __m128i third = order == PixelOrder::rgba ? b : r;
        const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(first, third), _mm_packs_epi32(g, a));
        const __m128i pairs = _mm_unpacklo_epi8(bytes, _mm_srli_si128(bytes, 8));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + p), _mm_unpacklo_epi16(pairs, _mm_srli_si128(pairs, 8)));
    }
#else
#pragma GCC unroll 16
    for (int i = 0; i < 16; ++i) {
        const std::int32_t l = y[(luma.indices >> (3 * i)) & 7];
        const std::uint32_t c = (indices >> (2 * i)) & 3;
        std::uint32_t a = 255;
        if constexpr (withAlpha)
            a = alpha.values[(alpha.indices >> (3 * i)) & 7];
        out[i] =
            pack<order>(clampByte((l + dr[c]) >> 16), clampByte((l + dg[c]) >> 16), clampByte((l + db[c]) >> 16), a);
    }
#endif
}

using BlockFunction = void (*)(const std::uint8_t*, const std::uint8_t*, std::uint32_t*);

template <BlockFunction decodeBlock, std::size_t blockBytes>
void decodeRows(const std::uint8_t* blocks, const std::uint8_t* alpha, const PixelTarget& target,
                std::uint32_t firstRow, std::uint32_t endRow)
{
    const std::uint32_t blocksWide = (target.width + 3) / 4;
    const std::uint32_t fullBlocks = target.width / 4;
    for (std::uint32_t by = firstRow; by < endRow; ++by) {
        const std::uint8_t* src = blocks + std::size_t{by} * blocksWide * blockBytes;
        const std::uint8_t* alphaSrc = alpha ? alpha + std::size_t{by} * blocksWide * 8 : nullptr;
        std::uint8_t* rowStart = target.pixels + std::size_t{by} * 4 * target.stride;
        const std::uint32_t rows = std::min<std::uint32_t>(4, target.height - by * 4);
        std::uint32_t px[16];
        for (std::uint32_t bx = 0; bx < blocksWide; ++bx) {
            decodeBlock(src + std::size_t{bx} * blockBytes, alphaSrc ? alphaSrc + std::size_t{bx} * 8 : nullptr, px);
            std::uint8_t* dst = rowStart + std::size_t{bx} * 16;
            if (bx < fullBlocks && rows == 4) {
                // Constant sizes, so these become plain 16-byte stores.
                std::memcpy(dst, px, 16);
                std::memcpy(dst + target.stride, px + 4, 16);
                std::memcpy(dst + 2 * target.stride, px + 8, 16);
                std::memcpy(dst + 3 * target.stride, px + 12, 16);
                continue;
            }
            const std::size_t bytes = bx < fullBlocks ? 16 : (target.width - bx * 4) * 4;
            for (std::uint32_t r = 0; r < rows; ++r)
                std::memcpy(dst + r * target.stride, px + r * 4, bytes);
        }
    }
}

template <PixelOrder order> void decodeOrdered(DxtFormat format, const std::uint8_t* blocks, const std::uint8_t* alpha,
                                               const PixelTarget& target, std::uint32_t firstRow, std::uint32_t endRow)
{
    switch (format) {
    case DxtFormat::dxt1:
        decodeRows<dxt1Block<order>, 8>(blocks, nullptr, target, firstRow, endRow);
        break;
    case DxtFormat::dxt5:
        decodeRows<dxt5Block<order>, 16>(blocks, nullptr, target, firstRow, endRow);
        break;
    case DxtFormat::scaledYCoCgDxt5:
        if (alpha)
            decodeRows<yCoCgBlock<order, true>, 16>(blocks, alpha, target, firstRow, endRow);
        else
            decodeRows<yCoCgBlock<order, false>, 16>(blocks, nullptr, target, firstRow, endRow);
        break;
    }
}

} // namespace

std::size_t dxtTextureSize(DxtFormat format, std::uint32_t width, std::uint32_t height)
{
    const std::size_t blocks = std::size_t{(width + 3) / 4} * ((height + 3) / 4);
    return blocks * (format == DxtFormat::dxt1 ? 8 : 16);
}

bool decodeDxt(DxtFormat format, std::span<const std::uint8_t> blocks, std::span<const std::uint8_t> alpha,
               const PixelTarget& target, std::uint32_t firstBlockRow, std::uint32_t endBlockRow)
{
    if (!target.pixels || target.width == 0 || target.height == 0 || target.stride < std::size_t{target.width} * 4)
        return false;
    if (blocks.size() < dxtTextureSize(format, target.width, target.height))
        return false;
    if (!alpha.empty() && alpha.size() < dxtTextureSize(DxtFormat::dxt1, target.width, target.height))
        return false;
    endBlockRow = std::min(endBlockRow, dxtBlockRows(target.height));
    if (firstBlockRow >= endBlockRow)
        return true;
    const std::uint8_t* alphaBlocks = alpha.empty() ? nullptr : alpha.data();
    if (target.order == PixelOrder::rgba)
        decodeOrdered<PixelOrder::rgba>(format, blocks.data(), alphaBlocks, target, firstBlockRow, endBlockRow);
    else
        decodeOrdered<PixelOrder::bgra>(format, blocks.data(), alphaBlocks, target, firstBlockRow, endBlockRow);
    return true;
}

} // namespace orvelo
