#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace orvelo {

// What an audio file's own header says about its length, so a duration can be computed from
// the exact sample count instead of a container estimate: packetCount × framesPerPacket ÷
// sampleRate seconds.
struct AudioFileInfo {
    std::uint64_t packetCount = 0;
    std::uint32_t framesPerPacket = 0;
    double sampleRate = 0.0;
};

// Reads a FLAC file's STREAMINFO block (after an optional ID3v2 tag). Gives nothing for other
// files, for unreadable ones and for streams that do not record their sample count.
std::optional<AudioFileInfo> readAudioFileInfo(const std::string& path);

// The same from a FLAC stream's first 42 bytes ("fLaC" and the STREAMINFO block).
std::optional<AudioFileInfo> parseFlacHeader(std::span<const std::uint8_t> bytes);

// Length in bytes of an ID3v2 tag at the start of `bytes` (10 are enough), 0 without one.
std::size_t id3TagSize(std::span<const std::uint8_t> bytes);

} // namespace orvelo
