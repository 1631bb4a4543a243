#include "core/GroupLook.h"

#include "platform/ByteReader.h"
#include "platform/ByteWriter.h"
#include "playback/VideoEffectsManager.h"
#include "settings/SettingsManager.h"

namespace orvelo {

namespace {

constexpr std::uint8_t version = 1;

} // namespace

GroupLook GroupLook::capture(const VideoEffectsManager& fx, const SettingsManager& settings)
{
    GroupLook look;
    look.brightness = fx.brightness();
    look.saturation = fx.saturation();
    look.alpha = fx.alpha();
    look.inverted = fx.isInverted();
    look.red = fx.redEnabled();
    look.green = fx.greenEnabled();
    look.blue = fx.blueEnabled();
    look.timeShifts = {fx.redTimeShift(), fx.greenTimeShift(), fx.blueTimeShift()};
    look.offsets = {fx.redHorizontalOffset(), fx.redVerticalOffset(),    fx.greenHorizontalOffset(),
                    fx.greenVerticalOffset(), fx.blueHorizontalOffset(), fx.blueVerticalOffset()};
    look.pattern = settings.selectedPattern();
    look.patternSpeed = settings.patternSpeed();
    return look;
}

void GroupLook::applyTo(VideoEffectsManager& fx, SettingsManager& settings) const
{
    // The effects notify only what changes; the settings would store every set.
    fx.setBrightness(brightness);
    fx.setSaturation(saturation);
    fx.setAlpha(alpha);
    fx.setIsInverted(inverted);
    fx.setRedEnabled(red);
    fx.setGreenEnabled(green);
    fx.setBlueEnabled(blue);
    fx.setRedTimeShift(timeShifts[0]);
    fx.setGreenTimeShift(timeShifts[1]);
    fx.setBlueTimeShift(timeShifts[2]);
    fx.setRedHorizontalOffset(offsets[0]);
    fx.setRedVerticalOffset(offsets[1]);
    fx.setGreenHorizontalOffset(offsets[2]);
    fx.setGreenVerticalOffset(offsets[3]);
    fx.setBlueHorizontalOffset(offsets[4]);
    fx.setBlueVerticalOffset(offsets[5]);
    if (settings.selectedPattern() != pattern)
        settings.setSelectedPattern(pattern);
    if (settings.patternSpeed() != patternSpeed)
        settings.setPatternSpeed(patternSpeed);
}

std::vector<std::uint8_t> GroupLook::encode() const
{
    ByteWriter w(96);
    w.u8(version);
    w.f64le(brightness);
    w.f64le(saturation);
    w.f64le(alpha);
    w.u8(static_cast<std::uint8_t>(inverted | red << 1 | green << 2 | blue << 3));
    for (const std::int32_t shift : timeShifts)
        w.u32le(static_cast<std::uint32_t>(shift));
    for (const double offset : offsets)
        w.f64le(offset);
    // By name: players of different versions may number their patterns differently.
    const std::string_view name = rawValue(pattern);
    w.u8(static_cast<std::uint8_t>(name.size())).text(name, name.size());
    w.f64le(patternSpeed);
    return w.take();
}

std::optional<GroupLook> GroupLook::decode(std::span<const std::uint8_t> bytes)
{
    ByteReader r(bytes);
    if (r.u8() != version)
        return std::nullopt;
    GroupLook look;
    const auto brightness = r.finiteF64le();
    const auto saturation = r.finiteF64le();
    const auto alpha = r.finiteF64le();
    const auto flags = r.u8();
    if (!brightness || !saturation || !alpha || !flags)
        return std::nullopt;
    look.brightness = static_cast<float>(*brightness);
    look.saturation = static_cast<float>(*saturation);
    look.alpha = static_cast<float>(*alpha);
    look.inverted = *flags & 1;
    look.red = *flags & 2;
    look.green = *flags & 4;
    look.blue = *flags & 8;
    for (std::int32_t& shift : look.timeShifts) {
        const auto v = r.u32le();
        if (!v)
            return std::nullopt;
        shift = static_cast<std::int32_t>(*v);
    }
    for (double& offset : look.offsets) {
        const auto v = r.finiteF64le();
        if (!v)
            return std::nullopt;
        offset = *v;
    }
    const auto nameSize = r.u8();
    const auto name = nameSize ? r.bytes(*nameSize) : std::nullopt;
    const auto speed = r.finiteF64le();
    if (!name || !speed || r.remaining() != 0)
        return std::nullopt;
    const auto pattern =
        audioVisualPatternFromRawValue(std::string_view(reinterpret_cast<const char*>(name->data()), name->size()));
    if (!pattern)
        return std::nullopt;
    look.pattern = *pattern;
    look.patternSpeed = *speed;
    return look;
}

} // namespace orvelo
