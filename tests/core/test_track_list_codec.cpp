// Protects the two stored forms of the playlist (track list JSON and bookmark table): exact
// texts, round trips of awkward URLs and values, and that a bad document fails as a whole.
#include "core/BookmarkTable.h"
#include "core/TrackListCodec.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

using namespace orvelo;

namespace {

constexpr const char* trackId = "6F1C2B7A-1D3E-4F50-9A8B-0C1D2E3F4A5B";

MediaTrack track(const char* uuid, const QString& path, double offset, int repeatCount)
{
    const QUrl url = QUrl::fromLocalFile(path);
    return MediaTrack{QUuid::fromString(QLatin1String(uuid)), url, url.fileName(), offset, repeatCount};
}

const QJsonObject good{{"id", trackId},
                       {"url", "file:///show/clip.mov"},
                       {"name", "clip.mov"},
                       {"timecodeOffset", 3600},
                       {"repeatCount", 1}};

std::optional<QList<MediaTrack>> decodeWithLast(const QJsonObject& last, QString* whyNot = nullptr)
{
    return TrackListCodec::decode(QJsonDocument(QJsonArray{good, last}).toJson(), whyNot);
}

} // namespace

TEST(TrackListCodec, WritesCompactArrayWithUpperCaseIdsAndEncodedUrls)
{
    EXPECT_EQ(TrackListCodec::encode({track("6f1c2b7a-1d3e-4f50-9a8b-0c1d2e3f4a5b", "/show/my clip é.mov", 0, 1)}),
              QByteArray("[{\"id\":\"6F1C2B7A-1D3E-4F50-9A8B-0C1D2E3F4A5B\","
                         "\"name\":\"my clip é.mov\",\"repeatCount\":1,\"timecodeOffset\":0,"
                         "\"url\":\"file:///show/my%20clip%20%C3%A9.mov\"}]"));
    // An offset JSON cannot carry fails the encoding.
    for (const double bad : {std::nan(""), std::numeric_limits<double>::infinity()}) {
        QString whyNot;
        EXPECT_EQ(TrackListCodec::encode({track(trackId, "/a.mov", bad, 1)}, &whyNot), std::nullopt);
        EXPECT_FALSE(whyNot.isEmpty());
    }
}

TEST(TrackListCodec, RoundTripKeepsEveryFieldAndReadsWhatOthersWrote)
{
    const QList<MediaTrack> tracks{
        track("00000000-0000-0000-0000-000000000000", "/show/intro.mov", 0, 1),
        track("A1B2C3D4-E5F6-4711-8899-AABBCCDDEEFF", "/show/Größe über alles/日本語 #1?.wav", 3600.5, 0),
        track("a1b2c3d4-e5f6-4711-8899-aabbccddee00", "/show/100% loud;,[x].mp3", 1e9 + 0.25, 2147483647),
    };
    QString whyNot;
    const auto decoded = TrackListCodec::decode(*TrackListCodec::encode(tracks), &whyNot);
    ASSERT_TRUE(decoded) << whyNot.toStdString();
    EXPECT_EQ(*decoded, tracks);
    EXPECT_EQ((*decoded)[1].url.toLocalFile(), "/show/Größe über alles/日本語 #1?.wav");
    EXPECT_EQ(TrackListCodec::decode("[]"), QList<MediaTrack>{});

    // Any key order, extra keys, lower-case ids.
    const QByteArray foreign = R"([ {"repeatCount": 3, "name": "a b.mov", "extra": true,
        "url": "file:///show/a%20b.mov", "timecodeOffset": 7200.0,
        "id": "6f1c2b7a-1d3e-4f50-9a8b-0c1d2e3f4a5b"} ])";
    EXPECT_EQ(TrackListCodec::decode(foreign), QList<MediaTrack>{track(trackId, "/show/a b.mov", 7200, 3)});
}

TEST(TrackListCodec, OneBadTrackOrADocumentThatIsNoTrackArrayFailsWhole)
{
    for (const char* key : {"id", "url", "name", "timecodeOffset", "repeatCount"}) {
        QJsonObject incomplete = good;
        incomplete.remove(key);
        QString whyNot;
        EXPECT_EQ(decodeWithLast(incomplete, &whyNot), std::nullopt) << "without " << key;
        EXPECT_TRUE(whyNot.contains(key)) << whyNot.toStdString();
    }
    const auto with = [](const char* key, const QJsonValue& value) {
        QJsonObject object = good;
        object.insert(key, value);
        return decodeWithLast(object);
    };
    for (const auto& [key, value] :
         std::initializer_list<std::pair<const char*, QJsonValue>>{{"id", "not-a-uuid"},
                                                                   {"id", "{6F1C2B7A-1D3E-4F50-9A8B-0C1D2E3F4A5B}"},
                                                                   {"id", 42},
                                                                   {"url", ""},
                                                                   {"url", QJsonObject{{"relative", "file:///x"}}},
                                                                   {"name", QJsonValue::Null},
                                                                   {"timecodeOffset", "3600"},
                                                                   {"repeatCount", 1.5},
                                                                   {"repeatCount", 1e12},
                                                                   {"repeatCount", true}})
        EXPECT_EQ(with(key, value), std::nullopt)
            << key << " = " << QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact).toStdString();
    EXPECT_NE(with("repeatCount", 0), std::nullopt);

    for (const QByteArray& json :
         {QByteArray(), QByteArray("not json"), QByteArray("{\"id\":1}"), QByteArray("[1,2]"), QByteArray("[[]]"),
          QByteArray("\"[]\""), QByteArray("[{\"id\":\"6F1C2B7A-1D3E-4F50-9A8B-0C1D2E3F4A5B\""),
          QByteArray(4000, '[')}) {
        QString whyNot;
        EXPECT_EQ(TrackListCodec::decode(json, &whyNot), std::nullopt) << json.left(40).toStdString();
        EXPECT_FALSE(whyNot.isEmpty());
    }
}

TEST(BookmarkTable, RoundTripsArbitraryBytesAsBase64StringsAndFailsWholeOnAnythingElse)
{
    BookmarkTable table;
    table.insert(trackId, QByteArray("/show/a b é.mov"));
    table.insert("A1B2C3D4-E5F6-4711-8899-AABBCCDDEEFF", QByteArray("\x00\xff\x10", 3));
    table.insert("A1B2C3D4-E5F6-4711-8899-AABBCCDDEEFF", QByteArray("later wins"));
    const QByteArray json = table.encode();
    const QJsonObject object = QJsonDocument::fromJson(json).object();
    EXPECT_EQ(object.size(), 2);
    EXPECT_EQ(object.value("A1B2C3D4-E5F6-4711-8899-AABBCCDDEEFF").toString(),
              QString::fromLatin1(QByteArray("later wins").toBase64()));
    EXPECT_FALSE(json.contains('\n'));
    EXPECT_EQ(BookmarkTable::decode(json), table);
    EXPECT_EQ(BookmarkTable::decode("{}")->size(), 0);

    for (const QByteArray& bad :
         {QByteArray(""), QByteArray("[]"), QByteArray("{\"a\":1}"), QByteArray("{\"a\":\"L3g=\",\"b\":\"***\"}"),
          QByteArray("{\"a\":\"L3g=\",\"b\":null}"), QByteArray("{\"a\":\"Ä\"}"), QByteArray("{\"a\":")})
        EXPECT_EQ(BookmarkTable::decode(bad), std::nullopt) << bad.toStdString();
}
