// Protects the formats a show technician brings: each is encoded here and must load with its
// picture and sound. A failure means a GStreamer plugin package is missing on this machine.
#include "MediaFixtures.h"
#include "support/TestSupport.h"

#include <algorithm>

using namespace orvelo;
using namespace orvelo::test;

namespace {

struct Format {
    const char* file;
    const char* encode; // what follows the raw source, ending before the file sink
    bool video;
};

const char* const videoSource =
    "videotestsrc num-buffers=5 ! video/x-raw,format=I420,width=160,height=120,framerate=25/1";
const char* const audioSource = "audiotestsrc num-buffers=50 ! audio/x-raw,rate=44100,channels=2";

class Decoders : public ::testing::TestWithParam<Format> {};

} // namespace

TEST_P(Decoders, FileLoadsWithItsStreams)
{
    const Format& f = GetParam();
    const std::string description =
        std::string(f.video ? videoSource : audioSource) + " ! " + f.encode + " ! filesink location={out}";
    const std::string path = MediaFiles::generate(std::string("fmt-") + f.file, description);
    ASSERT_FALSE(path.empty()) << "no encoder for " << f.file;
    auto item = loadAndWait(path);
    ASSERT_EQ(item->status(), MediaItem::Status::readyToPlay) << item->errorText().toStdString();
    EXPECT_EQ(item->hasVideo(), f.video);
    EXPECT_EQ(item->hasAudio(), !f.video);
    ASSERT_TRUE(item->duration().has_value());
    // Compressed audio may carry an encoder's padding of a frame or two.
    EXPECT_NEAR(*item->duration(), f.video ? 0.2 : 50 * 1024 / 44100.0, 0.1);
}

INSTANTIATE_TEST_SUITE_P(
    ShowFormats, Decoders,
    // Every codec once and every container once; the pairings in between add nothing of ours.
    ::testing::Values(Format{"h264.mp4", "x264enc speed-preset=ultrafast ! h264parse ! mp4mux", true},
                      Format{"hevc.mkv", "x265enc speed-preset=ultrafast ! h265parse ! matroskamux", true},
                      Format{"prores422.mov", "videoconvert ! video/x-raw,format=I422_10LE ! avenc_prores_ks ! qtmux",
                             true},
                      Format{"vp8.webm", "vp8enc deadline=1 ! webmmux", true},
                      Format{"vp9.webm", "vp9enc deadline=1 ! webmmux", true},
                      Format{"av1.mkv", "av1enc cpu-used=8 ! av1parse ! matroskamux", true},
                      Format{"mjpeg.avi", "jpegenc ! avimux", true}, Format{"pcm.wav", "wavenc", false},
                      Format{"pcm.aiff", "aiffmux", false}, Format{"audio.flac", "flacenc", false},
                      Format{"audio.mp3", "lamemp3enc ! xingmux ! id3v2mux", false},
                      Format{"aac.m4a", "avenc_aac ! mp4mux", false}, Format{"vorbis.ogg", "vorbisenc ! oggmux", false},
                      Format{"opus.ogg", "audioresample ! opusenc ! oggmux", false}),
    [](const ::testing::TestParamInfo<Format>& info) {
        std::string name = info.param.file;
        std::replace(name.begin(), name.end(), '.', '_');
        return name;
    });
