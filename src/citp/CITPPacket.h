#pragma once

#include "citp/CITPFixture.h"
#include "citp/CITPHeaderType.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class QString;

namespace orvelo::citp {

// Every CITP, MSEX and FPTC layout the media server reads or writes. Little-endian throughout.
// These are the server's own short forms (compact header, ASCII texts, one-byte counts), which
// consoles in the field accept; they are not the richer published layouts. Pure: bytes in,
// values out.

inline constexpr std::uint16_t defaultPort = 4809;
inline constexpr std::string_view multicastGroup = "224.0.0.180";
inline constexpr std::string_view serverName = "Orvelo V4.1";
inline constexpr std::string_view layerName = "Main Layer";
inline constexpr std::string_view peerType = "MediaServer";

// Sub-code (or MSEX request code) offset of each header form.
inline constexpr std::size_t standardBodyOffset = 12;
inline constexpr std::size_t extendedBodyOffset = 20;
// Where the message size sits in the full header form.
inline constexpr std::size_t messageSizeOffset = 8;
inline constexpr std::size_t maxPatchFixtures = 100;
inline constexpr int thumbnailSide = 64;

struct Classification {
    CITPHeaderType headerType;
    std::string contentType; // "PINF", "MSEX", "FPTC" or "OMEX"
    std::size_t bodyOffset;  // where the sub-code starts
};

// The header form and content type of a received packet, or nothing when it is no CITP
// packet of a known content type. The full form wins when both readings fit.
std::optional<Classification> classify(std::span<const std::uint8_t> packet);

bool isContentType(std::span<const std::uint8_t> fourBytes);

// The four characters at `offset`, or nothing when the packet ends before them.
std::optional<std::string> codeAt(std::span<const std::uint8_t> packet, std::size_t offset);

// Type and name from another peer's PLoc; a field that is missing, unterminated or not ASCII
// reads "Unknown".
struct PeerLocation {
    std::string type;
    std::string name;
};
PeerLocation readPeerLocation(std::span<const std::uint8_t> packet, std::size_t bodyOffset);

// The media index of a UDP "ELin" or "SThm" request; 0 when the packet is too short to hold one.
std::uint8_t readMediaIndex(std::span<const std::uint8_t> packet, std::size_t bodyOffset);

// A received "Ptch": the count the console announced and the records actually read (at most
// 100, while at least 6 bytes remain for one). Nothing when the packet ends before the count.
struct ReceivedPatch {
    std::uint16_t announcedCount = 0;
    std::vector<CITPFixture> fixtures;
};
std::optional<ReceivedPatch> readPatch(std::span<const std::uint8_t> packet, std::size_t bodyOffset);

// "Diff Patch: <count> fixtures. " and, with a first record, "Ex: ID <id> @ U<u>/<ch>" plus its
// extra information in brackets when there is any.
std::string patchSummary(const ReceivedPatch& patch);

// The element name an "ELin" answer carries: the track name, "Unknown" when it is not plain
// ASCII, "Empty" when there is no track at the index.
std::string elementLabel(const std::optional<QString>& trackName);

// PINF/PLoc announcement in either header form; `tcpPort` is the port MSEX clients connect to.
std::vector<std::uint8_t> buildPeerLocation(CITPHeaderType form, std::uint16_t tcpPort);

// MSEX replies.
std::vector<std::uint8_t> buildServerInfo();                                            // "SInf"
std::vector<std::uint8_t> buildElementLibraryInfo(std::size_t count);                   // "ELIn", count capped at 255
std::vector<std::uint8_t> buildThumbnailAccepted();                                     // "ThOK"
std::vector<std::uint8_t> buildLayerInfo();                                             // "LInf"
std::vector<std::uint8_t> buildElementInfo(std::uint8_t index, std::string_view label); // "ELin"
// "SThm"; nothing when the picture does not fit its 16-bit length field.
std::optional<std::vector<std::uint8_t>> buildThumbnail(std::uint8_t index, std::span<const std::uint8_t> jpeg);

// FPTC "Ptch" answering a "SndP": the server as one fixture, universe 1.
std::vector<std::uint8_t> buildPatch();

} // namespace orvelo::citp
