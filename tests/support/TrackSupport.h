#pragma once

#include "playback/MediaTrack.h"

#include <string>

namespace orvelo::test {

// A playlist entry for a local file, with an id of its own.
inline MediaTrack trackFor(const std::string& path, const QString& name = QStringLiteral("Track"))
{
    return MediaTrack{QUuid::createUuid(), QUrl::fromLocalFile(QString::fromStdString(path)), name, 0.0, 1};
}

} // namespace orvelo::test
