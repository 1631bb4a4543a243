// Protects HAP playback: clips made by ffmpeg's encoder (HAP, HAP Alpha, HAP Q; chunked; sizes
// that are not whole blocks) decode through qtdemux and through autoplugging to the picture
// ffmpeg's own decoder gives, HAP Q Alpha too, and corrupt frames are refused with a reason and
// dropped without ending the stream.
#include "platform/media/DxtDecoder.h"
#include "platform/media/GStreamerInit.h"
#include "platform/media/HapDecoder.h"
#include "platform/media/HapFrame.h"

#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/video/video.h>
#include <gtest/gtest.h>
#include <snappy.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <numeric>
#include <random>

namespace orvelo {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A section with the 4-byte header, or with the 8-byte one that ffmpeg writes only past 16 MiB.
Bytes section(std::uint8_t type, const Bytes& body, bool longHeader = false)
{
    const auto n = body.size();
    if (longHeader)
        return Bytes{0, 0, 0, type, std::uint8_t(n), std::uint8_t(n >> 8), std::uint8_t(n >> 16), 0} + body;
    return Bytes{std::uint8_t(n), std::uint8_t(n >> 8), std::uint8_t(n >> 16), type} + body;
}

Bytes readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

bool haveHapEncoder()
{
    static const bool have = std::system("ffmpeg -v quiet -f lavfi -i testsrc2=size=64x64 -frames:v 1 -c:v hap "
                                         "-f null - 2>/dev/null") == 0;
    return have;
}

// A 1-second 320x240 clip. Hap5 clips get an alpha ramp: the test pattern is opaque.
fs::path makeClip(const std::string& format, int chunks = 1, const std::string& compressor = "snappy")
{
    static const fs::path dir = [] {
        std::string name = (fs::temp_directory_path() / "hap_test_XXXXXX").string();
        return fs::path(mkdtemp(name.data()));
    }();
    const fs::path path = dir / (format + std::to_string(chunks) + compressor + ".mov");
    const std::string alpha =
        format == "hap_alpha" ? ",format=rgba,geq=r='r(X,Y)':g='g(X,Y)':b='b(X,Y)':a='mod(3*X+Y,256)'" : "";
    const std::string cmd = "ffmpeg -v error -y -f lavfi -i \"testsrc2=size=320x240:rate=25" + alpha +
                            "\" -t 1 -c:v hap " + "-format " + format + " -chunks " + std::to_string(chunks) +
                            " -compressor " + compressor + " " + path.string() + " && ffmpeg -v error -y -i " +
                            path.string() + " -f rawvideo -pix_fmt bgra " + path.string() + ".bgra";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
    return path;
}

// Makes the file claim a smaller picture than its 320x240 texture, as an encoder that takes
// any size stores 318x238: qtdemux's caps come from the sample description.
fs::path withClaimedSize(const fs::path& clip, const char* fourcc, int width, int height)
{
    Bytes bytes = readFile(clip);
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    const std::size_t at = text.find(fourcc, text.find("stsd")) + 28;
    const Bytes size{std::uint8_t(width >> 8), std::uint8_t(width), std::uint8_t(height >> 8), std::uint8_t(height)};
    std::copy(size.begin(), size.end(), bytes.begin() + std::ptrdiff_t(at));
    const fs::path out = clip.string() + "_small.mov";
    std::ofstream(out, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return out;
}

struct PipelineRun {
    std::vector<Bytes> frames; // packed BGRA rows, or encoded samples
    std::vector<std::string> warnings;
    std::string error;
    bool usedOurElement = false;
};

// Runs a pipeline ending in "appsink name=out" to its end, after pushing `input` into
// "appsrc name=in" when given.
PipelineRun runPipeline(const std::string& description, const std::vector<Bytes>& input = {}, const char* caps = "")
{
    ensureGStreamer();
    PipelineRun run;
    GstElement* pipeline = gst_parse_launch(description.c_str(), nullptr);
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "out");
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    if (GstElement* src = gst_bin_get_by_name(GST_BIN(pipeline), "in")) {
        g_object_set(src, "caps", gst_caps_from_string(caps), "format", GST_FORMAT_TIME, nullptr);
        for (std::size_t i = 0; i < input.size(); ++i) {
            GstBuffer* buffer = gst_buffer_new_memdup(input[i].data(), input[i].size());
            GST_BUFFER_PTS(buffer) = i * 40 * GST_MSECOND;
            gst_app_src_push_buffer(GST_APP_SRC(src), buffer);
        }
        gst_app_src_end_of_stream(GST_APP_SRC(src));
        gst_object_unref(src);
    }
    while (GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 10 * GST_SECOND)) {
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        GstVideoInfo info;
        GstVideoFrame frame;
        Bytes bytes(gst_buffer_get_size(buffer));
        if (gst_structure_has_name(gst_caps_get_structure(gst_sample_get_caps(sample), 0), "video/x-raw") &&
            gst_video_info_from_caps(&info, gst_sample_get_caps(sample)) &&
            gst_video_frame_map(&frame, &info, buffer, GST_MAP_READ)) {
            bytes.clear();
            for (int y = 0; y < info.height; ++y) {
                const auto* row = static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0)) +
                                  y * GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0);
                bytes.insert(bytes.end(), row, row + info.width * 4);
            }
            gst_video_frame_unmap(&frame);
        } else {
            gst_buffer_extract(buffer, 0, bytes.data(), bytes.size());
        }
        run.frames.push_back(std::move(bytes));
        gst_sample_unref(sample);
    }
    GstIterator* it = gst_bin_iterate_recurse(GST_BIN(pipeline));
    for (GValue item = G_VALUE_INIT; gst_iterator_next(it, &item) == GST_ITERATOR_OK; g_value_reset(&item))
        run.usedOurElement |=
            g_strcmp0(GST_OBJECT_NAME(gst_element_get_factory(GST_ELEMENT(g_value_get_object(&item)))),
                      "orvelohapdec") == 0;
    gst_iterator_free(it);
    GstBus* bus = gst_element_get_bus(pipeline);
    while (GstMessage* message = gst_bus_pop_filtered(bus, GstMessageType(GST_MESSAGE_WARNING | GST_MESSAGE_ERROR))) {
        GError* problem = nullptr;
        const bool isError = GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR;
        (isError ? gst_message_parse_error : gst_message_parse_warning)(message, &problem, nullptr);
        (isError ? run.error : run.warnings.emplace_back()) = problem->message;
        g_error_free(problem);
        gst_message_unref(message);
    }
    gst_object_unref(bus);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(sink);
    gst_object_unref(pipeline);
    return run;
}

