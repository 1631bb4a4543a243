#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace orvelo {

// Reads a received datagram field by field. A read past the end never touches memory
// outside the span: it returns nothing and marks the reader as failed, so a decoder can
// read a whole header and check `ok()` once.
class ByteReader {
public:
    explicit ByteReader(std::span<const std::uint8_t> data, std::size_t offset = 0) : data_(data), offset_(offset) {}

    std::optional<std::uint8_t> u8();
    std::optional<std::uint16_t> u16be();
    std::optional<std::uint16_t> u16le();
    std::optional<std::uint32_t> u32be();
    std::optional<std::uint32_t> u32le();
    std::optional<std::uint64_t> u64le();
    // An IEEE 754 double, little-endian; a NaN or an infinity fails like a short read.
    std::optional<double> finiteF64le();
    std::optional<std::span<const std::uint8_t>> bytes(std::size_t n);
    // Text up to the first zero byte, which is consumed; fails when no zero byte follows.
    std::optional<std::string> cstring();
    bool skip(std::size_t n);

    std::size_t offset() const { return offset_; }
    std::size_t remaining() const { return offset_ <= data_.size() ? data_.size() - offset_ : 0; }
    std::span<const std::uint8_t> rest() const { return data_.subspan(std::min(offset_, data_.size())); }
    bool ok() const { return ok_; }

private:
    bool take(std::size_t n);

    std::span<const std::uint8_t> data_;
    std::size_t offset_;
    bool ok_ = true;
};

} // namespace orvelo
