#include "playback/ComponentRowReader.h"

#include "playback/PixelBlocks.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>

namespace orvelo {

namespace {

static_assert(std::endian::native == std::endian::little, "BGRA pixels are read as 32-bit words");

using pixelblocks::clampToByte;
using pixelblocks::forEachPixel;

constexpr std::array<float, 3> luminanceWeights{0.2126f, 0.7152f, 0.0722f}; // R, G, B

// Values far outside the useful range would only overflow the integer conversion; they
// saturate every pixel long before these bounds. Not a number means no effect.
float sanitised(float value, float neutral)
{
    if (std::isnan(value))
        return neutral;
    return std::clamp(value, -1.0e4f, 1.0e4f);
}

struct YuvCoefficients {
    std::array<float, 3> u; // contribution of normalised Cb to R, G, B
    std::array<float, 3> v; // contribution of normalised Cr to R, G, B
    float lumaScale;
    float lumaOffset;
    float chromaScale;
};

YuvCoefficients yuvCoefficients(const VideoFrame& frame)
{
    const bool bt601 = frame.yuvMatrix == YuvMatrix::bt601;
    const float kr = bt601 ? 0.299f : 0.2126f;
    const float kb = bt601 ? 0.114f : 0.0722f;
    const float kg = 1.0f - kr - kb;
    YuvCoefficients c{};
    c.u = {0.0f, -2.0f * kb * (1.0f - kb) / kg, 2.0f * (1.0f - kb)};
    c.v = {2.0f * (1.0f - kr), -2.0f * kr * (1.0f - kr) / kg, 0.0f};
    if (frame.yuvFullRange) {
        c.lumaScale = 1.0f;
        c.lumaOffset = 0.0f;
        c.chromaScale = 1.0f;
    } else {
        c.lumaScale = 255.0f / 219.0f;
        c.lumaOffset = 16.0f;
        c.chromaScale = 255.0f / 224.0f;
    }
    return c;
}

ORVELO_ROW_KERNEL void bgraRow(const std::uint8_t* __restrict src, float kb, float kg, float kr, float bias,
                               std::uint8_t* __restrict out, int width)
{
    forEachPixel(width, [=](int i) {
        std::uint32_t px;
        std::memcpy(&px, src + 4 * i, sizeof px);
        const float b = static_cast<float>(px & 255u);
        const float g = static_cast<float>((px >> 8) & 255u);
        const float r = static_cast<float>((px >> 16) & 255u);
        out[i] = static_cast<std::uint8_t>(clampToByte(static_cast<int>(kb * b + kg * g + kr * r + bias)));
    });
}

// I420 rows are worked in 16-bit fixed point with 4 fraction bits, 8 pixels per SSE2 operation
// (float would take four times the work). Luma: Y * lumaScale / 128 (lumaScale is 128 or 149,
// full or video range). Chroma: the rest of the linear step, worked out once per chroma sample
// and written for both luma columns it covers. A chroma part beyond +-1024 levels saturates
// the pixel whatever the luma, so it is cut there to stay in 16 bits.
constexpr int chromaLimit = 1024 * 16;

// Everyday values: chroma coefficients in 1/4096 (below 8 in magnitude, implied by the 16-bit
// bound), products summed in 32 bits, the sum in 1/16 level.
ORVELO_ROW_KERNEL void chromaRowFixed(const std::uint8_t* __restrict u, const std::uint8_t* __restrict v,
                                      std::int16_t ku, std::int16_t kv, int bias, std::int16_t* __restrict out,
                                      int samples)
{
    forEachPixel(samples, [=](int i) {
        const int cb = static_cast<std::int16_t>(u[i] - 128);
        const int cr = static_cast<std::int16_t>(v[i] - 128);
        const int t = (cb * ku + cr * kv + bias) >> 8;
        out[2 * i] = static_cast<std::int16_t>(t);
        out[2 * i + 1] = static_cast<std::int16_t>(t);
    });
}

// Extreme saturation or brightness: float, cut to the 16-bit bound.
ORVELO_ROW_KERNEL void chromaRowClamped(const std::uint8_t* __restrict u, const std::uint8_t* __restrict v, float ku,
                                        float kv, float bias, std::int16_t* __restrict out, int samples)
{
    forEachPixel(samples, [=](int i) {
        const float cb = static_cast<float>(u[i] - 128);
        const float cr = static_cast<float>(v[i] - 128);
        int t = static_cast<int>(16.0f * (ku * cb + kv * cr + bias));
        t = t < -chromaLimit ? -chromaLimit : t;
        t = t > chromaLimit ? chromaLimit : t;
        out[2 * i] = static_cast<std::int16_t>(t);
        out[2 * i + 1] = static_cast<std::int16_t>(t);
    });
}

ORVELO_ROW_KERNEL void lumaRow(const std::uint8_t* __restrict y, const std::int16_t* __restrict chroma,
                               unsigned lumaScale, std::uint8_t* __restrict out, int width)
{
    forEachPixel(width, [=](int i) {
        const int luma = static_cast<std::uint16_t>(y[i] * lumaScale) >> 3;
        const int sum = static_cast<std::int16_t>(luma + chroma[i]);
        out[i] = static_cast<std::uint8_t>(clampToByte(sum >> 4));
    });
}

} // namespace

void ComponentRowReader::prepare(const VideoFrame& frame, ColorChannel channel, float saturation, float brightness)
{
    frame_ = &frame;
    const float s = sanitised(saturation, 1.0f);
    const float offset = 255.0f * sanitised(brightness, 0.0f) + 0.5f; // + 0.5: round on truncation
    const auto k = static_cast<std::size_t>(channel);

    if (frame.format == PixelFormat::bgra) {
        // Component k of (1 - s) * luminance + s * colour, as weights of B, G, R.
        for (std::size_t j = 0; j < 3; ++j) {
            const std::size_t rgbIndex = 2 - j; // memory order B, G, R
            k_[j] = (1.0f - s) * luminanceWeights[rgbIndex] + (rgbIndex == k ? s : 0.0f);
        }
        bias_ = offset;
        return;
    }

    const YuvCoefficients c = yuvCoefficients(frame);
    float luminanceU = 0.0f;
    float luminanceV = 0.0f;
    for (std::size_t j = 0; j < 3; ++j) {
        luminanceU += luminanceWeights[j] * c.u[j];
        luminanceV += luminanceWeights[j] * c.v[j];
    }
    k_[0] = c.lumaScale;
    k_[1] = c.chromaScale * ((1.0f - s) * luminanceU + s * c.u[k]);
    k_[2] = c.chromaScale * ((1.0f - s) * luminanceV + s * c.v[k]);
    // The luma scale is applied in fixed point: take exactly that value out of the bias. The
    // bias is kept for U = V = 128, the centre of the chroma range.
    lumaScale_ = static_cast<unsigned>(std::lround(c.lumaScale * 128.0f));
    bias_ = offset - static_cast<float>(lumaScale_) / 128.0f * c.lumaOffset;
    // Can the chroma part leave +-chromaLimit? Only with extreme saturation or brightness. The
    // small margin keeps the rounded coefficients below 8, inside 16 bits.
    const float reach = 16.0f * (128.0f * (std::fabs(k_[1]) + std::fabs(k_[2])) + std::fabs(bias_));
    clampChroma_ = reach >= 0.98f * static_cast<float>(chromaLimit);
    if (!clampChroma_) {
        chromaU_ = static_cast<std::int16_t>(std::lround(k_[1] * 4096.0f));
        chromaV_ = static_cast<std::int16_t>(std::lround(k_[2] * 4096.0f));
        chromaBias_ = static_cast<int>(std::lround(bias_ * 4096.0f));
    }
    chromaTerm_.resize(static_cast<std::size_t>((frame.width + 1) / 2) * 2);
    chromaTermRow_ = -1;
}

void ComponentRowReader::readRow(int row, std::uint8_t* out)
{
    const VideoFrame& f = *frame_;
    if (f.format == PixelFormat::bgra) {
        bgraRow(f.plane(0) + static_cast<std::ptrdiff_t>(row) * f.strides[0], k_[0], k_[1], k_[2], bias_, out, f.width);
        return;
    }
    // Two luma rows share a chroma row; rows are mostly read in order.
    const int chromaIndex = row / 2;
    if (chromaIndex != chromaTermRow_) {
        const std::uint8_t* u = f.plane(1) + static_cast<std::ptrdiff_t>(chromaIndex) * f.strides[1];
        const std::uint8_t* v = f.plane(2) + static_cast<std::ptrdiff_t>(chromaIndex) * f.strides[2];
        const int samples = (f.width + 1) / 2;
        if (clampChroma_)
            chromaRowClamped(u, v, k_[1], k_[2], bias_, chromaTerm_.data(), samples);
        else
            chromaRowFixed(u, v, chromaU_, chromaV_, chromaBias_, chromaTerm_.data(), samples);
        chromaTermRow_ = chromaIndex;
    }
    lumaRow(f.plane(0) + static_cast<std::ptrdiff_t>(row) * f.strides[0], chromaTerm_.data(), lumaScale_, out, f.width);
}

} // namespace orvelo
