#pragma once

#include "platform/media/MediaItem.h"

#include <memory>

namespace orvelo {

class VideoEffectsCompositor;

// Puts the live effects on a media item's picture: every decoded frame of the item passes
// through a VideoEffectsCompositor of its own before it is presented. The playback engine and
// the background-video player attach it to each item they load.
class VideoComposition {
public:
    // How long the streaming thread waits for one composed frame before it presents the
    // source frame instead: a stalled compositor must never stall playback.
    static constexpr int frameTimeoutMs = 250;

    // Returns the compositor now attached to `item`. Attach right after MediaItem::load, so
    // that the first frame is composed too, and load the item in sourceFormat().
    static std::shared_ptr<VideoEffectsCompositor> attach(MediaItem& item);
    // The item then presents its decoded frames as they are.
    static void detach(MediaItem& item);

    // A ready item whose picture has a width and a height: the only kind that gets one.
    static bool hasRenderablePicture(const MediaItem& item);

    // The pixel format in which to load an item that will be composed.
    static PixelFormat sourceFormat();
};

} // namespace orvelo
