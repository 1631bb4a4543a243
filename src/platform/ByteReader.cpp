#include "platform/ByteReader.h"

#include <bit>
#include <cmath>

namespace orvelo {

bool ByteReader::take(std::size_t n)
{
    if (!ok_ || n > remaining()) {
        ok_ = false;
        return false;
    }
    offset_ += n;
    return true;
}

std::optional<std::uint8_t> ByteReader::u8()
{
    if (!take(1))
        return std::nullopt;
    return data_[offset_ - 1];
}

std::optional<std::uint16_t> ByteReader::u16be()
{
    if (!take(2))
        return std::nullopt;
    return static_cast<std::uint16_t>((data_[offset_ - 2] << 8) | data_[offset_ - 1]);
}

std::optional<std::uint16_t> ByteReader::u16le()
{
    if (!take(2))
        return std::nullopt;
    return static_cast<std::uint16_t>(data_[offset_ - 2] | (data_[offset_ - 1] << 8));
}

std::optional<std::uint32_t> ByteReader::u32be()
{
    const auto hi = u16be();
    const auto lo = u16be();
    if (!hi || !lo)
        return std::nullopt;
    return (std::uint32_t{*hi} << 16) | *lo;
}

std::optional<std::uint32_t> ByteReader::u32le()
{
    const auto lo = u16le();
    const auto hi = u16le();
    if (!hi || !lo)
        return std::nullopt;
    return (std::uint32_t{*hi} << 16) | *lo;
}

std::optional<std::uint64_t> ByteReader::u64le()
{
    const auto lo = u32le();
    const auto hi = u32le();
    if (!hi || !lo)
        return std::nullopt;
    return (std::uint64_t{*hi} << 32) | *lo;
}

std::optional<double> ByteReader::finiteF64le()
{
    const auto bits = u64le();
    if (!bits || !std::isfinite(std::bit_cast<double>(*bits))) {
        ok_ = false;
        return std::nullopt;
    }
    return std::bit_cast<double>(*bits);
}

std::optional<std::span<const std::uint8_t>> ByteReader::bytes(std::size_t n)
{
    if (!take(n))
        return std::nullopt;
    return data_.subspan(offset_ - n, n);
}

std::optional<std::string> ByteReader::cstring()
{
    if (!ok_)
        return std::nullopt;
    for (std::size_t i = offset_; i < data_.size(); ++i) {
        if (data_[i] == 0) {
            std::string s(reinterpret_cast<const char*>(data_.data() + offset_), i - offset_);
            offset_ = i + 1;
            return s;
        }
    }
    ok_ = false;
    return std::nullopt;
}

bool ByteReader::skip(std::size_t n)
{
    return take(n);
}

} // namespace orvelo