// Largest channel difference between our frames and ffmpeg's 320x240 frames cropped to
// ours; `channels` picks colour (0..2) and / or alpha (3).
int maxDifference(const std::vector<Bytes>& ours, const Bytes& theirs, int width, std::initializer_list<int> channels)
{
    int worst = 0;
    for (std::size_t f = 0; f < ours.size(); ++f)
        for (std::size_t i = 0; i < ours[f].size(); ++i)
            if (std::find(channels.begin(), channels.end(), int(i % 4)) != channels.end()) {
                const std::size_t x = i % (width * 4), y = i / (width * 4);
                worst = std::max(worst, std::abs(ours[f][i] - theirs.at((f * 240 + y) * 1280 + x)));
            }
    return worst;
}

constexpr int tolerance = 2; // HAP Q: rounding of Co / Cg over the scale differs; 1 elsewhere

struct ClipCase {
    const char *format, *fourcc;
    int chunks;
    const char* compressor;
    int width, height;
    bool autoplug; // through uridecodebin, to prove that it picks our element
};

class HapClip : public testing::TestWithParam<ClipCase> {};

TEST_P(HapClip, DecodesLikeFfmpegThroughQtdemux)
{
    if (!haveHapEncoder())
        GTEST_SKIP() << "ffmpeg has no HAP encoder";
    const ClipCase c = GetParam();
    fs::path clip = makeClip(c.format, c.chunks, c.compressor);
    const Bytes reference = readFile(clip.string() + ".bgra");
    if (c.width != 320)
        clip = withClaimedSize(clip, c.fourcc, c.width, c.height);
    const std::string source = c.autoplug ? "uridecodebin uri=file://" + clip.string()
                                          : "filesrc location=" + clip.string() + " ! qtdemux ! orvelohapdec";
    const PipelineRun run = runPipeline(source + " ! appsink name=out sync=false caps=video/x-raw,format=BGRA");
    ASSERT_EQ(run.error, "");
    EXPECT_TRUE(run.usedOurElement);
    ASSERT_EQ(run.frames.size(), 25u);
    ASSERT_EQ(run.frames[0].size(), std::size_t(c.width * c.height * 4));
    const int worst = maxDifference(run.frames, reference, c.width, {0, 1, 2, 3});
    std::cout << c.fourcc << " " << c.width << "x" << c.height << ", " << c.chunks << " chunk(s), " << c.compressor
              << ": max difference " << worst << "\n";
    EXPECT_LE(worst, tolerance);
}

