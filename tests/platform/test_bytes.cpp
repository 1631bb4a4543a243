// Protects the byte helpers every packet goes through: field order and endianness, and that a
// read past the end fails instead of touching memory beyond the datagram.
#include "platform/ByteReader.h"
#include "platform/ByteWriter.h"

#include <gtest/gtest.h>

using namespace orvelo;

TEST(ByteWriter, WritesFieldsInOrderAndEndiannessAndCutsTextToItsField)
{
    ByteWriter w;
    w.u8(0x01).u16be(0x0203).u16le(0x0504).u32be(0x06070809).u32le(0x0D0C0B0A);
    w.text("AB", 4).cstring("C").text("DEF", 2);
    w.patchU16be(1, 0xBEEF);
    EXPECT_EQ(w.data(), (std::vector<std::uint8_t>{0x01, 0xBE, 0xEF, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B,
                                                   0x0C, 0x0D, 'A',  'B',  0,    0,    'C',  0,    'D',  'E'}));
}

TEST(ByteReader, ReadsBackWhatTheWriterWroteAndAReadPastTheEndFailsForGood)
{
    ByteWriter w;
    w.u16le(0x1234).u16be(0x5678).u32le(0xCAFEBABE).u64le(0x0102030405060708ULL).cstring("hi");
    ByteReader r(w.data());
    EXPECT_EQ(r.u16le(), 0x1234);
    EXPECT_EQ(r.u16be(), 0x5678);
    EXPECT_EQ(r.u32le(), 0xCAFEBABEu);
    EXPECT_EQ(r.u64le(), 0x0102030405060708ULL);
    EXPECT_EQ(r.cstring(), "hi");
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(r.remaining(), 0u);

    const std::vector<std::uint8_t> data{1, 2, 3};
    ByteReader past(data);
    EXPECT_EQ(past.u16be(), 0x0102);
    EXPECT_FALSE(past.u16be().has_value());
    EXPECT_FALSE(past.ok());
    EXPECT_FALSE(past.u8().has_value()) << "a failed reader must not resume";
    EXPECT_FALSE(ByteReader(data).cstring().has_value()) << "no terminating zero";
    EXPECT_FALSE(ByteReader(data).bytes(SIZE_MAX).has_value());
}
