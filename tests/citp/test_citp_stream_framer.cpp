// Protects how a CITP TCP stream is cut into messages: split and joined full-form messages each
// come out whole, compact ones keep the one-read rule, and a bad size or garbage is contained.
#include "citp/CITPStreamFramer.h"

#include "CITPTestSupport.h"

#include <gtest/gtest.h>

using namespace orvelo;
using namespace orvelo::test;

namespace {

std::span<const std::uint8_t> part(const Bytes& bytes, std::size_t from, std::size_t to)
{
    return std::span<const std::uint8_t>(bytes).subspan(from, to - from);
}

} // namespace

TEST(CITPStreamFramer, FullFormMessagesSplitOrJoinedComeOutOnceEach)
{
    const Bytes request = fullMessage("MSEX", "GELI", {0x01, 0x02, 0x03});
    for (std::size_t cut = 1; cut < request.size(); ++cut) {
        SCOPED_TRACE(cut);
        CITPStreamFramer framer;
        EXPECT_TRUE(framer.push(part(request, 0, cut)).messages.empty());
        EXPECT_EQ(framer.push(part(request, cut, request.size())).messages, std::vector<Bytes>{request});
        EXPECT_EQ(framer.buffered(), 0u);
    }

    const Bytes first = fullMessage("MSEX", "CInf");
    const Bytes second = fullMessage("MSEX", "GETh", {0x07});
    const Bytes third = fullMessage("MSEX", "GLIn");
    const Bytes stream = cat({first, second, third});
    CITPStreamFramer framer;
    // Two and a half messages, then the rest.
    const std::size_t cut = first.size() + second.size() + 5;
    EXPECT_EQ(framer.push(part(stream, 0, cut)).messages, (std::vector<Bytes>{first, second}));
    EXPECT_EQ(framer.buffered(), 5u);
    EXPECT_EQ(framer.push(part(stream, cut, stream.size())).messages, std::vector<Bytes>{third});
}

TEST(CITPStreamFramer, CompactFormTakesTheWholeRead)
{
    CITPStreamFramer framer;
    // A compact message has no size: whatever came with it belongs to it.
    const Bytes compact = cat({compactMessage("MSEX", "CInf"), fullMessage("MSEX", "GLIn")});
    EXPECT_EQ(framer.push(compact).messages, std::vector<Bytes>{compact});
    // Too short to tell the form yet: wait for more.
    const Bytes next = compactMessage("MSEX", "GETh");
    EXPECT_TRUE(framer.push(part(next, 0, 9)).messages.empty());
    EXPECT_EQ(framer.push(part(next, 9, next.size())).messages, std::vector<Bytes>{next});
    // After a full-form message, a compact one in the same read.
    EXPECT_EQ(framer.push(cat({fullMessage("MSEX", "GLIn"), compactMessage("MSEX", "CInf")})).messages.size(), 2u);
}

TEST(CITPStreamFramer, ImpossibleSizesAndGarbageAreContained)
{
    const Bytes good = fullMessage("MSEX", "CInf");
    for (const std::uint32_t size : {0u, 19u, 65537u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(size);
        CITPStreamFramer framer;
        ByteWriter bad;
        bad.text("CITP", 4).u8(1).u8(0).u16le(0).u32le(size).u16le(1).u16le(0).text("MSEX", 4);
        const auto result = framer.push(cat({good, bad.data()}));
        // What came before the bad header is still served.
        EXPECT_EQ(result.messages, std::vector<Bytes>{good});
        EXPECT_TRUE(result.broken);
        EXPECT_EQ(result.badSize, size);
        EXPECT_EQ(framer.buffered(), 0u);
    }
    // The largest allowed size is waited for, and never more than that is kept.
    CITPStreamFramer framer;
    const Bytes largest = fullMessage("MSEX", "xxxx", Bytes(CITPStreamFramer::maxMessageSize - 24, 0x41));
    ASSERT_EQ(largest.size(), CITPStreamFramer::maxMessageSize);
    std::size_t delivered = 0;
    for (std::size_t at = 0; at < largest.size(); at += 1000) {
        const auto result = framer.push(part(largest, at, std::min(at + 1000, largest.size())));
        EXPECT_FALSE(result.broken);
        delivered += result.messages.size();
        EXPECT_LT(framer.buffered(), CITPStreamFramer::maxMessageSize);
    }
    EXPECT_EQ(delivered, 1u);

    // Garbage is dropped, also after a complete message, and the next read starts afresh.
    EXPECT_TRUE(framer.push(ascii("GET / HTTP/1.1\r\n\r\n")).messages.empty());
    EXPECT_TRUE(framer.push(ascii("CIX")).messages.empty());
    EXPECT_EQ(framer.buffered(), 0u);
    EXPECT_EQ(framer.push(cat({good, ascii("noise")})).messages, std::vector<Bytes>{good});
    EXPECT_EQ(framer.buffered(), 0u);
    EXPECT_EQ(framer.push(good).messages, std::vector<Bytes>{good});
}
