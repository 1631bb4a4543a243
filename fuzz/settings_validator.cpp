// The settings document the web remote posts (and the older address body): decoded and checked
// as the server does before applying any of it. A refusal names a field of the document and
// says why; an accepted address is one the node reads back as the same address, and no
// accepted text carries a zero character (the system would cut it short there).
#include "FuzzCheck.h"
#include "net/ArtNetPacket.h"
#include "web/SettingsValidator.h"
#include "web/WebJson.h"

using namespace orvelo;

namespace {

void checkRefusal(const std::optional<SettingsValidator::Refusal>& refusal, const QJsonObject& document)
{
    if (!refusal)
        return;
    FUZZ_CHECK(!refusal->reason.isEmpty());
    FUZZ_CHECK(document.contains(refusal->field.section(QLatin1Char('.'), 0, 0)));
}

QString text(const QJsonObject& document, const char* group, const char* key)
{
    return document.value(QLatin1String(group)).toObject().value(QLatin1String(key)).toString();
}

void checkAccepted(const QJsonObject& document)
{
    for (const char* key : {"interfaceIP", "interfaceBroadcast"}) {
        const QString address = text(document, "network", key);
        if (address.isEmpty())
            continue;
        const auto ip = artnet::parseIPv4(address.toStdString());
        FUZZ_CHECK(QStringLiteral("%1.%2.%3.%4").arg(ip[0]).arg(ip[1]).arg(ip[2]).arg(ip[3]) == address);
    }
    FUZZ_CHECK(!text(document, "library", "mediaFolder").contains(QChar(0)));
    FUZZ_CHECK(!text(document, "web", "interface").contains(QChar(0)));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto document = webjson::parseObject(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!document)
        return 0;
    const auto refusal = SettingsValidator::check(*document, {QStringLiteral("/srv/orvelo")});
    checkRefusal(refusal, *document);
    if (!refusal)
        checkAccepted(*document);
    if (const auto addressRefusal = SettingsValidator::checkAddress(*document)) {
        FUZZ_CHECK(addressRefusal->field.startsWith(QLatin1String("dmx")));
        checkRefusal(addressRefusal, QJsonObject{{QStringLiteral("dmx"), *document}});
    }
    return 0;
}
