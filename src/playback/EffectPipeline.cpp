#include "playback/EffectPipeline.h"

#include "playback/PixelBlocks.h"
#include "platform/media/VideoFramePool.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace orvelo {

namespace {

using pixelblocks::forEachPixel;

constexpr int unitWeight = 256; // weights of the bilinear filter are in 1/256 pixel

struct FixedOffset {
    int whole;    // floor(offset)
    int fraction; // (offset - whole) in 1/256
};

FixedOffset toFixed(double offset)
{
    const long long q = std::llround(offset * unitWeight);
    return {static_cast<int>(q >> 8), static_cast<int>(q & (unitWeight - 1))};
}

// out[i] = a[i] weighted (256 - w) + b[i] weighted w, rounded.
ORVELO_ROW_KERNEL void blendRows(const std::uint8_t* __restrict a, const std::uint8_t* __restrict b, int w,
                                 std::uint8_t* __restrict out, int width)
{
    const unsigned wa = static_cast<unsigned>(unitWeight - w);
    const unsigned wb = static_cast<unsigned>(w);
    forEachPixel(width, [=](int i) {
        out[i] = static_cast<std::uint8_t>(static_cast<std::uint16_t>(wa * a[i] + wb * b[i] + 128u) >> 8);
    });
}

// Where one channel's component comes from in a row: (near * nearWeight + far * farWeight) / 256.
struct Taps {
    const std::uint8_t* near;
    const std::uint8_t* far;
    unsigned nearWeight;
    unsigned farWeight;
};

// Pixels are assembled as two 16-bit halves (B G and R A): on SSE2 that is a byte interleave,
// where whole 32-bit words would need four times the widening and shifting.
ORVELO_ROW_KERNEL void packRow(const std::uint8_t* __restrict r0, const std::uint8_t* __restrict r1,
                               const std::uint8_t* __restrict g0, const std::uint8_t* __restrict g1,
                               const std::uint8_t* __restrict b0, const std::uint8_t* __restrict b1,
                               const std::uint8_t* __restrict coverage, Taps red, Taps green, Taps blue,
                               std::uint8_t invert, std::uint8_t* __restrict out, int width)
{
    const unsigned rn = red.nearWeight, rf = red.farWeight;
    const unsigned gn = green.nearWeight, gf = green.farWeight;
    const unsigned bn = blue.nearWeight, bf = blue.farWeight;
    forEachPixel(width, [=](int i) {
        const std::uint8_t r = static_cast<std::uint16_t>(rn * r0[i] + rf * r1[i] + 128u) >> 8;
        const std::uint8_t g = static_cast<std::uint16_t>(gn * g0[i] + gf * g1[i] + 128u) >> 8;
        const std::uint8_t b = static_cast<std::uint16_t>(bn * b0[i] + bf * b1[i] + 128u) >> 8;
        const std::uint8_t a = coverage[i];
        const auto blueGreen = static_cast<std::uint16_t>(((b ^ invert) & a) | ((g ^ invert) & a) << 8);
        const auto redAlpha = static_cast<std::uint16_t>(((r ^ invert) & a) | a << 8);
        std::memcpy(out + 4 * i, &blueGreen, sizeof blueGreen);
        std::memcpy(out + 4 * i + 2, &redAlpha, sizeof redAlpha);
    });
}

} // namespace

void EffectPipeline::resize(int width, int height)
{
    if (width == width_ && height == height_)
        return;
    // Taps reach at most width + 3 columns to either side of a row (offsets beyond the frame
    // are cut off before), so rows carry that much zero padding and need no bounds checks.
    pad_ = width + 4;
    const auto padded = static_cast<std::size_t>(width + 2 * pad_);
    for (Channel& channel : channels_) {
        for (auto& row : channel.rows)
            row.assign(padded, 0);
        channel.blended.assign(padded, 0);
    }
    zeroRow_.assign(padded, 0);
    coverage_.assign(static_cast<std::size_t>(width), 0);
    width_ = width;
    height_ = height;
}

void EffectPipeline::planChannel(Channel& channel, const VideoFrame& delayed, const EffectParameters& params, int c)
{
    const auto i = static_cast<std::size_t>(c);
    channel.present = false;
    channel.rowIndex = {-1, -1};
    if (!params.enabled[i])
        return;
    const double ox = params.horizontalOffset[i];
    const double oy = params.verticalOffset[i];
    if (!std::isfinite(ox) || !std::isfinite(oy) || std::fabs(ox) >= width_ + 2.0 || std::fabs(oy) >= height_ + 2.0)
        return; // moved off the frame entirely
    const FixedOffset h = toFixed(ox);
    const FixedOffset v = toFixed(oy);
    channel.dx = h.whole;
    channel.dxFraction = h.fraction;
    channel.dy = v.whole;
    channel.dyFraction = v.fraction;
    channel.firstColumn = std::max(0, h.whole);
    channel.endColumn = std::min(width_, h.whole + width_ + (h.fraction > 0 ? 1 : 0));
    channel.firstRow = std::max(0, -v.whole - (v.fraction > 0 ? 1 : 0));
    channel.endRow = std::min(height_, height_ - v.whole);
    if (channel.firstColumn >= channel.endColumn || channel.firstRow >= channel.endRow)
        return;
    channel.reader.prepare(delayed, static_cast<ColorChannel>(c), params.saturation, params.brightness);
    channel.present = true;
}

