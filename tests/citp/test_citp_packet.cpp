// Protects the byte layouts consoles see from the media server and the readers of what they send:
// every reply byte for byte, and truncated or malformed packets read safely.
#include "citp/CITPPacket.h"

#include "CITPTestSupport.h"

#include <QString>

#include <gtest/gtest.h>

using namespace orvelo;
using namespace orvelo::test;

namespace {

// The 20-byte header of every MSEX reply.
Bytes msexHeader(std::string_view code)
{
    return cat({ascii("CITP"),          // cookie
                {0x01, 0x00},           // version 1.0
                {0x00, 0x00},           // reserved
                ascii("MSEX"),          // content type
                {0x00, 0x00, 0x00, 0x00}, // four zero bytes
                ascii(code)});          // reply code
}

const Bytes plocBody = cat({{0xC9, 0x12},                 // listening TCP port 4809
                            ascii("MediaServer"), {0x00}, // peer type
                            ascii("Orvelo V4.1"), {0x00}, // peer name
                            ascii("Running"), {0x00},     // state
                            {0x00, 0x02}});               // trailing bytes

} // namespace

TEST(CITPBuilders, PeerLocationInBothHeaderForms)
{
    const Bytes compact = cat({ascii("CITP"),   // cookie
                               {0x01, 0x00},    // version 1.0
                               {0x00, 0x00},    // reserved
                               ascii("PINF"),   // content type
                               ascii("PLoc"),   // sub-code
                               plocBody});
    EXPECT_EQ(citp::buildPeerLocation(CITPHeaderType::standard, 4809), compact);

    const Bytes full = cat({ascii("CITP"),           // cookie
                            {0x01, 0x00},            // version 1.0
                            {0x00, 0x00},            // reserved
                            {0x3C, 0x00, 0x00, 0x00}, // message size 60 = the whole packet
                            {0x01, 0x00},            // part count 1
                            {0x00, 0x00},            // part 0
                            ascii("PINF"),           // content type
                            ascii("PLoc"),           // sub-code
                            plocBody});
    EXPECT_EQ(citp::buildPeerLocation(CITPHeaderType::extended, 4809), full);
    EXPECT_EQ(full.size(), 60u);

    // The announced port is the one MSEX clients are to connect to.
    const Bytes other = citp::buildPeerLocation(CITPHeaderType::standard, 0xABCD);
    EXPECT_EQ(other[16], 0xCD);
    EXPECT_EQ(other[17], 0xAB);
}

TEST(CITPBuilders, MSEXReplies)
{
    EXPECT_EQ(citp::buildServerInfo(), cat({msexHeader("SInf"),
                                            ascii("Orvelo V4.1"), {0x00}, // server name
                                            {0x01},                       // layer count
                                            ascii("Main Layer"), {0x00}})); // layer name

    EXPECT_EQ(citp::buildElementLibraryInfo(3), cat({msexHeader("ELIn"), {0x01}, {0x03}})); // library 1, 3 elements
    // One byte for the count: a longer playlist is announced as 255 elements.
    EXPECT_EQ(citp::buildElementLibraryInfo(300), cat({msexHeader("ELIn"), {0x01}, {0xFF}}));
    EXPECT_EQ(citp::buildElementLibraryInfo(255), cat({msexHeader("ELIn"), {0x01}, {0xFF}}));

    EXPECT_EQ(citp::buildLayerInfo(), cat({msexHeader("LInf"),
                                           {0x01},                       // layer count
                                           {0x00, 0x01},                 // fixed bytes
                                           ascii("Main Layer"), {0x00}})); // layer name

    EXPECT_EQ(citp::buildThumbnailAccepted(), cat({msexHeader("ThOK"),
                                                   {0x01, 0x00},       // fixed
                                                   {0x01, 0x00},       // fixed
                                                   ascii("RGB"), {0x00}, // format
                                                   {0x03, 0x00},       // fixed
                                                   {0x00, 0x00, 0x00}})); // fixed

    EXPECT_EQ(citp::buildElementInfo(7, "Intro.mov"), cat({msexHeader("ELin"),
                                                           {0x00},                     // fixed
                                                           {0x07},                     // media index
                                                           ascii("Intro.mov"), {0x00}, // element name
                                                           Bytes(8, 0x00),             // eight zero bytes
                                                           {0x01}}));                  // fixed

    const Bytes jpeg{0xFF, 0xD8, 0xFF, 0xD9};
    EXPECT_EQ(citp::buildThumbnail(2, jpeg), cat({msexHeader("SThm"),
                                                  {0x00},       // fixed
                                                  {0x02},       // media index
                                                  {0x01},       // fixed
                                                  {0x40, 0x00}, // width 64
                                                  {0x40, 0x00}, // height 64
                                                  {0x04, 0x00}, // JPEG length
                                                  jpeg}));
    // A picture that its 16-bit length cannot describe is not sent at all.
    EXPECT_FALSE(citp::buildThumbnail(0, Bytes(70000, 0)));
}

