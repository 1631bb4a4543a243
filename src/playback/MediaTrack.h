#pragma once

#include <QHashFunctions>
#include <QString>
#include <QUrl>
#include <QUuid>

#include <algorithm>
#include <cmath>

namespace orvelo {

// One playlist entry. A plain value: copied on assignment, equal when all five fields are.
struct MediaTrack {
    QUuid id;
    QUrl url;
    QString name;
    double timecodeOffset = 0.0; // seconds; kept at index x 3600 by the playlist
    int repeatCount = 1;         // 0 = loop without end

    // The offset as hours:minutes:seconds:frames; hours are not wrapped at 24 (the playlist
    // shows 25:00:00:00 for the twenty-sixth track).
    QString formattedOffset(double fps) const
    {
        // Offsets can come from a hand-edited playlist file: keep every part in int range.
        const auto whole = [](double value) {
            return std::isfinite(value) ? static_cast<int>(std::clamp(std::trunc(value), -1e9, 1e9)) : 0;
        };
        const double t = timecodeOffset;
        return QString::asprintf("%02d:%02d:%02d:%02d", whole(t / 3600.0), whole(std::fmod(t, 3600.0) / 60.0),
                                 whole(std::fmod(t, 60.0)), whole((t - std::floor(t)) * fps));
    }

    friend bool operator==(const MediaTrack&, const MediaTrack&) = default;
};

inline size_t qHash(const MediaTrack& t, size_t seed = 0)
{
    return qHashMulti(seed, t.id, t.url, t.name, t.timecodeOffset, t.repeatCount);
}

} // namespace orvelo
