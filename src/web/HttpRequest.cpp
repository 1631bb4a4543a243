#include "web/HttpRequest.h"

#include <cstdint>

namespace orvelo {

std::optional<HttpRequest> HttpRequest::parse(std::string raw)
{
    if (!isValidUtf8(raw))
        return std::nullopt;
    const std::string_view text(raw);
    const std::string_view firstLine = text.substr(0, text.find("\r\n"));

    // Split on single spaces, keeping empty words: "GET  /" has the path "".
    const std::size_t firstSpace = firstLine.find(' ');
    if (firstSpace == std::string_view::npos)
        return std::nullopt;
    const std::string_view afterMethod = firstLine.substr(firstSpace + 1);
    HttpRequest request;
    request.method = std::string(firstLine.substr(0, firstSpace));
    request.path = std::string(afterMethod.substr(0, afterMethod.find(' ')));
    request.raw = std::move(raw);
    return request;
}

std::optional<std::string_view> HttpRequest::body() const
{
    const std::size_t headEnd = raw.find("\r\n\r\n");
    if (headEnd == std::string::npos)
        return std::nullopt;
    return std::string_view(raw).substr(headEnd + 4);
}

std::string_view HttpRequest::head() const
{
    const std::size_t headEnd = raw.find("\r\n\r\n");
    return std::string_view(raw).substr(0, headEnd == std::string::npos ? raw.size() : headEnd + 4);
}

bool isValidUtf8(std::string_view bytes)
{
    std::size_t i = 0;
    const std::size_t n = bytes.size();
    while (i < n) {
        const auto b0 = static_cast<std::uint8_t>(bytes[i]);
        if (b0 < 0x80) {
            ++i;
            continue;
        }
        std::size_t length = 0;
        std::uint32_t codePoint = 0;
        std::uint32_t minimum = 0;
        if ((b0 & 0xE0) == 0xC0) {
            length = 2;
            codePoint = b0 & 0x1F;
            minimum = 0x80;
        } else if ((b0 & 0xF0) == 0xE0) {
            length = 3;
            codePoint = b0 & 0x0F;
            minimum = 0x800;
        } else if ((b0 & 0xF8) == 0xF0) {
            length = 4;
            codePoint = b0 & 0x07;
            minimum = 0x10000;
        } else {
            return false;
        }
        if (n - i < length)
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto b = static_cast<std::uint8_t>(bytes[i + k]);
            if ((b & 0xC0) != 0x80)
                return false;
            codePoint = (codePoint << 6) | (b & 0x3F);
        }
        if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

std::string printableForLog(std::string_view text)
{
    std::string out(text);
    for (char& c : out) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F)
            c = '?';
    }
    return out;
}

} // namespace orvelo
