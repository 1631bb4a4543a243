#pragma once

#include <QHashFunctions>
#include <QString>
#include <QUrl>
#include <QUuid>

namespace orvelo {

// One playlist entry. A plain value: copied on assignment, equal when all five fields are.
struct MediaTrack {
    QUuid id;
    QUrl url;
    QString name;
    double timecodeOffset = 0.0; // seconds; kept at index x 3600 by the playlist
    int repeatCount = 1;         // 0 = loop without end

    friend bool operator==(const MediaTrack&, const MediaTrack&) = default;
};

inline size_t qHash(const MediaTrack& t, size_t seed = 0)
{
    return qHashMulti(seed, t.id, t.url, t.name, t.timecodeOffset, t.repeatCount);
}

} // namespace orvelo