const std::uint8_t* EffectPipeline::sourceRow(Channel& channel, int row)
{
    if (row < 0 || row >= height_)
        return zeroRow_.data() + pad_;
    for (int slot = 0; slot < 2; ++slot) {
        if (channel.rowIndex[static_cast<std::size_t>(slot)] == row) {
            channel.recent = slot;
            return channel.rows[static_cast<std::size_t>(slot)].data() + pad_;
        }
    }
    // Output rows advance one source row at a time, so the slot not read last is free.
    const int slot = 1 - channel.recent;
    std::uint8_t* dst = channel.rows[static_cast<std::size_t>(slot)].data() + pad_;
    channel.reader.readRow(row, dst);
    channel.rowIndex[static_cast<std::size_t>(slot)] = row;
    channel.recent = slot;
    return dst;
}

const std::uint8_t* EffectPipeline::channelRow(Channel& channel, int y)
{
    const std::uint8_t* upper = sourceRow(channel, y + channel.dy);
    if (channel.dyFraction == 0)
        return upper;
    const std::uint8_t* lower = sourceRow(channel, y + channel.dy + 1);
    std::uint8_t* dst = channel.blended.data() + pad_;
    blendRows(upper, lower, channel.dyFraction, dst, width_);
    return dst;
}

void EffectPipeline::composeRow(int y, bool inverted, std::uint8_t* out)
{
    std::uint8_t* coverage = coverage_.data();
    std::memset(coverage, 0, coverage_.size());
    Taps taps[colorChannelCount];
    for (int c = 0; c < colorChannelCount; ++c) {
        Channel& channel = channels_[static_cast<std::size_t>(c)];
        if (channel.present && y >= channel.firstRow && y < channel.endRow) {
            const std::uint8_t* row = channelRow(channel, y);
            taps[c] = {row - channel.dx, row - channel.dx - 1, static_cast<unsigned>(unitWeight - channel.dxFraction),
                       static_cast<unsigned>(channel.dxFraction)};
            std::memset(coverage + channel.firstColumn, 255,
                        static_cast<std::size_t>(channel.endColumn - channel.firstColumn));
        } else {
            const std::uint8_t* zero = zeroRow_.data() + pad_;
            taps[c] = {zero, zero, static_cast<unsigned>(unitWeight), 0u};
        }
    }
    packRow(taps[0].near, taps[0].far, taps[1].near, taps[1].far, taps[2].near, taps[2].far, coverage, taps[0], taps[1],
            taps[2], inverted ? 0xFF : 0x00, out, width_);
}

EffectPipeline::Result EffectPipeline::compose(const FrameHistory& history, const EffectParameters& params)
{
    const VideoFramePtr& source = history.newest();
    if (!source)
        return {Outcome::noSource, nullptr};
    if (params.isNeutral())
        return {Outcome::passThrough, source};
    if (!source->hasValidLayout())
        return {Outcome::unreadable, source};

    // A frame of another size (the stream changed without a history reset) is as good as absent.
    std::array<const VideoFrame*, colorChannelCount> delayed{};
    for (int c = 0; c < colorChannelCount; ++c) {
        const VideoFramePtr& frame = history.delayed(params.timeShift[static_cast<std::size_t>(c)]);
        if (!frame || frame->width != source->width || frame->height != source->height || !frame->hasValidLayout())
            return {Outcome::missingHistory, source};
        delayed[static_cast<std::size_t>(c)] = frame.get();
    }

    std::shared_ptr<VideoFrame> out;
    try {
        resize(source->width, source->height);
        out = VideoFramePool::shared().acquire(source->width, source->height, PixelFormat::bgra);
    } catch (const std::bad_alloc&) {
        width_ = height_ = 0; // buffers may be half resized
        return {Outcome::noOutputFrame, source};
    }

    for (int c = 0; c < colorChannelCount; ++c)
        planChannel(channels_[static_cast<std::size_t>(c)], *delayed[static_cast<std::size_t>(c)], params, c);
    for (int y = 0; y < height_; ++y)
        composeRow(y, params.isInverted, out->plane(0) + static_cast<std::ptrdiff_t>(y) * out->strides[0]);
    out->pts = source->pts;
    out->runningTime = source->runningTime;
    return {Outcome::composed, std::move(out)};
}

} // namespace orvelo
