#include "core/PreloadChoice.h"

#include <gtest/gtest.h>

using namespace orvelo;

namespace {
QList<MediaTrack> playlistOf(int count)
{
    QList<MediaTrack> tracks;
    for (int i = 0; i < count; ++i)
        tracks << MediaTrack{QUuid::createUuid(), QUrl::fromLocalFile(QStringLiteral("/m/%1.mp4").arg(i)),
                             QString::number(i), 0.0, 1};
    return tracks;
}

QList<int> indices(const QList<MediaTrack>& playlist, const QList<MediaTrack>& chosen)
{
    QList<int> out;
    for (const MediaTrack& track : chosen)
        for (int i = 0; i < playlist.size(); ++i)
            if (playlist[i].id == track.id)
                out << i;
    return out;
}
} // namespace

TEST(PreloadChoice, NextThenPreviousThenRecentNeverTheCurrentOrTwice)
{
    const auto five = playlistOf(5);
    EXPECT_EQ(indices(five, preloadChoice(five, 2, {})), (QList<int>{3, 1}));
    // Round the ends, as a console cues.
    EXPECT_EQ(indices(five, preloadChoice(five, 4, {})), (QList<int>{0, 3}));
    EXPECT_EQ(indices(five, preloadChoice(five, 0, {five[3].id, five[0].id, five[1].id})), (QList<int>{1, 4, 3}));
    // Nothing current (or a stale index): the first track.
    EXPECT_EQ(indices(five, preloadChoice(five, std::nullopt, {five[2].id})), (QList<int>{0, 2}));
    EXPECT_EQ(indices(five, preloadChoice(five, 9, {})), (QList<int>{0}));
    // A cued track no longer on the list is skipped; one track has nothing else to prepare.
    EXPECT_EQ(indices(five, preloadChoice(five, 1, {QUuid::createUuid()})), (QList<int>{2, 0}));
    const auto one = playlistOf(1);
    EXPECT_TRUE(preloadChoice(one, 0, {one[0].id}).isEmpty());
    EXPECT_TRUE(preloadChoice({}, std::nullopt, {}).isEmpty());
}
