// Protects how a CITP TCP stream is cut into messages: split and joined full-form messages each
// come out whole, compact ones keep the one-read rule, and a bad size or garbage is contained.
#include "citp/CITPStreamFramer.h"

#include "CITPTestSupport.h"

#include <gtest/gtest.h>

using namespace orvelo;
using namespace orvelo::test;

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

TEST(CITPStreamFramer, CompactFormTakesTheWholeRead)
{
    CITPStreamFramer framer;
    // A compact message has no size: whatever came with it belongs to it.
    const Bytes compact = cat({compactMessage("MSEX", "CInf"), fullMessage("MSEX", "GLIn")});
    EXPECT_EQ(framer.push(compact).messages, std::vector<Bytes>{compact});
    // Too short to tell the form yet: wait for more.
    EXPECT_TRUE(framer.push(std::span(compact).first(9)).messages.empty());
    EXPECT_EQ(framer.push(std::span(compact).subspan(9)).messages, std::vector<Bytes>{compact});
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
