#include "platform/media/LtcEncoder.h"

#include <ltc.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace orvelo {

namespace {

// Where the flag bits sit differs between 25 fps and the 24 and 30 fps systems.
LTC_TV_STANDARD standardFor(int fps)
{
    switch (fps) {
    case 24:
        return LTC_TV_FILM_24;
    case 25:
        return LTC_TV_625_50;
    default:
        return LTC_TV_525_60;
    }
}

// Signed and clamped to the symmetric range that full scale maps onto.
int centred(std::uint8_t raw)
{
    return std::clamp(raw - 128, -127, 127);
}

} // namespace

void LtcEncoder::Free::operator()(LTCEncoder* encoder) const noexcept
{
    ltc_encoder_free(encoder);
}

std::optional<LtcEncoder> LtcEncoder::create(int fps, int sampleRate)
{
    if ((fps != 24 && fps != 25 && fps != 30) || sampleRate < 8000 || sampleRate > 192000)
        return std::nullopt;
    std::unique_ptr<LTCEncoder, Free> encoder(ltc_encoder_create(sampleRate, fps, standardFor(fps), 0));
    if (!encoder)
        return std::nullopt;
    return LtcEncoder(std::move(encoder), fps, sampleRate);
}

LtcEncoder::LtcEncoder(std::unique_ptr<LTCEncoder, Free> encoder, int fps, int sampleRate)
    : encoder_(std::move(encoder)), fps_(fps), sampleRate_(sampleRate)
{
    ltc_encoder_set_volume(encoder_.get(), defaultLevelDb);
}

LtcEncoder::LtcEncoder(LtcEncoder&&) noexcept = default;
LtcEncoder& LtcEncoder::operator=(LtcEncoder&&) noexcept = default;
LtcEncoder::~LtcEncoder() = default;

bool LtcEncoder::setLevelDb(double dbfs)
{
    if (!(dbfs >= -42.0 && dbfs <= 0.0)) // also refuses NaN
        return false;
    return ltc_encoder_set_volume(encoder_.get(), dbfs) == 0;
}

std::vector<std::uint8_t> LtcEncoder::encodeRaw(const LtcTimecode& timecode)
{
    if (!timecode.isValid(fps_))
        return {};
    SMPTETimecode time{};
    std::strcpy(time.timezone, "+0000");
    time.hours = static_cast<unsigned char>(timecode.hours);
    time.mins = static_cast<unsigned char>(timecode.minutes);
    time.secs = static_cast<unsigned char>(timecode.seconds);
    time.frame = static_cast<unsigned char>(timecode.frames);
    ltc_encoder_set_timecode(encoder_.get(), &time);
    ltc_encoder_encode_frame(encoder_.get());
    // The library's buffer holds exactly one frame; taking it empties it for the next.
    ltcsnd_sample_t* samples = nullptr;
    const int count = ltc_encoder_get_bufferptr(encoder_.get(), &samples, 1);
    if (count <= 0 || !samples)
        return {};
    return {samples, samples + count};
}

std::vector<float> LtcEncoder::encodeFloat(const LtcTimecode& timecode)
{
    const auto raw = encodeRaw(timecode);
    std::vector<float> out(raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i)
        out[i] = static_cast<float>(centred(raw[i])) / 127.0f;
    return out;
}

std::vector<std::int16_t> LtcEncoder::encodeS16(const LtcTimecode& timecode)
{
    const auto raw = encodeRaw(timecode);
    std::vector<std::int16_t> out(raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i)
        out[i] = static_cast<std::int16_t>(std::lround(centred(raw[i]) * 32767.0 / 127.0));
    return out;
}

} // namespace orvelo
