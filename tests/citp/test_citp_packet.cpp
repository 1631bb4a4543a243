// The CITP layouts byte for byte, the readers of what consoles send, and the TCP framer: malformed
// or mutated input is read safely and never outside the bytes given.
#include "citp/CITPPacket.h"
#include "citp/CITPStreamFramer.h"

#include "CITPTestSupport.h"

#include <QString>

#include <gtest/gtest.h>

#include <random>

using namespace orvelo;
using namespace orvelo::test;

namespace {

// The compact header: cookie, version 1.0, two reserved bytes, content type.
Bytes compactHeader(std::string_view type)
{
    return cat({ascii("CITP"), {0x01, 0x00, 0x00, 0x00}, ascii(type)});
}

// Every MSEX reply: the compact header, four zero bytes, the reply code.
Bytes msexHeader(std::string_view code)
{
    return cat({compactHeader("MSEX"), {0, 0, 0, 0}, ascii(code)});
}

} // namespace

TEST(CITPBuilders, EveryReplyByteForByte)
{
    // TCP port 4809, type, name, state, trailer.
    const Bytes body =
        cat({{0xC9, 0x12}, ascii("MediaServer"), {0}, ascii("Orvelo V4.1"), {0}, ascii("Running"), {0}, {0, 2}});
    EXPECT_EQ(citp::buildPeerLocation(CITPHeaderType::standard, 4809),
              cat({compactHeader("PINF"), ascii("PLoc"), body}));
    // Cookie, version, reserved; message size 60 = the whole packet; part count 1, part 0.
    EXPECT_EQ(citp::buildPeerLocation(CITPHeaderType::extended, 4809),
              cat({ascii("CITP"), {1, 0, 0, 0}, {60, 0, 0, 0}, {1, 0, 0, 0}, ascii("PINF"), ascii("PLoc"), body}));

    // Server name; one layer, its name.
    EXPECT_EQ(citp::buildServerInfo(),
              cat({msexHeader("SInf"), ascii("Orvelo V4.1"), {0}, {1}, ascii("Main Layer"), {0}}));
    // Library 1; one byte for the element count: a longer playlist is announced as 255 elements.
    EXPECT_EQ(citp::buildElementLibraryInfo(3), cat({msexHeader("ELIn"), {0x01, 0x03}}));
    EXPECT_EQ(citp::buildElementLibraryInfo(300).back(), 0xFF);
    EXPECT_EQ(citp::buildLayerInfo(), cat({msexHeader("LInf"), {0x01, 0x00, 0x01}, ascii("Main Layer"), {0}}));
    EXPECT_EQ(citp::buildThumbnailAccepted(),
              cat({msexHeader("ThOK"), {0x01, 0x00, 0x01, 0x00}, ascii("RGB"), {0}, {0x03, 0x00, 0x00, 0x00, 0x00}}));
    EXPECT_EQ(citp::buildElementInfo(7, "Intro.mov"),
              cat({msexHeader("ELin"), {0x00, 0x07}, ascii("Intro.mov"), {0}, Bytes(8, 0), {0x01}}));
    // Index 2, 64 x 64, the JPEG's length, the JPEG.
    const Bytes jpeg{0xFF, 0xD8, 0xFF, 0xD9};
    EXPECT_EQ(citp::buildThumbnail(2, jpeg),
              cat({msexHeader("SThm"), {0x00, 0x02, 0x01}, {0x40, 0x00, 0x40, 0x00}, {0x04, 0x00}, jpeg}));
    // A picture that its 16-bit length cannot describe is not sent at all.
    EXPECT_FALSE(citp::buildThumbnail(0, Bytes(70000, 0)));
    // Fixture 1, universe 1, reserved, channel 0, one channel, the name.
    EXPECT_EQ(citp::buildPatch(),
              cat({compactHeader("FPTC"), ascii("Ptch"), {1, 0, 1, 0}, {0, 0, 1, 0}, ascii("Orvelo V4.1"), {0}}));

    EXPECT_EQ(citp::elementLabel(QString("Show open.mp4")), "Show open.mp4");
    for (const QString& unsafe : {QString::fromUtf8("Caf\u00e9.mov"), QString(QChar(0)) + "x"})
        EXPECT_EQ(citp::elementLabel(unsafe), "Unknown");
    EXPECT_EQ(citp::elementLabel(std::nullopt), "Empty");
}