INSTANTIATE_TEST_SUITE_P(Formats, HapClip,
                         testing::Values(ClipCase{"hap", "Hap1", 1, "snappy", 320, 240, false},
                                         ClipCase{"hap_alpha", "Hap5", 1, "snappy", 320, 240, false},
                                         ClipCase{"hap_q", "HapY", 1, "snappy", 320, 240, true},
                                         ClipCase{"hap", "Hap1", 4, "snappy", 318, 238, false},
                                         ClipCase{"hap_alpha", "Hap5", 4, "none", 320, 240, true},
                                         ClipCase{"hap_q", "HapY", 4, "snappy", 317, 237, false}));

// HAP Q Alpha frames made of a HapY clip's frames and the alpha blocks of a Hap5 clip of the
// same picture (DXT5's alpha half is a BC4 block) must show the one's colours and the other's
// alpha. One corrupt frame among them is dropped with a warning; the rest play.
TEST(HapElement, DecodesQAlphaAndSurvivesACorruptFrame)
{
    if (!haveHapEncoder())
        GTEST_SKIP() << "ffmpeg has no HAP encoder";
    const fs::path qClip = makeClip("hap_q"), alphaClip = makeClip("hap_alpha");
    const PipelineRun q = runPipeline("filesrc location=" + qClip.string() + " ! qtdemux ! appsink name=out");
    const PipelineRun alpha = runPipeline("filesrc location=" + alphaClip.string() + " ! qtdemux ! appsink name=out");
    ASSERT_EQ(q.frames.size(), 25u);
    ASSERT_EQ(alpha.frames.size(), 25u);
    std::vector<Bytes> frames;
    HapUnpacker unpacker;
    for (std::size_t f = 0; f < 25; ++f) {
        const auto textures = unpacker.unpack(alpha.frames[f], 320, 240);
        ASSERT_TRUE(textures) << textures.error;
        Bytes bc4;
        for (std::size_t b = 0; b < textures.textures->colour.blocks.size(); b += 16)
            bc4.insert(bc4.end(), &textures.textures->colour.blocks[b], &textures.textures->colour.blocks[b + 8]);
        const Bytes frame = section(0x0D, section(0xA1, bc4, true) + q.frames[f]);
        frames.push_back(f == 10 ? Bytes(frame.begin(), frame.begin() + 1000) : frame);
    }
    const PipelineRun run = runPipeline("appsrc name=in ! orvelohapdec ! appsink name=out sync=false", frames,
                                        "video/x-gst-fourcc-HapM, width=(int)320, height=(int)240");
    EXPECT_EQ(run.error, "");
    ASSERT_EQ(run.frames.size(), 24u);
    ASSERT_EQ(run.warnings.size(), 1u);
    EXPECT_NE(run.warnings[0].find("Corrupt HAP frame"), std::string::npos) << run.warnings[0];
    const auto withoutFrame10 = [](Bytes frames) {
        frames.erase(frames.begin() + 10 * 320 * 240 * 4, frames.begin() + 11 * 320 * 240 * 4);
        return frames;
    };
    const int colour = maxDifference(run.frames, withoutFrame10(readFile(qClip.string() + ".bgra")), 320, {0, 1, 2});
    const int alphaDifference =
        maxDifference(run.frames, withoutFrame10(readFile(alphaClip.string() + ".bgra")), 320, {3});
    std::cout << "HapM: max colour difference " << colour << ", max alpha difference " << alphaDifference << "\n";
    EXPECT_LE(colour, tolerance);
    EXPECT_LE(alphaDifference, tolerance);
}

