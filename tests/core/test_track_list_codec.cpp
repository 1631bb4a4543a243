// Protects the two stored forms of the playlist (track list JSON and bookmark table): exact
// texts, round trips of awkward URLs and values, and that a bad document fails as a whole.
#include "core/BookmarkTable.h"
#include "core/TrackListCodec.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

#include <cmath>

using namespace orvelo;

namespace {

constexpr const char* trackId = "6F1C2B7A-1D3E-4F50-9A8B-0C1D2E3F4A5B";

MediaTrack track(const char* uuid, const QString& path, double offset, int repeatCount)
{
    const QUrl url = QUrl::fromLocalFile(path);
    return MediaTrack{QUuid::fromString(QLatin1String(uuid)), url, url.fileName(), offset, repeatCount};
}

} // namespace

TEST(TrackListCodec, WritesTheExactTextAndReadsBackAwkwardValuesAndWhatOthersWrote)
{
    EXPECT_EQ(TrackListCodec::encode({track("6f1c2b7a-1d3e-4f50-9a8b-0c1d2e3f4a5b", "/show/my clip é.mov", 0, 1)}),
              QByteArray("[{\"id\":\"6F1C2B7A-1D3E-4F50-9A8B-0C1D2E3F4A5B\","
                         "\"name\":\"my clip é.mov\",\"repeatCount\":1,\"timecodeOffset\":0,"
                         "\"url\":\"file:///show/my%20clip%20%C3%A9.mov\"}]"));
    QString whyNot;
    EXPECT_EQ(TrackListCodec::encode({track(trackId, "/a.mov", std::nan(""), 1)}, &whyNot), std::nullopt);
    EXPECT_FALSE(whyNot.isEmpty()) << "JSON cannot carry the offset";

    const QList<MediaTrack> tracks{
        track("A1B2C3D4-E5F6-4711-8899-AABBCCDDEEFF", "/show/Größe über alles/日本語 #1?.wav", 3600.5, 0),
        track("a1b2c3d4-e5f6-4711-8899-aabbccddee00", "/show/100% loud;,[x].mp3", 1e9 + 0.25, 2147483647),
    };
    EXPECT_EQ(TrackListCodec::decode(*TrackListCodec::encode(tracks)), tracks);
    const QByteArray foreign = R"([ {"repeatCount": 3, "name": "a b.mov", "extra": true,
        "url": "file:///show/a%20b.mov", "timecodeOffset": 7200.0,
        "id": "6f1c2b7a-1d3e-4f50-9a8b-0c1d2e3f4a5b"} ])";
    EXPECT_EQ(TrackListCodec::decode(foreign), QList<MediaTrack>{track(trackId, "/show/a b.mov", 7200, 3)});
}

TEST(TrackListCodec, OneBadTrackOrADocumentThatIsNoTrackArrayFailsWhole)
{
    const QJsonObject good{{"id", trackId},
                           {"url", "file:///show/clip.mov"},
                           {"name", "clip.mov"},
                           {"timecodeOffset", 3600},
                           {"repeatCount", 1}};
    const auto decodeWithLast = [&](const QJsonObject& last, QString* whyNot = nullptr) {
        return TrackListCodec::decode(QJsonDocument(QJsonArray{good, last}).toJson(), whyNot);
    };
    for (const char* key : {"id", "url", "name", "timecodeOffset", "repeatCount"}) {
        QJsonObject incomplete = good;
        incomplete.remove(key);
        QString whyNot;
        EXPECT_EQ(decodeWithLast(incomplete, &whyNot), std::nullopt) << "without " << key;
        EXPECT_TRUE(whyNot.contains(key)) << whyNot.toStdString();
    }
    for (const auto& [key, value] : std::initializer_list<std::pair<const char*, QJsonValue>>{
             {"id", "not-a-uuid"}, {"url", ""}, {"repeatCount", 1.5}, {"repeatCount", 1e12}}) {
        QJsonObject object = good;
        object.insert(key, value);
        EXPECT_EQ(decodeWithLast(object), std::nullopt) << key;
    }

    for (const QByteArray& json :
         {QByteArray("not json"), QByteArray("{\"id\":1}"), QByteArray("[1,2]"), QByteArray(4000, '[')}) {
        QString whyNot;
        EXPECT_EQ(TrackListCodec::decode(json, &whyNot), std::nullopt) << json.left(40).toStdString();
        EXPECT_FALSE(whyNot.isEmpty());
    }
}

TEST(BookmarkTable, RoundTripsArbitraryBytesAsBase64StringsAndFailsWholeOnAnythingElse)
{
    BookmarkTable table;
    table.insert(trackId, QByteArray("\x00\xff\x10", 3));
    table.insert(trackId, QByteArray("later wins"));
    table.insert("A1B2C3D4-E5F6-4711-8899-AABBCCDDEEFF", QByteArray("/show/a b é.mov"));
    const QByteArray json = table.encode();
    EXPECT_EQ(QJsonDocument::fromJson(json).object().value(trackId).toString(),
              QString::fromLatin1(QByteArray("later wins").toBase64()));
    EXPECT_EQ(BookmarkTable::decode(json), table);

    for (const QByteArray& bad : {QByteArray("[]"), QByteArray("{\"a\":1}"),
                                  QByteArray("{\"a\":\"L3g=\",\"b\":\"***\"}"), QByteArray("{\"a\":")})
        EXPECT_EQ(BookmarkTable::decode(bad), std::nullopt) << bad.toStdString();
}