TEST(CITPReaders, ClassifiesBothHeaderFormsAndNothingElse)
{
    const auto compact = citp::classify(compactHeader("PINF"));
    ASSERT_TRUE(compact);
    EXPECT_EQ(compact->headerType, CITPHeaderType::standard);
    EXPECT_EQ(compact->bodyOffset, 12u);
    // Both readings fit: the full form wins.
    const auto both = citp::classify(cat({compactHeader("MSEX"), {1, 0, 0, 0}, ascii("FPTC")}));
    ASSERT_TRUE(both);
    EXPECT_EQ(both->contentType, "FPTC");
    EXPECT_EQ(both->bodyOffset, 20u);
    for (const Bytes& notCITP : {cat({ascii("CITQ"), {1, 0, 0, 0}, ascii("PINF")}), // foreign cookie
                                 cat({ascii("CITP"), {1, 0, 0, 0}, ascii("PIN")}),  // 11 bytes
                                 compactHeader("XXXX")})                            // unknown type
        EXPECT_FALSE(citp::classify(notCITP));

    const Bytes request = compactMessage("MSEX", "ELin", {0x00, 0x00, 0x05});
    EXPECT_EQ(citp::readMediaIndex(request, 12), 5);
    EXPECT_EQ(citp::readMediaIndex(Bytes(request.begin(), request.end() - 1), 12), 0);
    EXPECT_EQ(citp::codeAt(request, 12), "ELin");
    EXPECT_FALSE(citp::codeAt(request, request.size() - 3));
    EXPECT_FALSE(citp::codeAt(request, request.size() + 10));
}

TEST(CITPReaders, PeerLocationFieldsFallBackToUnknown)
{
    const Bytes head = cat({compactHeader("PINF"), ascii("PLoc"), {0x10, 0x00}});
    const struct {
        Bytes packet;
        std::string type, name;
    } cases[] = {
        {cat({head, ascii("Console"), {0}, ascii("Desk A"), {0}}), "Console", "Desk A"},
        {cat({head, ascii("Console"), {0}, ascii("Desk")}), "Console", "Unknown"}, // unterminated name
        {cat({head, {0xC3, 0xA9, 0}, ascii("Desk B"), {0}}), "Unknown", "Desk B"}, // not ASCII
        {Bytes(head.begin(), head.begin() + 17), "Unknown", "Unknown"},            // cut inside the port
    };
    for (const auto& c : cases) {
        const auto read = citp::readPeerLocation(c.packet, 12);
        EXPECT_EQ(read.type, c.type) << c.packet.size();
        EXPECT_EQ(read.name, c.name) << c.packet.size();
    }
}

TEST(CITPReaders, PatchRecordsAreBoundedByCountPacketAndLimit)
{
    auto record = [](std::uint16_t id, std::uint16_t channel, std::string_view extra) {
        return ByteWriter().u16le(id).u16le(1).u16le(channel).cstring(extra).take();
    };
    auto patch = [](std::uint16_t count, const Bytes& records) {
        return citp::readPatch(compactMessage("FPTC", "Ptch", ByteWriter().u16le(count).bytes(records).take()), 12);
    };
    const auto two = patch(2, cat({record(5, 10, "Spot"), record(6, 20, "")}));
    ASSERT_EQ(two->fixtures.size(), 2u);
    EXPECT_EQ(citp::patchSummary(*two), "Diff Patch: 2 fixtures. Ex: ID 5 @ U1/10 (Spot)");

    // 150 announced and present: only the first 100 are kept, the announced count is reported.
    Bytes many;
    for (std::uint16_t i = 0; i < 150; ++i)
        many = cat({many, record(i, i, "")});
    const auto capped = patch(150, many);
    ASSERT_EQ(capped->fixtures.size(), 100u);
    EXPECT_EQ(citp::patchSummary(*capped), "Diff Patch: 150 fixtures. Ex: ID 0 @ U1/0");

    // More announced than sent, the last record without its zero byte; extra text not ASCII.
    const auto shortPatch = patch(9, cat({record(1, 1, "a"), {7, 0, 8, 0, 9, 0}, ascii("tail")}));
    ASSERT_EQ(shortPatch->fixtures.size(), 2u);
    EXPECT_EQ(shortPatch->fixtures[1].extraInfo, "tail");
    EXPECT_EQ(patch(1, {1, 0, 2, 0, 3, 0, 0xFF, 0})->fixtures[0].extraInfo, "");
    EXPECT_EQ(citp::patchSummary(*patch(0, {})), "Diff Patch: 0 fixtures. ");
    EXPECT_FALSE(citp::readPatch(compactMessage("FPTC", "Ptch", {0x01}), 12));
}

