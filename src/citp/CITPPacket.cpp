#include "citp/CITPPacket.h"

#include "platform/ByteReader.h"
#include "platform/ByteWriter.h"

#include <QString>

#include <algorithm>
#include <array>
#include <limits>

namespace orvelo::citp {

namespace {

constexpr std::string_view cookie = "CITP";
constexpr std::array<std::string_view, 4> contentTypes{"PINF", "MSEX", "FPTC", "OMEX"};
constexpr std::string_view unknown = "Unknown";

bool matches(std::span<const std::uint8_t> bytes, std::size_t offset, std::string_view text)
{
    if (bytes.size() < offset + text.size())
        return false;
    return std::equal(text.begin(), text.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                      [](char c, std::uint8_t b) { return static_cast<std::uint8_t>(c) == b; });
}

bool isAscii(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// An ASCIIZ field; "Unknown" when it is missing, unterminated or not ASCII.
std::string asciiField(ByteReader& reader)
{
    const auto text = reader.cstring();
    if (!text || !isAscii(*text))
        return std::string(unknown);
    return *text;
}

// "CITP", version 1.0 and the two reserved bytes, common to both forms.
ByteWriter& citpPrefix(ByteWriter& w)
{
    return w.text(cookie, 4).u8(1).u8(0).u16le(0);
}

// The header of every MSEX reply: the compact prefix, "MSEX", four zero bytes, the code.
ByteWriter msexReply(std::string_view code)
{
    ByteWriter w(64);
    citpPrefix(w).text("MSEX", 4).zeros(4).text(code, 4);
    return w;
}

ByteWriter& layerBody(ByteWriter& w)
{
    return w.u8(1).u8(0x00).u8(0x01).cstring(layerName);
}

} // namespace

bool isContentType(std::span<const std::uint8_t> fourBytes)
{
    return std::any_of(contentTypes.begin(), contentTypes.end(),
                       [&](std::string_view type) { return matches(fourBytes, 0, type); });
}

std::optional<Classification> classify(std::span<const std::uint8_t> packet)
{
    if (packet.size() < standardBodyOffset || !matches(packet, 0, cookie))
        return std::nullopt;
    if (packet.size() >= extendedBodyOffset && isContentType(packet.subspan(16, 4)))
        return Classification{CITPHeaderType::extended, *codeAt(packet, 16), extendedBodyOffset};
    if (isContentType(packet.subspan(8, 4)))
        return Classification{CITPHeaderType::standard, *codeAt(packet, 8), standardBodyOffset};
    return std::nullopt;
}

std::optional<std::string> codeAt(std::span<const std::uint8_t> packet, std::size_t offset)
{
    if (offset > packet.size() || packet.size() - offset < 4)
        return std::nullopt;
    return std::string(reinterpret_cast<const char*>(packet.data() + offset), 4);
}

PeerLocation readPeerLocation(std::span<const std::uint8_t> packet, std::size_t bodyOffset)
{
    ByteReader reader(packet, bodyOffset);
    reader.skip(4); // "PLoc"
    reader.skip(2); // the peer's listening port
    PeerLocation location;
    location.type = asciiField(reader);
    location.name = asciiField(reader);
    return location;
}

std::uint8_t readMediaIndex(std::span<const std::uint8_t> packet, std::size_t bodyOffset)
{
    const std::size_t at = bodyOffset + 6;
    return at < packet.size() ? packet[at] : 0;
}

std::optional<ReceivedPatch> readPatch(std::span<const std::uint8_t> packet, std::size_t bodyOffset)
{
    ByteReader reader(packet, bodyOffset);
    reader.skip(4); // "Ptch"
    const auto count = reader.u16le();
    if (!count)
        return std::nullopt;
    ReceivedPatch patch;
    patch.announcedCount = *count;
    const std::size_t wanted = std::min<std::size_t>(*count, maxPatchFixtures);
    while (patch.fixtures.size() < wanted && reader.remaining() >= 6) {
        CITPFixture fixture;
        fixture.fixtureId = *reader.u16le();
        fixture.universe = *reader.u16le();
        fixture.channel = *reader.u16le();
        // The last record may end with the packet instead of a zero byte.
        const auto rest = reader.rest();
        const auto end = std::find(rest.begin(), rest.end(), std::uint8_t{0});
        const std::string extra(rest.begin(), end);
        fixture.extraInfo = isAscii(extra) ? extra : std::string();
        reader.skip(std::min<std::size_t>(extra.size() + 1, rest.size()));
        patch.fixtures.push_back(std::move(fixture));
    }
    return patch;
}

std::string patchSummary(const ReceivedPatch& patch)
{
    std::string summary = "Diff Patch: " + std::to_string(patch.announcedCount) + " fixtures. ";
    if (patch.fixtures.empty())
        return summary;
    const CITPFixture& first = patch.fixtures.front();
    summary += "Ex: ID " + std::to_string(first.fixtureId) + " @ U" + std::to_string(first.universe) + "/" +
               std::to_string(first.channel);
    if (!first.extraInfo.empty())
        summary += " (" + first.extraInfo + ")";
    return summary;
}

std::string elementLabel(const std::optional<QString>& trackName)
{
    if (!trackName)
        return "Empty";
    // A zero character would end the ASCIIZ field early, so it counts as not plain ASCII.
    const bool plain = std::all_of(trackName->begin(), trackName->end(),
                                   [](QChar c) { return c.unicode() > 0 && c.unicode() < 0x80; });
    return plain ? trackName->toStdString() : std::string(unknown);
}

std::vector<std::uint8_t> buildPeerLocation(CITPHeaderType form, std::uint16_t tcpPort)
{
    ByteWriter w(64);
    citpPrefix(w);
    if (form == CITPHeaderType::extended)
        w.u32le(0).u16le(1).u16le(0); // size (set below), part count, part index
    w.text("PINF", 4).text("PLoc", 4);
    w.u16le(tcpPort).cstring(peerType).cstring(serverName).cstring("Running").u8(0x00).u8(0x02);
    if (form == CITPHeaderType::extended)
        w.patchU32le(messageSizeOffset, static_cast<std::uint32_t>(w.size()));
    return w.take();
}

std::vector<std::uint8_t> buildServerInfo()
{
    ByteWriter w = msexReply("SInf");
    w.cstring(serverName).u8(1).cstring(layerName);
    return w.take();
}

std::vector<std::uint8_t> buildElementLibraryInfo(std::size_t count)
{
    ByteWriter w = msexReply("ELIn");
    w.u8(1).u8(static_cast<std::uint8_t>(std::min<std::size_t>(count, 255)));
    return w.take();
}

std::vector<std::uint8_t> buildThumbnailAccepted()
{
    ByteWriter w = msexReply("ThOK");
    w.u8(0x01).u8(0x00).u8(0x01).u8(0x00).cstring("RGB").u8(0x03).u8(0x00).zeros(3);
    return w.take();
}

std::vector<std::uint8_t> buildLayerInfo()
{
    ByteWriter w = msexReply("LInf");
    layerBody(w);
    return w.take();
}

std::vector<std::uint8_t> buildElementInfo(std::uint8_t index, std::string_view label)
{
    ByteWriter w = msexReply("ELin");
    w.u8(0x00).u8(index).cstring(label).zeros(8).u8(0x01);
    return w.take();
}

std::optional<std::vector<std::uint8_t>> buildThumbnail(std::uint8_t index, std::span<const std::uint8_t> jpeg)
{
    if (jpeg.size() > std::numeric_limits<std::uint16_t>::max())
        return std::nullopt;
    ByteWriter w = msexReply("SThm");
    w.u8(0x00).u8(index).u8(0x01).u16le(thumbnailSide).u16le(thumbnailSide);
    w.u16le(static_cast<std::uint16_t>(jpeg.size())).bytes(jpeg);
    return w.take();
}

std::vector<std::uint8_t> buildPatch()
{
    ByteWriter w(48);
    citpPrefix(w).text("FPTC", 4).text("Ptch", 4);
    w.u16le(1).u8(1).u8(0).u16le(0).u16le(1).cstring(serverName);
    return w.take();
}

} // namespace orvelo::citp
