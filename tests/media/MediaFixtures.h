#pragma once

#include "platform/media/MediaItem.h"
#include "platform/media/VideoFrame.h"

#include <memory>
#include <string>

namespace orvelo::test {

// Media files made with GStreamer for the tests, cached in the test binary's folder so the
// separate test processes share them. Each returns the file's path, or "" when generation
// failed (the GStreamer error is printed).

// Runs a gst-launch style description whose sink writes to "{out}".
std::string generatedMedia(const std::string& fileName, const std::string& description);

// A 160x120 I420 video of `frames` frames at 25 fps whose frame i is flat grey with luma
// 16 + 4·i, so a decoded frame tells its own index (see frameIndex). `encoder` is the
// encode-and-mux part, e.g. "x264enc ! mp4mux name=mux". With `withAudio` a 440 Hz stereo tone
// of the same length is muxed in through the element named "mux" (given an AAC encoder).
std::string countingVideo(const std::string& fileName, const std::string& encoder, int frames, bool withAudio);

// The frame index that countingVideo encoded into a decoded frame's centre pixel.
int frameIndex(const VideoFrame& frame);

// Common files, generated on first use.
std::string videoWithAudio1s();  // 25 counting frames, H.264 + AAC in MP4
std::string videoWithAudio2s();  // 50 counting frames, H.264 + AAC in MP4
std::string sineWav1s();         // 440 Hz stereo tone at half scale, WAV

// Loads a file and runs the event loop until it is ready or failed (or 10 s pass).
std::shared_ptr<MediaItem> loadAndWait(const std::string& path, PixelFormat format = PixelFormat::BGRA);

} // namespace orvelo::test
