// Protects preparing a media file: what is known before playing, failures with a reason, and the
// first-frame snapshot behind thumbnails.
#include "MediaFixtures.h"
#include "platform/media/VideoSnapshot.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThread>

#include <future>
#include <thread>

using namespace orvelo;
using namespace orvelo::test;

TEST(MediaItem, FilesBecomeReadyOnTheMainThreadWithTheirStreamsAndLength)
{
    auto video = MediaItem::load(QString::fromStdString(MediaFiles::countingVideo(50, true)));
    EXPECT_EQ(video->status(), MediaItem::Status::loading);
    int changes = 0;
    bool onMainThread = false;
    QObject::connect(video.get(), &MediaItem::statusChanged, [&] {
        ++changes;
        onMainThread = QThread::currentThread() == video->thread();
    });
    ASSERT_TRUE(waitUntil([&] { return video->status() != MediaItem::Status::loading; }, std::chrono::seconds(10)));
    ASSERT_EQ(video->status(), MediaItem::Status::readyToPlay) << video->errorText().toStdString();
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(onMainThread);
    EXPECT_TRUE(video->hasVideo() && video->hasAudio());
    EXPECT_EQ(video->videoSize(), QSize(160, 120));
    EXPECT_NEAR(video->duration().value_or(0.0), 2.0, 0.05);

    auto audio = loadAndWait(MediaFiles::tone("wav", 1000));
    ASSERT_EQ(audio->status(), MediaItem::Status::readyToPlay) << audio->errorText().toStdString();
    EXPECT_TRUE(audio->videoSize().isEmpty());
    EXPECT_EQ(audio->latestFrame(), nullptr);
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
    // Reports its pipeline posted before it went never reach it.
    MediaItem::load(QString::fromStdString(path)).reset();
    QCoreApplication::sendPostedEvents();
}

TEST(VideoSnapshot, FirstFrameScaledIntoTheBoundsWithItsColourOrAReason)
{
    const std::string red = MediaFiles::generate(
        "red320x240.mp4", "videotestsrc pattern=solid-color foreground-color=0xffff0000 num-buffers=5 "
                          "! video/x-raw,format=I420,width=320,height=240,framerate=25/1 "
                          "! x264enc speed-preset=ultrafast ! mp4mux ! filesink location={out}");
    ASSERT_FALSE(red.empty());
    const auto snapshot = [](const std::string& path, int bound) {
        return VideoSnapshot::firstFrame(QString::fromStdString(path), QSize(bound, bound));
    };
    // Thumbnails are made off the main thread, several at a time.
    auto first = std::async(std::launch::async, snapshot, red, 64);
    auto second = std::async(std::launch::async, snapshot, MediaFiles::countingVideo(25, true), 200);
    const VideoSnapshot thumb = first.get();
    ASSERT_TRUE(thumb.error.isEmpty()) << thumb.error.toStdString();
    EXPECT_EQ(thumb.image.size(), QSize(64, 48));
    EXPECT_GT(thumb.image.pixelColor(32, 24).red(), 230);

    // Smaller than the bounds: kept at its own size, and it is frame 0 (black).
    const VideoSnapshot small = second.get();
    ASSERT_TRUE(small.error.isEmpty()) << small.error.toStdString();
    EXPECT_EQ(small.image.size(), QSize(160, 120));
    EXPECT_LT(qGray(small.image.pixel(80, 60)), 8);

    for (const std::string& path : {MediaFiles::tone("wav", 1000), tempDir() + "/missing.mov"}) {
        const VideoSnapshot shot = snapshot(path, 64);
        EXPECT_TRUE(shot.image.isNull() && !shot.error.isEmpty()) << path;
    }
}