TEST(CITPBuilders, PatchAnswer)
{
    EXPECT_EQ(citp::buildPatch(), cat({ascii("CITP"), // cookie
                                       {0x01, 0x00},  // version 1.0
                                       {0x00, 0x00},  // reserved
                                       ascii("FPTC"), // content type
                                       ascii("Ptch"), // sub-code
                                       {0x01, 0x00},  // fixture identifier 1
                                       {0x01},        // universe 1
                                       {0x00},        // reserved
                                       {0x00, 0x00},  // channel 0
                                       {0x01, 0x00},  // channel count 1
                                       ascii("Orvelo V4.1"), {0x00}}));
}

TEST(CITPBuilders, ElementLabels)
{
    EXPECT_EQ(citp::elementLabel(QString("Show open.mp4")), "Show open.mp4");
    EXPECT_EQ(citp::elementLabel(QString::fromUtf8("Caf\u00e9.mov")), "Unknown");
    EXPECT_EQ(citp::elementLabel(QString(QChar(0)) + "x"), "Unknown");
    EXPECT_EQ(citp::elementLabel(std::nullopt), "Empty");
}

TEST(CITPReaders, ClassifiesBothHeaderForms)
{
    const auto compact = citp::classify(cat({ascii("CITP"), {1, 0, 0, 0}, ascii("PINF")}));
    ASSERT_TRUE(compact);
    EXPECT_EQ(compact->headerType, CITPHeaderType::standard);
    EXPECT_EQ(compact->contentType, "PINF");
    EXPECT_EQ(compact->bodyOffset, 12u);

    // Both readings fit: the full form wins.
    const auto both = citp::classify(cat({ascii("CITP"), {1, 0, 0, 0}, ascii("MSEX"), {1, 0, 0, 0}, ascii("FPTC")}));
    ASSERT_TRUE(both);
    EXPECT_EQ(both->headerType, CITPHeaderType::extended);
    EXPECT_EQ(both->contentType, "FPTC");
    EXPECT_EQ(both->bodyOffset, 20u);

    EXPECT_EQ(citp::classify(citp::buildPeerLocation(CITPHeaderType::extended, 1))->headerType, CITPHeaderType::extended);
    EXPECT_EQ(citp::classify(fullMessage("OMEX", "xxxx"))->contentType, "OMEX");

    EXPECT_FALSE(citp::classify(cat({ascii("CITQ"), {1, 0, 0, 0}, ascii("PINF")})));  // foreign cookie
    EXPECT_FALSE(citp::classify(cat({ascii("CITP"), {1, 0, 0, 0}, ascii("PIN")})));   // 11 bytes
    EXPECT_FALSE(citp::classify(cat({ascii("CITP"), {1, 0, 0, 0}, ascii("XXXX")})));  // unknown type
    // Content type at 16 needs the full 20 bytes.
    EXPECT_FALSE(citp::classify(cat({ascii("CITP"), {1, 0, 0, 0}, {9, 0, 0, 0}, {1, 0, 0, 0}, ascii("MSE")})));
    EXPECT_FALSE(citp::classify({}));
}

TEST(CITPReaders, PeerLocationFieldsFallBackToUnknown)
{
    for (const auto form : {CITPHeaderType::standard, CITPHeaderType::extended}) {
        const Bytes ours = citp::buildPeerLocation(form, 4809);
        const auto location = citp::readPeerLocation(ours, citp::classify(ours)->bodyOffset);
        EXPECT_EQ(location.type, "MediaServer");
        EXPECT_EQ(location.name, "Orvelo V4.1");
    }
    const Bytes head = cat({ascii("CITP"), {1, 0, 0, 0}, ascii("PINF"), ascii("PLoc"), {0x10, 0x00}});
    auto read = [](const Bytes& packet) { return citp::readPeerLocation(packet, 12); };

    EXPECT_EQ(read(cat({head, ascii("Console"), {0}, ascii("Desk A"), {0}})).name, "Desk A");
    const auto noName = read(cat({head, ascii("Console"), {0}}));
    EXPECT_EQ(noName.type, "Console");
    EXPECT_EQ(noName.name, "Unknown");
    const auto unterminatedName = read(cat({head, ascii("Console"), {0}, ascii("Desk")}));
    EXPECT_EQ(unterminatedName.name, "Unknown");
    const auto foreignType = read(cat({head, {0xC3, 0xA9, 0}, ascii("Desk B"), {0}}));
    EXPECT_EQ(foreignType.type, "Unknown");
    EXPECT_EQ(foreignType.name, "Desk B");
    const auto unterminatedType = read(cat({head, ascii("Console")}));
    EXPECT_EQ(unterminatedType.type, "Unknown");
    EXPECT_EQ(unterminatedType.name, "Unknown");
    // Cut inside the port, or before the sub-code ends.
    for (std::size_t length : {0u, 12u, 15u, 17u}) {
        const auto cut = read(Bytes(head.begin(), head.begin() + static_cast<std::ptrdiff_t>(std::min(length, head.size()))));
        EXPECT_EQ(cut.type, "Unknown");
        EXPECT_EQ(cut.name, "Unknown");
    }
}

