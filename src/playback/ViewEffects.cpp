#include "playback/ViewEffects.h"

#include "playback/VideoEffectsManager.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace orvelo {

ViewEffects ViewEffects::from(const VideoEffectsManager& effects)
{
    ViewEffects v;
    v.redEnabled = effects.redEnabled();
    v.greenEnabled = effects.greenEnabled();
    v.blueEnabled = effects.blueEnabled();
    v.brightness = effects.brightness();
    v.saturation = effects.saturation();
    v.alpha = effects.alpha();
    return v;
}

bool ViewEffects::changesColour() const
{
    return !redEnabled || !greenEnabled || !blueEnabled || brightness != 0.0f || saturation != 1.0f;
}

void ViewEffects::applyColour(QImage& picture) const
{
    if (!changesColour())
        return;
    if (picture.format() != QImage::Format_ARGB32_Premultiplied && picture.format() != QImage::Format_RGB32)
        picture.convertTo(QImage::Format_ARGB32_Premultiplied);
    const std::array<float, 3> keep{redEnabled ? 1.0f : 0.0f, greenEnabled ? 1.0f : 0.0f, blueEnabled ? 1.0f : 0.0f};
    const float offset = brightness * 255.0f;
    for (int y = 0; y < picture.height(); ++y) {
        auto* line = reinterpret_cast<std::uint32_t*>(picture.scanLine(y));
        for (int x = 0; x < picture.width(); ++x) {
            const std::uint32_t p = line[x];
            float r = static_cast<float>((p >> 16) & 0xff) * keep[0] + offset;
            float g = static_cast<float>((p >> 8) & 0xff) * keep[1] + offset;
            float b = static_cast<float>(p & 0xff) * keep[2] + offset;
            const float grey = 0.2126f * r + 0.7152f * g + 0.0722f * b;
            r = grey + saturation * (r - grey);
            g = grey + saturation * (g - grey);
            b = grey + saturation * (b - grey);
            // Premultiplied: no component above the pixel's alpha.
            const float ceiling = static_cast<float>(p >> 24);
            const auto byte = [ceiling](float v) {
                return static_cast<std::uint32_t>(std::clamp(v, 0.0f, ceiling) + 0.5f);
            };
            line[x] = (p & 0xff000000u) | byte(r) << 16 | byte(g) << 8 | byte(b);
        }
    }
}

} // namespace orvelo
