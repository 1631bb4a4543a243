#include "web/QrSvg.h"

#include <qrencode.h>

#include <memory>

namespace orvelo {

std::optional<std::string> qrSvg(std::string_view text)
{
    const std::string terminated(text);
    std::unique_ptr<QRcode, decltype(&QRcode_free)> code(QRcode_encodeString8bit(terminated.c_str(), 0, QR_ECLEVEL_M),
                                                         &QRcode_free);
    if (!code)
        return std::nullopt;
    constexpr int quiet = 4;
    const int width = code->width;
    const std::string size = std::to_string(width + 2 * quiet);
    std::string svg =
        R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 )" + size + " " + size +
        R"(" shape-rendering="crispEdges"><rect width="100%" height="100%" fill="#fff"/><path fill="#000" d=")";
    for (int y = 0; y < width; ++y)
        for (int x = 0; x < width; ++x)
            if (code->data[y * width + x] & 1)
                svg += "M" + std::to_string(x + quiet) + " " + std::to_string(y + quiet) + "h1v1h-1z";
    svg += R"("/></svg>)";
    return svg;
}

} // namespace orvelo
