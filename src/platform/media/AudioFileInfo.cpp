#include "platform/media/AudioFileInfo.h"

#include "platform/ByteReader.h"

#include <array>
#include <fstream>

namespace orvelo {

namespace {

constexpr std::size_t id3HeaderSize = 10;
// "fLaC", the metadata block header and the 34-byte STREAMINFO body.
constexpr std::size_t flacHeaderSize = 4 + 4 + 34;

} // namespace

std::size_t id3TagSize(std::span<const std::uint8_t> bytes)
{
    ByteReader r(bytes);
    const auto magic = r.bytes(3);
    if (!magic || (*magic)[0] != 'I' || (*magic)[1] != 'D' || (*magic)[2] != '3')
        return 0;
    r.skip(2); // version
    const auto flags = r.u8();
    const auto size = r.bytes(4); // "syncsafe": seven bits per byte
    if (!flags || !size)
        return 0;
    std::size_t body = 0;
    for (std::uint8_t b : *size)
        body = (body << 7) | (b & 0x7F);
    const bool footer = (*flags & 0x10) != 0;
    return id3HeaderSize + body + (footer ? id3HeaderSize : 0);
}

std::optional<AudioFileInfo> parseFlacHeader(std::span<const std::uint8_t> bytes)
{
    ByteReader r(bytes);
    const auto magic = r.u32be();
    if (!magic || *magic != 0x664C6143) // "fLaC"
        return std::nullopt;
    // The first metadata block is always STREAMINFO (type 0), at least 34 bytes long.
    const auto blockHeader = r.u32be();
    if (!blockHeader || ((*blockHeader >> 24) & 0x7F) != 0 || (*blockHeader & 0xFFFFFF) < 34)
        return std::nullopt;
    r.skip(2 + 2 + 3 + 3); // block sizes and frame sizes
    const auto high = r.u32be();
    const auto low = r.u32be();
    if (!r.ok() || !high || !low)
        return std::nullopt;
    // 20 bits sample rate, 3 bits channels - 1, 5 bits bits per sample - 1, 36 bits samples.
    const std::uint64_t packed = (std::uint64_t{*high} << 32) | *low;
    const auto sampleRate = static_cast<std::uint32_t>(packed >> 44);
    const std::uint64_t totalSamples = packed & 0xFFFFFFFFFULL;
    if (sampleRate == 0 || totalSamples == 0) // 0 samples means "not recorded"
        return std::nullopt;
    return AudioFileInfo{totalSamples, 1, static_cast<double>(sampleRate)};
}

std::optional<AudioFileInfo> readAudioFileInfo(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::array<std::uint8_t, flacHeaderSize> bytes{};
    const auto readHeader = [&] {
        file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return file.gcount() == static_cast<std::streamsize>(bytes.size());
    };
    if (!file || !readHeader())
        return std::nullopt;
    // Some taggers put an ID3v2 tag (often with cover art) in front of the FLAC stream.
    if (const std::size_t tag = id3TagSize(bytes); tag > 0) {
        file.seekg(static_cast<std::streamoff>(tag));
        if (!file || !readHeader())
            return std::nullopt;
    }
    return parseFlacHeader(bytes);
}

} // namespace orvelo
