#pragma once

#include "platform/media/VideoFrame.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace orvelo::test {

// Small media files made with GStreamer for the tests that play real media. Each is generated
// once per build folder and reused by every later test process (ctest runs each test in a
// process of its own); parallel processes wait for one another instead of encoding twice.
// Each returns the file's path, or "" when generation failed (the reason goes to stderr).
class MediaFiles {
public:
    static constexpr int pictureWidth = 160;
    static constexpr int pictureHeight = 120;
    static constexpr int fps = 25;

    // H.264 in MP4, pictureWidth x pictureHeight at fps. Frame i is flat grey with luma 16 + 4i (so at
    // most 55 frames), so a decoded or composed frame tells its own index. `withAudio` muxes
    // in a 440 Hz stereo AAC tone of the same length at half scale. `variant` makes a
    // different file with the same content, for tests that need two tracks.
    static std::string countingVideo(int frames, bool withAudio, int variant = 0);

    // A 440 Hz stereo tone at 44.1 hertz and half scale, `milliseconds` long (a multiple of 10);
    // `extension` is "wav" or "flac" (whose header records the exact sample count).
    static std::string tone(const std::string& extension, int milliseconds);

    // A file whose name promises a video but whose bytes are no media at all.
    static std::string notMedia();

    // Writes interleaved samples to a WAV file through GStreamer, as a recorder would; false
    // when that failed.
    static bool writeWav(const std::string& path, const std::vector<float>& samples, int rate, int channels);
    static bool writeWav(const std::string& path, const std::vector<std::int16_t>& samples, int rate, int channels);

    // Runs a gst-launch style description whose sink writes to "{out}".
    static std::string generate(const std::string& fileName, const std::string& description);

    // The index a counting frame carries: from the centre's luma (I420) or grey level (BGRA).
    static int frameIndex(const VideoFrame& frame);
    // The 8-bit RGB grey that counting frame `index` decodes to.
    static int greyOf(int index);
    // Centre pixel of a BGRA frame as {B, G, R, A}.
    static std::array<int, 4> centrePixel(const VideoFrame& frame);
};

} // namespace orvelo::test
