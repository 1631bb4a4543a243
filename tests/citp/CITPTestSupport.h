#pragma once

#include "platform/ByteWriter.h"

#include <initializer_list>
#include <string_view>

namespace orvelo::test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes ascii(std::string_view text)
{
    return Bytes(text.begin(), text.end());
}

inline Bytes cat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

// A request as consoles send it, in the full header that carries its size or in the compact
// one, which does not: then the sub-code and `body`.
inline Bytes fullMessage(std::string_view contentType, std::string_view code, const Bytes& body = {})
{
    ByteWriter w;
    w.text("CITP", 4).u8(1).u8(0).u16le(0).u32le(0).u16le(1).u16le(0).text(contentType, 4).text(code, 4).bytes(body);
    w.patchU32le(8, static_cast<std::uint32_t>(w.size()));
    return w.take();
}

inline Bytes compactMessage(std::string_view contentType, std::string_view code, const Bytes& body = {})
{
    return ByteWriter().text("CITP", 4).u8(1).u8(0).u16le(0).text(contentType, 4).text(code, 4).bytes(body).take();
}

} // namespace orvelo::test
