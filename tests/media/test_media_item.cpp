// Protects preparing a media file: what the player learns before playing (ready, duration,
// streams, picture size), and that an unplayable file ends as a failure with a reason.
#include "MediaFixtures.h"
#include "platform/media/MediaItem.h"
#include "support/TestSupport.h"

#include <QPointer>
#include <QThread>

#include <fstream>
#include <thread>

using namespace orvelo;
using namespace orvelo::test;

TEST(MediaItem, VideoFileBecomesReadyOnTheMainThreadWithItsProperties)
{
    const std::string path = MediaFiles::countingVideo(50, true);
    ASSERT_FALSE(path.empty());
    auto item = MediaItem::load(QString::fromStdString(path));
    EXPECT_EQ(item->status(), MediaItem::Status::Loading);
    int changes = 0;
    bool onMainThread = false;
    QObject::connect(item.get(), &MediaItem::statusChanged, [&] {
        ++changes;
        onMainThread = QThread::currentThread() == item->thread();
    });
    ASSERT_TRUE(waitUntil([&] { return item->status() != MediaItem::Status::Loading; }, std::chrono::seconds(10)));
    ASSERT_EQ(item->status(), MediaItem::Status::ReadyToPlay) << item->errorText().toStdString();
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(onMainThread);
    EXPECT_TRUE(item->errorText().isEmpty());
    EXPECT_TRUE(item->hasVideo());
    EXPECT_TRUE(item->hasAudio());
    EXPECT_EQ(item->videoSize(), QSize(160, 120));
    ASSERT_TRUE(item->duration().has_value());
    EXPECT_NEAR(*item->duration(), 2.0, 0.05);
}

TEST(MediaItem, AudioOnlyFileIsReadyWithoutPicture)
{
    auto item = loadAndWait(MediaFiles::tone("wav", 1000));
    ASSERT_EQ(item->status(), MediaItem::Status::ReadyToPlay) << item->errorText().toStdString();
    EXPECT_FALSE(item->hasVideo());
    EXPECT_TRUE(item->hasAudio());
    EXPECT_TRUE(item->videoSize().isEmpty());
    ASSERT_TRUE(item->duration().has_value());
    EXPECT_NEAR(*item->duration(), 1.0, 0.01);
    EXPECT_EQ(item->latestFrame(), nullptr);
}

TEST(MediaItem, UnplayableFilesFailWithAReason)
{
    const std::string garbage = tempDir() + "/garbage.mp4";
    {
        std::ofstream out(garbage, std::ios::binary);
        for (int i = 0; i < 50000; ++i)
            out.put(static_cast<char>((i * 7919) % 251));
    }
    const std::string text = tempDir() + "/notes.mov";
    std::ofstream(text) << "not a movie, just a few words\n";

    for (const std::string& path : {tempDir() + "/does-not-exist.mp4", garbage, text}) {
        SCOPED_TRACE(path);
        auto item = loadAndWait(path);
        EXPECT_EQ(item->status(), MediaItem::Status::Failed);
        EXPECT_FALSE(item->errorText().isEmpty());
        EXPECT_FALSE(item->duration().has_value());
    }
}

TEST(MediaItem, MayBeDroppedWhileLoadingOnAnyThread)
{
    const std::string path = MediaFiles::countingVideo(25, true);
    QPointer<MediaItem> watched;
    {
        auto item = MediaItem::load(QString::fromStdString(path));
        watched = item.get();
        std::thread([held = std::move(item)]() mutable { held.reset(); }).join();
    }
    // Released off the main thread, so destroyed later on the main thread.
    EXPECT_FALSE(watched.isNull());
    EXPECT_TRUE(waitUntil([&] { return watched.isNull(); }));
    MediaItem::load(QString::fromStdString(path)).reset();
    spinFor(std::chrono::milliseconds(100));
}
