#include "platform/media/LtcDecoder.h"

#include <ltc.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

namespace orvelo {

namespace {

constexpr int queueLength = 32;
// The library's queue overwrites its oldest frame when full, so it is fed in pieces that end
// far fewer frames than it holds (one frame is at least 1600 samples at 48 kHz and normal
// speed) and read after each.
constexpr std::size_t chunkLength = 1024;

// The time a frame carries, or nothing when a digit is out of range: noise or a damaged word
// can end in a valid sync word, and the digits are the only check the signal itself offers.
std::optional<LtcTimecode> timecodeOf(const LTCFrame& f)
{
    if (f.frame_units > 9 || f.secs_units > 9 || f.mins_units > 9 || f.hours_units > 9)
        return std::nullopt;
    const LtcTimecode time{
        static_cast<int>(f.hours_tens * 10 + f.hours_units), static_cast<int>(f.mins_tens * 10 + f.mins_units),
        static_cast<int>(f.secs_tens * 10 + f.secs_units), static_cast<int>(f.frame_tens * 10 + f.frame_units)};
    if (!time.isValid(30)) // the highest rate without drop frames
        return std::nullopt;
    return time;
}

std::uint8_t toRaw(float sample)
{
    const float clipped = std::isnan(sample) ? 0.0f : std::clamp(sample, -1.0f, 1.0f);
    return static_cast<std::uint8_t>(128 + std::lround(clipped * 127.0f));
}

std::uint8_t toRaw(std::int16_t sample)
{
    return static_cast<std::uint8_t>(128 + (sample >> 8));
}

// Converts the samples to the library's format a chunk at a time and hands each chunk on.
template <typename Sample, typename Feed> void inChunks(std::span<const Sample> samples, Feed feed)
{
    std::array<std::uint8_t, chunkLength> raw;
    while (!samples.empty()) {
        const std::size_t count = std::min(samples.size(), chunkLength);
        for (std::size_t i = 0; i < count; ++i)
            raw[i] = toRaw(samples[i]);
        feed(raw.data(), count);
        samples = samples.subspan(count);
    }
}

} // namespace

void LtcDecoder::Free::operator()(LTCDecoder* decoder) const noexcept
{
    ltc_decoder_free(decoder);
}

LtcDecoder::LtcDecoder(int sampleRate, int expectedFps)
    : samplesPerFrame_(std::max(1, sampleRate / (expectedFps >= 24 && expectedFps <= 30 ? expectedFps : 25))),
      restartAfter_(std::max(1, sampleRate / 2))
{
    decoder_.reset(ltc_decoder_create(samplesPerFrame_, queueLength));
}

LtcDecoder::LtcDecoder(LtcDecoder&&) noexcept = default;
LtcDecoder& LtcDecoder::operator=(LtcDecoder&&) noexcept = default;
LtcDecoder::~LtcDecoder() = default;

void LtcDecoder::feed(const std::uint8_t* samples, std::size_t count, std::vector<Frame>& frames)
{
    const std::int64_t at = position_;
    position_ += static_cast<std::int64_t>(count);
    if (!decoder_) // the library could not allocate its state
        return;
    // The library takes a mutable pointer but only reads through it.
    ltc_decoder_write(decoder_.get(), const_cast<ltcsnd_sample_t*>(samples), count, at);
    LTCFrameExt decoded;
    while (ltc_decoder_read(decoder_.get(), &decoded)) {
        if (const auto time = timecodeOf(decoded.ltc)) {
            frames.push_back({*time, std::min(decoded.off_start, decoded.off_end),
                              std::max(decoded.off_start, decoded.off_end), decoded.reverse != 0});
            lastFound_ = position_;
        }
    }
    // The library follows the signal's speed from the length of its pulses. Noise teaches it
    // pulses a sample or two long, after which it takes real timecode for gaps and never
    // relearns; so a decoder that has found nothing for a while starts afresh.
    if (position_ - lastFound_ > restartAfter_) {
        decoder_.reset(ltc_decoder_create(samplesPerFrame_, queueLength));
        lastFound_ = position_;
    }
}

std::vector<LtcDecoder::Frame> LtcDecoder::write(std::span<const float> samples)
{
    std::vector<Frame> frames;
    inChunks(samples, [&](const std::uint8_t* raw, std::size_t count) { feed(raw, count, frames); });
    return frames;
}

std::vector<LtcDecoder::Frame> LtcDecoder::write(std::span<const std::int16_t> samples)
{
    std::vector<Frame> frames;
    inChunks(samples, [&](const std::uint8_t* raw, std::size_t count) { feed(raw, count, frames); });
    return frames;
}

} // namespace orvelo
