#include "core/TrackListCodec.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QRegularExpression>

#include <cmath>
#include <limits>

namespace orvelo::TrackListCodec {

namespace {

void explain(QString* whyNot, const QString& reason)
{
    if (whyNot)
        *whyNot = reason;
}

std::optional<QUuid> parseId(const QJsonValue& value)
{
    static const QRegularExpression canonical(
        QStringLiteral("^[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}$"));
    if (!value.isString() || !canonical.match(value.toString()).hasMatch())
        return std::nullopt;
    return QUuid::fromString(value.toString());
}

std::optional<QUrl> parseUrl(const QJsonValue& value)
{
    if (!value.isString() || value.toString().isEmpty())
        return std::nullopt;
    const QUrl url(value.toString());
    if (!url.isValid())
        return std::nullopt;
    return url;
}

std::optional<int> parseCount(const QJsonValue& value)
{
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    if (std::trunc(number) != number || number < std::numeric_limits<int>::min() ||
        number > std::numeric_limits<int>::max())
        return std::nullopt;
    return static_cast<int>(number);
}

std::optional<MediaTrack> parseTrack(const QJsonValue& element, QString* whyNot, qsizetype index)
{
    const auto fail = [&](const char* key) {
        explain(whyNot, QStringLiteral("track %1 has no valid \"%2\"").arg(index + 1).arg(QLatin1String(key)));
        return std::nullopt;
    };
    if (!element.isObject()) {
        explain(whyNot, QStringLiteral("track %1 is not an object").arg(index + 1));
        return std::nullopt;
    }
    const QJsonObject object = element.toObject();
    const auto id = parseId(object.value(QLatin1String("id")));
    if (!id)
        return fail("id");
    const auto url = parseUrl(object.value(QLatin1String("url")));
    if (!url)
        return fail("url");
    const QJsonValue name = object.value(QLatin1String("name"));
    if (!name.isString())
        return fail("name");
    const QJsonValue offset = object.value(QLatin1String("timecodeOffset"));
    if (!offset.isDouble())
        return fail("timecodeOffset");
    const auto repeatCount = parseCount(object.value(QLatin1String("repeatCount")));
    if (!repeatCount)
        return fail("repeatCount");
    return MediaTrack{*id, *url, name.toString(), offset.toDouble(), *repeatCount};
}

} // namespace

QString idText(const QUuid& id)
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}

std::optional<QByteArray> encode(const QList<MediaTrack>& tracks, QString* whyNot)
{
    QJsonArray array;
    for (const MediaTrack& track : tracks) {
        if (!std::isfinite(track.timecodeOffset)) {
            explain(whyNot, QStringLiteral("the offset of \"%1\" is not a number").arg(track.name));
            return std::nullopt;
        }
        array.append(QJsonObject{
            {QLatin1String("id"), idText(track.id)},
            {QLatin1String("url"), QString::fromUtf8(track.url.toEncoded())},
            {QLatin1String("name"), track.name},
            {QLatin1String("timecodeOffset"), track.timecodeOffset},
            {QLatin1String("repeatCount"), track.repeatCount},
        });
    }
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

std::optional<QList<MediaTrack>> decode(const QByteArray& json, QString* whyNot)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError) {
        explain(whyNot, QStringLiteral("not valid JSON (%1 at offset %2)").arg(error.errorString()).arg(error.offset));
        return std::nullopt;
    }
    if (!document.isArray()) {
        explain(whyNot, QStringLiteral("not a list of tracks"));
        return std::nullopt;
    }
    const QJsonArray array = document.array();
    QList<MediaTrack> tracks;
    tracks.reserve(array.size());
    for (qsizetype i = 0; i < array.size(); ++i) {
        auto track = parseTrack(array.at(i), whyNot, i);
        if (!track)
            return std::nullopt;
        tracks.append(std::move(*track));
    }
    return tracks;
}

} // namespace orvelo::TrackListCodec
