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

TEST(CITPStreamFramer, FullFormMessageSplitAnywhereComesOutOnce)
{
    const Bytes request = fullMessage("MSEX", "GELI", {0x01, 0x02, 0x03});
    for (std::size_t cut = 1; cut < request.size(); ++cut) {
        SCOPED_TRACE(cut);
        CITPStreamFramer framer;
        EXPECT_TRUE(framer.push(part(request, 0, cut)).messages.empty());
        const auto rest = framer.push(part(request, cut, request.size()));
        ASSERT_EQ(rest.messages.size(), 1u);
        EXPECT_EQ(rest.messages[0], request);
        EXPECT_EQ(framer.buffered(), 0u);
    }
}

TEST(CITPStreamFramer, JoinedMessagesComeOutOneByOne)
{
    const Bytes first = fullMessage("MSEX", "CInf");
    const Bytes second = fullMessage("MSEX", "GETh", {0x07});
    const Bytes third = fullMessage("MSEX", "GLIn");
    CITPStreamFramer framer;
    const Bytes stream = cat({first, second, third});
    // Two and a half messages, then the rest.
    const std::size_t cut = first.size() + second.size() + 5;
    const auto head = framer.push(part(stream, 0, cut));
    ASSERT_EQ(head.messages.size(), 2u);
    EXPECT_EQ(head.messages[0], first);
    EXPECT_EQ(head.messages[1], second);
    EXPECT_EQ(framer.buffered(), 5u);
    const auto tail = framer.push(part(stream, cut, stream.size()));
    ASSERT_EQ(tail.messages.size(), 1u);
    EXPECT_EQ(tail.messages[0], third);
}

TEST(CITPStreamFramer, CompactFormTakesTheWholeRead)
{
    CITPStreamFramer framer;
    // A compact message has no size: whatever came with it belongs to it.
    const Bytes compact = cat({compactMessage("MSEX", "CInf"), fullMessage("MSEX", "GLIn")});
    const auto read = framer.push(compact);
    ASSERT_EQ(read.messages.size(), 1u);
    EXPECT_EQ(read.messages[0], compact);

    // Too short to tell the form yet: wait for more.
    const Bytes next = compactMessage("MSEX", "GETh");
    EXPECT_TRUE(framer.push(part(next, 0, 9)).messages.empty());
    const auto joined = framer.push(part(next, 9, next.size()));
    ASSERT_EQ(joined.messages.size(), 1u);
    EXPECT_EQ(joined.messages[0], next);

    // After a full-form message, a compact one in the same read.
    const Bytes mixed = cat({fullMessage("MSEX", "GLIn"), compactMessage("MSEX", "CInf")});
    EXPECT_EQ(framer.push(mixed).messages.size(), 2u);
}

TEST(CITPStreamFramer, ImpossibleSizesBreakTheStream)
{
    for (const std::uint32_t size : {0u, 19u, 65537u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(size);
        CITPStreamFramer framer;
        ByteWriter bad;
        bad.text("CITP", 4).u8(1).u8(0).u16le(0).u32le(size).u16le(1).u16le(0).text("MSEX", 4);
        const Bytes good = fullMessage("MSEX", "CInf");
        const auto result = framer.push(cat({good, bad.data()}));
        // What came before the bad header is still served.
        ASSERT_EQ(result.messages.size(), 1u);
        EXPECT_EQ(result.messages[0], good);
        EXPECT_TRUE(result.broken);
        EXPECT_EQ(result.badSize, size);
        EXPECT_EQ(framer.buffered(), 0u);
    }
    // The largest allowed size is waited for, and never more than that is kept.
    CITPStreamFramer framer;
    Bytes largest = fullMessage("MSEX", "xxxx", Bytes(CITPStreamFramer::maxMessageSize - 24, 0x41));
    ASSERT_EQ(largest.size(), CITPStreamFramer::maxMessageSize);
    std::size_t delivered = 0;
    for (std::size_t at = 0; at < largest.size(); at += 1000) {
        const auto result = framer.push(part(largest, at, std::min(at + 1000, largest.size())));
        EXPECT_FALSE(result.broken);
        delivered += result.messages.size();
        EXPECT_LT(framer.buffered(), CITPStreamFramer::maxMessageSize);
    }
    EXPECT_EQ(delivered, 1u);
}

TEST(CITPStreamFramer, GarbageIsDroppedAndTheNextReadStartsAfresh)
{
    CITPStreamFramer framer;
    EXPECT_TRUE(framer.push(ascii("GET / HTTP/1.1\r\n\r\n")).messages.empty());
    EXPECT_EQ(framer.buffered(), 0u);
    EXPECT_TRUE(framer.push(ascii("CIX")).messages.empty());
    EXPECT_EQ(framer.buffered(), 0u);
    // Garbage after a complete message goes; the message stays.
    const Bytes request = fullMessage("MSEX", "CInf");
    const auto result = framer.push(cat({request, ascii("noise")}));
    ASSERT_EQ(result.messages.size(), 1u);
    EXPECT_EQ(framer.buffered(), 0u);
    EXPECT_EQ(framer.push(request).messages.size(), 1u);
}