const Bytes texture = [] { // 8x8 DXT1: 4 blocks of 8 bytes
    Bytes t(32);
    std::iota(t.begin(), t.end(), 1);
    return t;
}();

Bytes snappyOf(const Bytes& raw)
{
    std::string packed;
    snappy::Compress(reinterpret_cast<const char*>(raw.data()), raw.size(), &packed);
    return Bytes(packed.begin(), packed.end());
}

Bytes chunked(const Bytes& compressors, const Bytes& sizes, const Bytes& offsets, const Bytes& data)
{
    const Bytes tables = section(0x02, compressors) + section(0x03, sizes);
    return section(0xCB, section(0x01, offsets.empty() ? tables : tables + section(0x04, offsets)) + data);
}

TEST(HapUnpacker, RefusesCorruptFramesWithAReason)
{
    const struct {
        Bytes frame;
        const char* error;
    } cases[] = {
        {{}, "too few for a section header"},
        {Bytes{32, 0, 0, 0xAB} + Bytes(31), "claims 32 bytes, 31 follow"},
        {{0, 0, 0, 0xAB, 32, 0}, "8-byte header"},
        {section(0xAB, Bytes(31)), "holds 31 bytes, a 8x8 frame needs 32"},
        {section(0xDB, texture), "unknown second-stage compressor 0xD"},
        {section(0xBC, texture), "BC7"},
        {section(0xA7, texture), "unknown texture format 0x7"},
        {section(0xA1, texture), "alpha-only"},
        {section(0xBB, snappyOf(Bytes(64))), "unpacks to 64 bytes"},
        {section(0xBB, Bytes{32, 0xFF, 0xFF, 0xFF}), "corrupt snappy"},
        {section(0xCB, section(0x02, {0x0A}) + texture), "not its decode instructions"},
        {section(0xCB, section(0x01, section(0x07, {1}))), "unknown section type 0x07"},
        {chunked({0x0A, 0x0A}, {32, 0, 0, 0}, {}, texture), "2 chunk compressors but 1"},
        {chunked({0x0A}, {32, 0, 0, 0}, {1, 0, 0, 0}, texture), "outside the 32 bytes"},
        {chunked({0x0A}, {16, 0, 0, 0}, {}, texture), "the texture needs 32"},
        {chunked({0x0A, 0x0A}, {32, 0, 0, 0, 1, 0, 0, 0}, {}, texture + Bytes{1}), "more than the 32 bytes"},
        {chunked({0x0C}, {32, 0, 0, 0}, {}, texture), "chunk 0: unknown"},
        {chunked({0x0B}, {4, 0, 0, 0}, {}, {32, 0xFF, 0xFF, 0xFF}), "corrupt snappy"},
        {section(0x0D, section(0xAB, texture) + section(0xA1, texture)), "goes only with"},
        {section(0x0D, section(0xA1, texture)), "no colour image"},
        {section(0x0D, section(0xA1, texture) + section(0xA1, texture)), "repeats"},
    };
    HapUnpacker unpacker(2);
    for (const auto& c : cases) {
        const HapUnpackResult result = unpacker.unpack(c.frame, 8, 8);
        EXPECT_FALSE(result);
        EXPECT_NE(result.error.find(c.error), std::string::npos) << result.error << " lacks " << c.error;
    }
    EXPECT_FALSE(unpacker.unpack(section(0xAB, texture), 0, 8));
    EXPECT_FALSE(unpacker.unpack(section(0xAB, texture), 8, hapMaxDimension + 1));

    // Each header form, snappy, and chunks placed out of order by their offsets must pass.
    const Bytes half1(texture.begin(), texture.begin() + 16), half2(texture.begin() + 16, texture.end());
    const std::uint8_t packedSize = std::uint8_t(snappyOf(half1).size());
    for (const Bytes& frame : {section(0xAB, texture), section(0xAB, texture, true), section(0xBB, snappyOf(texture)),
                               chunked({0x0B, 0x0A}, {packedSize, 0, 0, 0, 16, 0, 0, 0}, {16, 0, 0, 0, 0, 0, 0, 0},
                                       half2 + snappyOf(half1))}) {
        const HapUnpackResult result = unpacker.unpack(frame, 7, 5); // 2x2 blocks as well
        ASSERT_TRUE(result) << result.error;
        EXPECT_TRUE(std::ranges::equal(result.textures->colour.blocks, texture));
    }
}

