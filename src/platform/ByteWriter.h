#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace orvelo {

// Builds an outgoing packet field by field; the only way packet bytes are written.
class ByteWriter {
public:
    ByteWriter() = default;
    explicit ByteWriter(std::size_t reserve) { bytes_.reserve(reserve); }

    ByteWriter& u8(std::uint8_t v);
    ByteWriter& u16be(std::uint16_t v);
    ByteWriter& u16le(std::uint16_t v);
    ByteWriter& u32be(std::uint32_t v);
    ByteWriter& u32le(std::uint32_t v);
    ByteWriter& u64le(std::uint64_t v);
    // An IEEE 754 double, little-endian.
    ByteWriter& f64le(double v);
    ByteWriter& bytes(std::span<const std::uint8_t> v);
    ByteWriter& zeros(std::size_t n);
    // ASCII text left-aligned in a field of `width` bytes, zero padded; longer text is cut.
    ByteWriter& text(std::string_view s, std::size_t width);
    // Text followed by one terminating zero byte.
    ByteWriter& cstring(std::string_view s);

    // Overwrites an already written 16-bit field, for lengths known only at the end.
    void patchU16le(std::size_t offset, std::uint16_t v);
    void patchU16be(std::size_t offset, std::uint16_t v);
    void patchU32le(std::size_t offset, std::uint32_t v);

    std::size_t size() const { return bytes_.size(); }
    const std::vector<std::uint8_t>& data() const { return bytes_; }
    std::vector<std::uint8_t> take() { return std::move(bytes_); }

private:
    std::vector<std::uint8_t> bytes_;
};

} // namespace orvelo
