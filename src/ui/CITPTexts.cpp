#include "ui/CITPTexts.h"

#include "citp/CITPPacket.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace orvelo::ui {

namespace {

bool contains(const std::vector<std::uint8_t>& data, std::string_view code)
{
    return std::search(data.begin(), data.end(), code.begin(), code.end()) != data.end();
}

bool isCode(const std::string& text)
{
    return std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isalnum(c) != 0; });
}

} // namespace

QString peerSymbol(const std::string& type)
{
    std::string lower = type;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    if (lower == "mediaserver")
        return QStringLiteral("play.rectangle.fill");
    if (lower == "visualizer")
        return QStringLiteral("cube.transparent");
    if (lower == "lightingconsole")
        return QStringLiteral("slider.horizontal.3");
    return QStringLiteral("questionmark.circle");
}

QString packetTypeText(const std::vector<std::uint8_t>& data)
{
    const auto kind = citp::classify(data);
    if (!kind)
        return QStringLiteral("Unknown");
    QString text = QString::fromStdString(kind->contentType);
    if (const auto code = citp::codeAt(data, kind->bodyOffset); code && isCode(*code))
        text += QLatin1Char('/') + QString::fromStdString(*code);
    return text;
}

QString patchMarker(const std::vector<std::uint8_t>& data)
{
    if (contains(data, "Ptch"))
        return QStringLiteral("Contains 'Ptch' (Fixture Patch)");
    if (contains(data, "SndP"))
        return QStringLiteral("Contains 'SndP' (Send Patch)");
    return {};
}

} // namespace orvelo::ui