// Real frames cut short or with bits flipped at random come back as values, never as a crash
// or a read outside the frame (which the AddressSanitizer build would report).
TEST(HapUnpacker, SurvivesTruncatedAndMangledRealFrames)
{
    if (!haveHapEncoder())
        GTEST_SKIP() << "ffmpeg has no HAP encoder";
    HapUnpacker unpacker(2);
    std::vector<std::uint32_t> pixels(320 * 240);
    const PixelTarget target{reinterpret_cast<std::uint8_t*>(pixels.data()), 320 * 4, 320, 240};
    std::mt19937 random(7);
    for (const char* format : {"hap", "hap_q"}) {
        const Bytes frame =
            runPipeline("filesrc location=" + makeClip(format, 3).string() + " ! qtdemux ! appsink name=out")
                .frames.at(0);
        for (std::size_t length = 0; length < frame.size(); length += 1 + length / 64)
            EXPECT_FALSE(unpacker.unpack({frame.data(), length}, 320, 240)) << length;
        for (int i = 0; i < 3000; ++i) {
            Bytes mangled = frame;
            for (int n = 0; n < 3; ++n) // half of them in the headers and tables
                mangled[random() % (i % 2 ? 64 : mangled.size())] ^= std::uint8_t(1 << (random() % 8));
            const auto result = unpacker.unpack(mangled, 320, 240);
            const auto dxt = format == std::string("hap") ? DxtFormat::dxt1 : DxtFormat::scaledYCoCgDxt5;
            EXPECT_TRUE(!result || decodeDxt(dxt, result.textures->colour.blocks, {}, target, 0, 60));
        }
    }
}

// Sizes that are not whole blocks: edge blocks are cut, and nothing is written past a row's
// pixels (a wider stride's padding) or past the last row (which ASan would report).
TEST(DxtDecoder, WritesOnlyInsideTheTarget)
{
    const std::uint32_t width = 5, height = 6, stride = 6 * 4, size = stride * (height - 1) + width * 4;
    Bytes blocks(dxtTextureSize(DxtFormat::scaledYCoCgDxt5, width, height));
    std::iota(blocks.begin(), blocks.end(), 0);
    for (const DxtFormat format : {DxtFormat::dxt1, DxtFormat::dxt5, DxtFormat::scaledYCoCgDxt5}) {
        auto pixels = std::make_unique<std::uint8_t[]>(size);
        std::fill_n(pixels.get(), size, 0xEE);
        const PixelTarget target{pixels.get(), stride, width, height, PixelOrder::rgba};
        EXPECT_TRUE(decodeDxt(format, blocks, blocks, target, 0, 1));
        EXPECT_TRUE(decodeDxt(format, blocks, blocks, target, 1, 99));
        for (std::uint32_t y = 0; y + 1 < height; ++y)
            EXPECT_EQ(pixels[y * stride + width * 4], 0xEE) << "padding of row " << y;
        EXPECT_FALSE(decodeDxt(format, {blocks.data(), dxtTextureSize(format, width, height) - 1}, {}, target, 0, 2));
        EXPECT_FALSE(decodeDxt(format, blocks, {}, PixelTarget{pixels.get(), width * 4 - 1, width, height}, 0, 2));
    }
}

} // namespace
} // namespace orvelo
