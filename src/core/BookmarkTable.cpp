#include "core/BookmarkTable.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace orvelo {

std::optional<QByteArray> BookmarkTable::find(const QString& idText) const
{
    const auto it = entries_.constFind(idText);
    if (it == entries_.constEnd())
        return std::nullopt;
    return *it;
}

QByteArray BookmarkTable::encode() const
{
    QJsonObject object;
    for (auto it = entries_.constBegin(); it != entries_.constEnd(); ++it)
        object.insert(it.key(), QString::fromLatin1(it.value().toBase64()));
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<BookmarkTable> BookmarkTable::decode(const QByteArray& json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    BookmarkTable table;
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        if (!it.value().isString())
            return std::nullopt;
        auto decoded =
            QByteArray::fromBase64Encoding(it.value().toString().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded)
            return std::nullopt;
        table.insert(it.key(), *decoded);
    }
    return table;
}

} // namespace orvelo
