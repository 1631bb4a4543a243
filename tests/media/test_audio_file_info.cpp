// Protects the FLAC length from the file's own sample count: STREAMINFO, an ID3 tag in front,
// and files that must give nothing rather than a wrong duration.
#include "MediaFixtures.h"
#include "platform/ByteWriter.h"
#include "platform/media/AudioFileInfo.h"

#include <fstream>

using namespace orvelo;
using namespace orvelo::test;

namespace {

std::vector<std::uint8_t> streamInfo(std::uint32_t sampleRate, std::uint64_t totalSamples, bool streamInfoFirst = true)
{
    ByteWriter w;
    w.u8('f').u8('L').u8('a').u8('C');
    w.u32be((streamInfoFirst ? 0u : 4u) << 24 | 34u); // block type and length
    w.u16be(4096).u16be(4096);                        // block sizes
    w.u8(0).u16be(0).u8(0).u16be(0);                  // frame sizes (24 bits each)
    // Sample rate (20 bits), channels - 1 (3), bits per sample - 1 (5), total samples (36).
    const std::uint64_t packed = std::uint64_t{sampleRate} << 44 | std::uint64_t{1} << 41 | std::uint64_t{15} << 36 |
                                 (totalSamples & 0xFFFFFFFFFULL);
    w.u32be(static_cast<std::uint32_t>(packed >> 32)).u32be(static_cast<std::uint32_t>(packed));
    for (int i = 0; i < 16; ++i)
        w.u8(0); // MD5
    return w.data();
}

} // namespace

TEST(AudioFileInfo, ReadsTheSampleCountAndRateOfStreamInfoAndTheSizeOfId3Tags)
{
    const auto info = parseFlacHeader(streamInfo(96000, 0x9ABCDEF01ULL));
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->packetCount, 0x9ABCDEF01ULL); // uses all 36 bits
    EXPECT_EQ(info->framesPerPacket, 1u);
    EXPECT_EQ(info->sampleRate, 96000.0);

    EXPECT_FALSE(parseFlacHeader(streamInfo(44100, 0))) << "0 samples means the count is unknown";
    EXPECT_FALSE(parseFlacHeader(streamInfo(0, 1000)));
    EXPECT_FALSE(parseFlacHeader(streamInfo(44100, 1000, false)));
    auto truncated = streamInfo(44100, 1000);
    truncated.resize(20);
    EXPECT_FALSE(parseFlacHeader(truncated));
    auto notFlac = streamInfo(44100, 1000);
    notFlac[0] = 'R';
    EXPECT_FALSE(parseFlacHeader(notFlac));

    const std::uint8_t tag[] = {'I', 'D', '3', 4, 0, 0x00, 0, 0, 2, 1};
    EXPECT_EQ(id3TagSize(tag), 10u + 2 * 128 + 1);
    const std::uint8_t tagWithFooter[] = {'I', 'D', '3', 4, 0, 0x10, 0, 0, 0, 5};
    EXPECT_EQ(id3TagSize(tagWithFooter), 10u + 5 + 10);
}

TEST(AudioFileInfo, MeasuresARealFileAlsoBehindAnId3Tag)
{
    // 37 buffers of 1000 samples: a length no container estimate rounds to by chance.
    const std::string flac =
        MediaFiles::generate("count37000.flac", "audiotestsrc samplesperbuffer=1000 num-buffers=37 "
                                                "! audio/x-raw,rate=44100,channels=2 ! flacenc "
                                                "! filesink location={out}");
    ASSERT_FALSE(flac.empty());
    const auto info = readAudioFileInfo(flac);
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->packetCount * info->framesPerPacket, 37000u);
    EXPECT_EQ(info->sampleRate, 44100.0);

    // The same stream behind a 300-byte ID3v2 tag, as some taggers write it.
    const std::string tagged = tempDir() + "/tagged.flac";
    const std::string header{'I', 'D', '3', 3, 0, 0, 0, 0, 2, 44};
    std::ofstream(tagged, std::ios::binary)
        << header << std::string(300, '\0') << std::ifstream(flac, std::ios::binary).rdbuf();
    const auto taggedInfo = readAudioFileInfo(tagged);
    ASSERT_TRUE(taggedInfo.has_value());
    EXPECT_EQ(taggedInfo->packetCount, 37000u);

    EXPECT_FALSE(readAudioFileInfo(MediaFiles::tone("wav", 1000)));
    EXPECT_FALSE(readAudioFileInfo(tempDir() + "/no-such.flac"));

    // GStreamer plays the file and agrees on its length.
    auto item = loadAndWait(flac);
    ASSERT_EQ(item->status(), MediaItem::Status::readyToPlay);
    EXPECT_NEAR(item->duration().value_or(0.0), 37000.0 / 44100.0, 0.03);
}
