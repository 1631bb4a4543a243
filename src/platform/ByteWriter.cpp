#include "platform/ByteWriter.h"

#include <algorithm>
#include <bit>
#include <cassert>

namespace orvelo {

ByteWriter& ByteWriter::u8(std::uint8_t v)
{
    bytes_.push_back(v);
    return *this;
}

ByteWriter& ByteWriter::u16be(std::uint16_t v)
{
    return u8(static_cast<std::uint8_t>(v >> 8)).u8(static_cast<std::uint8_t>(v));
}

ByteWriter& ByteWriter::u16le(std::uint16_t v)
{
    return u8(static_cast<std::uint8_t>(v)).u8(static_cast<std::uint8_t>(v >> 8));
}

ByteWriter& ByteWriter::u32be(std::uint32_t v)
{
    return u16be(static_cast<std::uint16_t>(v >> 16)).u16be(static_cast<std::uint16_t>(v));
}

ByteWriter& ByteWriter::u32le(std::uint32_t v)
{
    return u16le(static_cast<std::uint16_t>(v)).u16le(static_cast<std::uint16_t>(v >> 16));
}

ByteWriter& ByteWriter::u64le(std::uint64_t v)
{
    return u32le(static_cast<std::uint32_t>(v)).u32le(static_cast<std::uint32_t>(v >> 32));
}

ByteWriter& ByteWriter::f64le(double v)
{
    return u64le(std::bit_cast<std::uint64_t>(v));
}

ByteWriter& ByteWriter::bytes(std::span<const std::uint8_t> v)
{
    bytes_.insert(bytes_.end(), v.begin(), v.end());
    return *this;
}

ByteWriter& ByteWriter::zeros(std::size_t n)
{
    bytes_.insert(bytes_.end(), n, 0);
    return *this;
}

ByteWriter& ByteWriter::text(std::string_view s, std::size_t width)
{
    const std::size_t n = std::min(s.size(), width);
    for (std::size_t i = 0; i < n; ++i)
        bytes_.push_back(static_cast<std::uint8_t>(s[i]));
    return zeros(width - n);
}

ByteWriter& ByteWriter::cstring(std::string_view s)
{
    return text(s, s.size()).u8(0);
}

void ByteWriter::patchU16le(std::size_t offset, std::uint16_t v)
{
    assert(offset + 2 <= bytes_.size());
    bytes_[offset] = static_cast<std::uint8_t>(v);
    bytes_[offset + 1] = static_cast<std::uint8_t>(v >> 8);
}

void ByteWriter::patchU16be(std::size_t offset, std::uint16_t v)
{
    assert(offset + 2 <= bytes_.size());
    bytes_[offset] = static_cast<std::uint8_t>(v >> 8);
    bytes_[offset + 1] = static_cast<std::uint8_t>(v);
}

void ByteWriter::patchU32le(std::size_t offset, std::uint32_t v)
{
    patchU16le(offset, static_cast<std::uint16_t>(v));
    patchU16le(offset + 2, static_cast<std::uint16_t>(v >> 16));
}

} // namespace orvelo
