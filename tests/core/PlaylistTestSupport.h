#pragma once

// Shared by the playlist tests: media files in a private folder and a look at the store file
// as the next run would read it from disk.

#include "core/Playlist.h"
#include "core/TrackListCodec.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QTemporaryDir>
#include <QUrl>
#include <QVariant>

#include <gtest/gtest.h>

namespace orvelo::test {

// The runner gives each test binary its own settings folder, but runs the tests of one binary
// side by side: each process points the store at a folder of its own before anything opens it
// (from SetUpTestSuite, ahead of the fixtures' members).
inline const QString& privateFolder()
{
    static const QTemporaryDir dir(QString::fromStdString(tempDir()) + "/store-XXXXXX");
    static const QString path = [] {
        qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
        return dir.path();
    }();
    return path;
}

inline QSettings& userStore()
{
    privateFolder();
    static QSettings store(QSettings::NativeFormat, QSettings::UserScope, "Orvelo", "Orvelo");
    return store;
}

inline void clearUserStore()
{
    userStore().clear();
    userStore().sync();
}

// Reads a copy of the store file, so nothing cached in this process can stand in for what
// reached the disk.
inline QVariant storedOnDisk(const QString& key)
{
    const QString copy = privateFolder() + "/store-copy.conf";
    QFile::remove(copy);
    if (!QFile::copy(userStore().fileName(), copy))
        return {};
    QSettings disk(copy, QSettings::IniFormat);
    return disk.value(key);
}

inline QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline QByteArray storeFileBytes() { return fileBytes(userStore().fileName()); }

// The tracks' JSON with one field missing from the last track: a document that must fail whole.
inline QByteArray encodedWithout(const QList<MediaTrack>& tracks, const char* key)
{
    QJsonArray array = QJsonDocument::fromJson(*TrackListCodec::encode(tracks)).array();
    QJsonObject last = array.last().toObject();
    last.remove(key);
    array[array.size() - 1] = last;
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

class MediaFolder {
public:
    MediaFolder()
        : dir_(QString::fromStdString(tempDir()) + "/media-XXXXXX")
    {
    }

    QString path(const QString& name) const { return dir_.filePath(name); }

    QUrl file(const QString& name, const QByteArray& content = "media") const
    {
        QFile file(path(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << name.toStdString();
        file.write(content);
        return QUrl::fromLocalFile(path(name));
    }

private:
    QTemporaryDir dir_;
};

// Counts change notifications while it lives.
class ChangeCounter {
public:
    explicit ChangeCounter(Playlist& playlist)
    {
        QObject::connect(&playlist, &Playlist::playlistChanged, &context_, [this] { ++count_; });
    }
    int count() const { return count_; }

private:
    QObject context_;
    int count_ = 0;
};

} // namespace orvelo::test
