#include "settings/HostName.h"

namespace orvelo {

std::optional<QString> normalizedHostName(const QString& text)
{
    QString name = text.trimmed().toLower();
    if (name.endsWith('.'))
        name.chop(1);
    if (name.isEmpty() || name.size() > 253)
        return std::nullopt;
    for (const QChar c : name)
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != '-' && c != '.')
            return std::nullopt;
    return name;
}

} // namespace orvelo
