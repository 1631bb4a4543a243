#include "citp/CITPStreamFramer.h"

#include "citp/CITPPacket.h"
#include "platform/ByteReader.h"

#include <algorithm>
#include <string_view>

namespace orvelo {

namespace {

constexpr std::string_view cookie = "CITP";

// Whether the buffer starts with (a prefix of) the cookie.
bool startsLikeCITP(std::span<const std::uint8_t> bytes)
{
    const std::size_t n = std::min(bytes.size(), cookie.size());
    for (std::size_t i = 0; i < n; ++i)
        if (bytes[i] != static_cast<std::uint8_t>(cookie[i]))
            return false;
    return true;
}

} // namespace

CITPStreamFramer::Result CITPStreamFramer::push(std::span<const std::uint8_t> received)
{
    buffer_.insert(buffer_.end(), received.begin(), received.end());
    Result result;
    while (!buffer_.empty()) {
        if (!startsLikeCITP(buffer_)) {
            buffer_.clear();
            break;
        }
        if (buffer_.size() < citp::standardBodyOffset)
            break;
        const std::span<const std::uint8_t> sizeField(buffer_.data() + citp::messageSizeOffset, 4);
        // A content type where the full form has its size: the compact form, whose end is unknown.
        if (citp::isContentType(sizeField)) {
            result.messages.push_back(std::move(buffer_));
            buffer_.clear();
            break;
        }
        const std::uint32_t size = *ByteReader(sizeField).u32le();
        if (size < citp::extendedBodyOffset || size > maxMessageSize) {
            result.broken = true;
            result.badSize = size;
            buffer_.clear();
            break;
        }
        if (buffer_.size() < size)
            break;
        const auto end = buffer_.begin() + static_cast<std::ptrdiff_t>(size);
        result.messages.emplace_back(buffer_.begin(), end);
        buffer_.erase(buffer_.begin(), end);
    }
    return result;
}

} // namespace orvelo
