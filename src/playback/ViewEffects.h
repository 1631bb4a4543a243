#pragma once

#include <QImage>

namespace orvelo {

class VideoEffectsManager;

// The four effects the preview lays over the composed frames, in this order: a colour multiply
// by the channel enables (a disabled channel is 0), brightness (added), saturation (around the
// luminance grey) and opacity over black. Only the preview uses them: the output window shows
// the composed frames as they are.
struct ViewEffects {
    bool redEnabled = true;
    bool greenEnabled = true;
    bool blueEnabled = true;
    float brightness = 0.0f;
    float saturation = 1.0f;
    float alpha = 1.0f; // opacity, applied when the picture is painted over black

    static ViewEffects from(const VideoEffectsManager& effects);

    // Colour multiply, brightness and saturation, in place, on a premultiplied ARGB32 or RGB32
    // picture (opaque video: colours and alpha are independent).
    void applyColour(QImage& picture) const;
    // Whether applyColour changes anything.
    bool changesColour() const;

    bool operator==(const ViewEffects&) const = default;
};

} // namespace orvelo