TEST(CITPStreamFramer, FullFormMessagesSplitOrJoinedComeOutOnceEach)
{
    const Bytes request = fullMessage("MSEX", "GELI", {0x01, 0x02, 0x03});
    for (std::size_t cut = 1; cut < request.size(); ++cut) {
        SCOPED_TRACE(cut);
        CITPStreamFramer framer;
        EXPECT_TRUE(framer.push(std::span(request).first(cut)).messages.empty());
        EXPECT_EQ(framer.push(std::span(request).subspan(cut)).messages, std::vector<Bytes>{request});
        EXPECT_EQ(framer.buffered(), 0u);
    }
    // Two and a half messages, then the rest.
    const Bytes second = fullMessage("MSEX", "GETh", {0x07});
    const Bytes stream = cat({request, second, request});
    const std::size_t cut = request.size() + second.size() + 5;
    CITPStreamFramer framer;
    EXPECT_EQ(framer.push(std::span(stream).first(cut)).messages, (std::vector<Bytes>{request, second}));
    EXPECT_EQ(framer.push(std::span(stream).subspan(cut)).messages, std::vector<Bytes>{request});
}

TEST(CITPStreamFramer, ImpossibleSizesAndGarbageAreContained)
{
    const Bytes good = fullMessage("MSEX", "CInf");
    for (const std::uint32_t size : {19u, std::uint32_t{CITPStreamFramer::maxMessageSize} + 1}) {
        SCOPED_TRACE(size);
        CITPStreamFramer framer;
        ByteWriter bad;
        bad.bytes(good).patchU32le(8, size);
        const auto result = framer.push(cat({good, bad.data()}));
        // What came before the bad header is still served.
        EXPECT_EQ(result.messages, std::vector<Bytes>{good});
        EXPECT_TRUE(result.broken);
        EXPECT_EQ(result.badSize, size);
        EXPECT_EQ(framer.buffered(), 0u);
    }
    // The largest allowed size is served.
    CITPStreamFramer framer;
    EXPECT_EQ(framer.push(fullMessage("MSEX", "xxxx", Bytes(CITPStreamFramer::maxMessageSize - 24, 0))).messages.size(),
              1u);
    // Garbage is dropped, also after a complete message, and the next read starts afresh.
    EXPECT_EQ(framer.push(cat({good, ascii("noise")})).messages, std::vector<Bytes>{good});
    EXPECT_EQ(framer.buffered(), 0u);
    EXPECT_EQ(framer.push(good).messages, std::vector<Bytes>{good});
}

TEST(CITPFuzz, MutatedPacketsAndStreamsAreReadSafely)
{
    std::mt19937 random(11);
    const auto below = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random); };
    const std::pair<std::string_view, std::string_view> kinds[] = {
        {"PINF", "PLoc"}, {"MSEX", "ELin"}, {"FPTC", "Ptch"}};
    CITPStreamFramer framer;
    for (int i = 0; i < 3000; ++i) {
        // A request of a kind the server reads, in either header form, then flipped and maybe cut.
        const auto& [type, code] = kinds[below(std::size(kinds))];
        Bytes body(below(120));
        for (auto& b : body)
            b = below(4) == 0 ? 0 : static_cast<std::uint8_t>(below(256));
        Bytes p = below(2) == 0 ? fullMessage(type, code, body) : compactMessage(type, code, body);
        for (std::size_t n = below(4); n > 0; --n)
            p[below(p.size())] = static_cast<std::uint8_t>(below(256));
        p.resize(below(3) == 0 ? below(p.size()) : p.size());
        // Each in its own allocation, read at every offset, and pushed as a stream cut anywhere.
        const Bytes packet(p.begin(), p.end());
        (void)citp::classify(packet);
        for (std::size_t offset = 0; offset <= packet.size() + 2; ++offset) {
            (void)citp::codeAt(packet, offset);
            (void)citp::readPeerLocation(packet, offset);
            (void)citp::readMediaIndex(packet, offset);
            if (const auto patch = citp::readPatch(packet, offset)) {
                EXPECT_LE(patch->fixtures.size(), citp::maxPatchFixtures) << citp::patchSummary(*patch);
            }
        }
        const auto result = framer.push(packet);
        for (const Bytes& message : result.messages)
            EXPECT_TRUE(message.size() >= 12 && std::equal(message.begin(), message.begin() + 4, "CITP"));
        EXPECT_LE(framer.buffered(), CITPStreamFramer::maxMessageSize);
    }
}
