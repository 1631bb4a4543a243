#include "web/SettingsValidator.h"

#include "core/DMXMode.h"
#include "core/TimecodeFrameRate.h"
#include "ndi/NDIFPS.h"
#include "ndi/NDIResolutionScale.h"
#include "net/DMXProtocolType.h"
#include "playback/TrackPreloader.h"
#include "settings/HostName.h"
#include "settings/LibraryRoots.h"
#include "settings/SyncSettings.h"
#include "settings/Theme.h"
#include "settings/TimecodeSettings.h"
#include "settings/WebRemoteSettings.h"

#include <QDir>
#include <QJsonArray>

#include <arpa/inet.h>

#include <algorithm>
#include <cmath>
#include <functional>

namespace orvelo {

namespace {

using Refusal = SettingsValidator::Refusal;
// Why a value is not acceptable; nothing when it is.
using Rule = std::function<std::optional<QString>(const QJsonValue& value)>;

struct Field {
    const char* group;
    const char* key;
    Rule rule;
};

bool isWhole(const QJsonValue& value)
{
    const double number = value.toDouble();
    return value.isDouble() && std::isfinite(number) && number == std::trunc(number);
}

Rule wholeNumber(std::int64_t low, std::int64_t high)
{
    return [low, high](const QJsonValue& value) -> std::optional<QString> {
        if (!isWhole(value) || value.toDouble() < static_cast<double>(low) ||
            value.toDouble() > static_cast<double>(high))
            return QStringLiteral("must be a whole number from %1 to %2").arg(low).arg(high);
        return std::nullopt;
    };
}

Rule number(double low, double high, bool lowIncluded = true)
{
    return [=](const QJsonValue& value) -> std::optional<QString> {
        const double n = value.toDouble();
        if (!value.isDouble() || !std::isfinite(n) || n > high || n < low || (!lowIncluded && n == low))
            return QStringLiteral("must be a number %1 %2 to %3")
                .arg(lowIncluded ? "from" : "above")
                .arg(low)
                .arg(high);
        return std::nullopt;
    };
}

Rule oneOf(std::vector<double> allowed)
{
    return [allowed](const QJsonValue& value) -> std::optional<QString> {
        if (value.isDouble() && std::find(allowed.begin(), allowed.end(), value.toDouble()) != allowed.end())
            return std::nullopt;
        QStringList texts;
        for (const double a : allowed)
            texts.append(QString::number(a));
        return QStringLiteral("must be one of %1").arg(texts.join(", "));
    };
}

// The raw values of every choice an enumeration offers, so the rule follows the type.
template <typename Choices> std::vector<double> rawValues(const Choices& choices)
{
    std::vector<double> values;
    for (const auto choice : choices)
        values.push_back(rawValue(choice));
    return values;
}

Rule flag()
{
    return [](const QJsonValue& value) -> std::optional<QString> {
        return value.isBool() ? std::nullopt : std::optional<QString>(QStringLiteral("must be true or false"));
    };
}

Rule text(std::function<bool(const QString&)> accepts, QString expected)
{
    return [accepts = std::move(accepts),
            expected = std::move(expected)](const QJsonValue& value) -> std::optional<QString> {
        // The system reads a text only up to a zero character: what was checked would not be
        // what is used.
        if (value.isString() && !value.toString().contains(QChar(0)) && accepts(value.toString()))
            return std::nullopt;
        return QStringLiteral("must be %1").arg(expected);
    };
}

// No interface name holds a control character; one would break the log line that names it.
bool isInterfaceNameOrEmpty(const QString& name)
{
    return std::none_of(name.begin(), name.end(), [](QChar c) { return c.category() == QChar::Other_Control; });
}

bool isAddressOrEmpty(const QString& text)
{
    in_addr address{};
    return text.isEmpty() || inet_pton(AF_INET, text.toStdString().c_str(), &address) == 1;
}

std::optional<Refusal> checkFields(const QJsonObject& document, const std::vector<Field>& fields)
{
    for (const Field& field : fields) {
        const QJsonValue group = document.value(QLatin1String(field.group));
        if (group.isUndefined())
            continue;
        const QString name = QStringLiteral("%1.%2").arg(field.group, field.key);
        if (!group.isObject())
            return Refusal{QString::fromLatin1(field.group), QStringLiteral("%1 must be an object").arg(field.group)};
        const QJsonValue value = group.toObject().value(QLatin1String(field.key));
        if (value.isUndefined())
            continue;
        if (const auto why = field.rule(value))
            return Refusal{name, name + " " + *why};
    }
    return std::nullopt;
}

} // namespace

std::optional<Refusal> SettingsValidator::check(const QJsonObject& document, const QStringList& libraryRoots)
{
    const auto mode = [](const QString& t) { return dmxModeFromRawValue(t.toStdString()).has_value(); };
    const auto protocol = [](const QString& t) { return dmxProtocolTypeFromRawValue(t.toStdString()).has_value(); };
    const auto theme = [](const QString& id) {
        const auto& themes = Theme::allThemes();
        return std::any_of(themes.begin(), themes.end(), [&](const Theme& t) { return t.id == id; });
    };
    const auto mediaFolder = [&libraryRoots](const QString& folder) {
        // Empty asks for the default folder; anything else must stay inside a root.
        return folder.isEmpty() || (QDir::isAbsolutePath(folder) && LibraryRoots::contains(libraryRoots, folder));
    };
    const Rule hostNames = [](const QJsonValue& value) -> std::optional<QString> {
        if (!value.isArray())
            return QStringLiteral("must be a list of host names");
        for (const QJsonValue& name : value.toArray())
            if (!name.isString() || !normalizedHostName(name.toString()))
                return QStringLiteral("must be a list of host names; not one: %1").arg(name.toVariant().toString());
        return std::nullopt;
    };
    const auto followable = [](const QString& t) { return TimecodeSettings::sourceFromText(t).has_value(); };
    // An audio port for LTC: the output's also says whether it is on.
    const auto ltcPort = [](bool switchable) -> Rule {
        return [switchable](const QJsonValue& value) -> std::optional<QString> {
            const QString expected =
                QStringLiteral("must be {%1\"device\": an ALSA device name or empty, \"channel\": 1 to %2}")
                    .arg(switchable ? QStringLiteral("\"enabled\": true or false, ") : QString())
                    .arg(TimecodeSettings::maximumLtcChannel);
            if (!value.isObject())
                return expected;
            const QJsonValue enabled = value.toObject().value(QLatin1String("enabled"));
            const QJsonValue device = value.toObject().value(QLatin1String("device"));
            const QJsonValue channel = value.toObject().value(QLatin1String("channel"));
            if (!enabled.isUndefined() && (!switchable || !enabled.isBool()))
                return expected;
            if (!device.isUndefined() && (!device.isString() || !isInterfaceNameOrEmpty(device.toString())))
                return expected;
            if (!channel.isUndefined() &&
                (!channel.isDouble() || channel.toDouble() != std::floor(channel.toDouble()) ||
                 channel.toDouble() < 1 || channel.toDouble() > TimecodeSettings::maximumLtcChannel))
                return expected;
            return std::nullopt;
        };
    };
    const auto offset = [](const QString& t) { return TimecodeSettings::parseOffset(t).has_value(); };
    const auto syncRole = [](const QString& t) { return SyncSettings::roleFromText(t).has_value(); };
    const auto leader = [](const QString& t) { return t.isEmpty() || SyncSettings::parseAddress(t).has_value(); };
    const auto group = [](const QString& t) {
        return t.toUtf8().size() <= SyncSettings::maximumGroupBytes && isInterfaceNameOrEmpty(t);
    };
    const std::vector<Field> fields{
        {"dmx", "universe", wholeNumber(0, 15)},
        {"dmx", "subnet", wholeNumber(0, 15)},
        {"dmx", "net", wholeNumber(0, 127)},
        {"dmx", "startChannel", wholeNumber(1, 512)},
        {"dmx", "channel", wholeNumber(1, 512)},
        {"dmx", "mode", text(mode, "Standard (1 Ch), Loop (2 Ch) or Extended (18 Ch)")},
        {"playback", "ignoreDMX", flag()},
        {"playback", "autoPlayNext", flag()},
        {"playback", "frameRate", oneOf({24, 25, 30})},
        {"playback", "isListening", flag()},
        {"playback", "preloadCount", wholeNumber(0, TrackPreloader::maximumCount)},
        {"playback", "preloadBudgetMB", wholeNumber(TrackPreloader::minimumBudgetMB, TrackPreloader::maximumBudgetMB)},
        {"ndi", "enabled", flag()},
        {"ndi", "fps", oneOf(rawValues(allNDIFPS))},
        {"ndi", "scale", oneOf(rawValues(allNDIResolutionScales))},
        {"protocol", "input", text(protocol, "Art-Net or sACN")},
        {"protocol", "output", text(protocol, "Art-Net or sACN")},
        {"protocol", "citpEnabled", flag()},
        {"network", "interfaceIP", text(isAddressOrEmpty, "an IPv4 address or empty")},
        {"network", "interfaceBroadcast", text(isAddressOrEmpty, "an IPv4 address or empty")},
        {"theme", "current", text(theme, "the id of a theme")},
        {"defaultVideo", "clear", flag()},
        {"library", "mediaFolder",
         text(mediaFolder, QStringLiteral("an absolute path inside a library root (%1); other roots are added on the "
                                          "player itself")
                               .arg(libraryRoots.join(QStringLiteral(", "))))},
        {"library", "uploadSizeLimit", wholeNumber(1, std::int64_t(1) << 53)},
        {"web", "interface", text(isInterfaceNameOrEmpty, "an interface name or empty")},
        {"web", "hostNames", hostNames},
        {"web", "sessionIdleHours", number(0, WebRemoteSettings::maximumSessionIdleHours, false)},
        {"web", "transportMinInterval", number(0, WebRemoteSettings::maximumTransportMinInterval)},
        {"timecode", "source", text(followable, "console, artnet or ltc")},
        {"timecode", "offset", text(offset, "a time code hh:mm:ss:ff, signed, frames below 30")},
        {"timecode", "followSelectedTrack", flag()},
        {"timecode", "freewheelFrames", wholeNumber(0, TimecodeSettings::maximumFreewheelFrames)},
        {"timecode", "ltcIn", ltcPort(false)},
        {"timecode", "ltcOut", ltcPort(true)},
        {"sync", "role", text(syncRole, "off, leader or follower")},
        {"sync", "leader", text(leader, "an IPv4 address with an optional :port, or empty")},
        {"sync", "group", text(group, "a name of at most 64 bytes")},
        {"sync", "key", text([](const QString&) { return true; }, "a text")},
        {"sync", "clockPort", wholeNumber(1, 65535)},
        {"sync", "leadTimeMs", wholeNumber(SyncSettings::minimumLeadTimeMs, SyncSettings::maximumLeadTimeMs)},
    };
    return checkFields(document, fields);
}

std::optional<Refusal> SettingsValidator::checkAddress(const QJsonObject& document)
{
    // The same ranges as the settings' DMX group, read from the flat body of the older route.
    return check(QJsonObject{{"dmx", document}}, {});
}

} // namespace orvelo