TEST(CITPReaders, MediaIndexNeedsItsByte)
{
    const Bytes request = compactMessage("MSEX", "ELin", {0x00, 0x00, 0x05});
    EXPECT_EQ(citp::readMediaIndex(request, 12), 5);
    EXPECT_EQ(citp::readMediaIndex(Bytes(request.begin(), request.end() - 1), 12), 0);
    EXPECT_EQ(citp::readMediaIndex(fullMessage("MSEX", "SThm", {0x00, 0x00, 0x09}), 20), 9);
    EXPECT_EQ(citp::codeAt(request, 12), "ELin");
    EXPECT_FALSE(citp::codeAt(request, request.size() - 3));
    EXPECT_FALSE(citp::codeAt(request, request.size() + 10));
}

TEST(CITPReaders, PatchRecordsAreBoundedByCountPacketAndLimit)
{
    auto record = [](std::uint16_t id, std::uint16_t universe, std::uint16_t channel, std::string_view extra) {
        ByteWriter w;
        w.u16le(id).u16le(universe).u16le(channel).cstring(extra);
        return w.take();
    };
    auto patch = [](std::uint16_t count, const Bytes& records) {
        ByteWriter w;
        w.u16le(count).bytes(records);
        return compactMessage("FPTC", "Ptch", w.take());
    };

    const auto two = citp::readPatch(patch(2, cat({record(5, 1, 10, "Spot"), record(6, 2, 20, "")})), 12);
    ASSERT_TRUE(two);
    ASSERT_EQ(two->fixtures.size(), 2u);
    EXPECT_EQ(two->fixtures[1].fixtureId, 6);
    EXPECT_EQ(two->fixtures[1].universe, 2);
    EXPECT_EQ(two->fixtures[1].channel, 20);
    EXPECT_NE(two->fixtures[0].id, two->fixtures[1].id);
    EXPECT_EQ(citp::patchSummary(*two), "Diff Patch: 2 fixtures. Ex: ID 5 @ U1/10 (Spot)");

    // 150 announced and present: only the first 100 are kept, the announced count is reported.
    Bytes many;
    for (std::uint16_t i = 0; i < 150; ++i)
        many = cat({many, record(i, 1, i, "")});
    const auto capped = citp::readPatch(patch(150, many), 12);
    ASSERT_EQ(capped->fixtures.size(), 100u);
    EXPECT_EQ(capped->fixtures.back().fixtureId, 99);
    EXPECT_EQ(citp::patchSummary(*capped), "Diff Patch: 150 fixtures. Ex: ID 0 @ U1/0");

    // More announced than sent; a last record without its zero byte; a stub too short for a record.
    const auto shortPatch = citp::readPatch(patch(9, cat({record(1, 1, 1, "a"), {7, 0, 8, 0, 9, 0}, ascii("tail")})), 12);
    ASSERT_EQ(shortPatch->fixtures.size(), 2u);
    EXPECT_EQ(shortPatch->fixtures[1].extraInfo, "tail");
    EXPECT_EQ(citp::readPatch(patch(3, cat({record(1, 1, 1, "a"), {1, 0, 2, 0, 3}})), 12)->fixtures.size(), 1u);
    EXPECT_EQ(citp::readPatch(patch(1, {1, 0, 2, 0, 3, 0, 0xFF, 0}), 12)->fixtures[0].extraInfo, "");

    const auto none = citp::readPatch(patch(0, {}), 12);
    ASSERT_TRUE(none);
    EXPECT_EQ(citp::patchSummary(*none), "Diff Patch: 0 fixtures. ");
    EXPECT_FALSE(citp::readPatch(compactMessage("FPTC", "Ptch", {0x01}), 12));
}
