// The stored DMX settings record, as the controller reads it at start: a record is taken only
// whole, and what is taken is stored and read back unchanged.
#include "FuzzCheck.h"
#include "core/DMXConfig.h"

#include <QJsonDocument>

using namespace orvelo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray stored(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const auto config = DMXConfig::fromJson(QJsonDocument::fromJson(stored).object());
    if (!config)
        return 0;
    const QByteArray written = QJsonDocument(config->toJson()).toJson(QJsonDocument::Compact);
    FUZZ_CHECK(DMXConfig::fromJson(QJsonDocument::fromJson(written).object()) == config);
    return 0;
}
