#include "web/UrlText.h"

#include "web/HttpRequest.h"

#include <QUrl>

namespace orvelo::UrlText {

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

std::optional<QString> percentDecoded(std::string_view text)
{
    std::string bytes;
    bytes.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            bytes += text[i];
            continue;
        }
        if (i + 2 >= text.size())
            return std::nullopt;
        const int high = hexValue(text[i + 1]);
        const int low = hexValue(text[i + 2]);
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes += static_cast<char>(high * 16 + low);
        i += 2;
    }
    if (!isValidUtf8(bytes))
        return std::nullopt;
    return QString::fromStdString(bytes);
}

QString percentEncodedPath(const QString& text)
{
    // RFC 3986 path characters beyond the unreserved ones, which are never encoded.
    return QString::fromLatin1(QUrl::toPercentEncoding(text, "!$&'()*+,/:;=@"));
}

QString htmlEscaped(const QString& text)
{
    return text.toHtmlEscaped().replace(QLatin1Char('\''), QLatin1String("&#39;"));
}

} // namespace orvelo::UrlText
