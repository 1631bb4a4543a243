// Protects the first-frame snapshot behind thumbnails: bounded size with the aspect kept,
// the picture's colour, and a reason instead of an image for files without a picture.
#include "MediaFixtures.h"
#include "platform/media/VideoSnapshot.h"
#include "support/TestSupport.h"

#include <future>

using namespace orvelo;
using namespace orvelo::test;

TEST(VideoSnapshot, FirstFrameScaledIntoTheBoundsWithItsColour)
{
    const std::string red = MediaFiles::generate(
        "red320x240.mp4", "videotestsrc pattern=solid-color foreground-color=0xffff0000 num-buffers=5 "
                          "! video/x-raw,format=I420,width=320,height=240,framerate=25/1 "
                          "! x264enc speed-preset=ultrafast ! mp4mux ! filesink location={out}");
    ASSERT_FALSE(red.empty());
    // Thumbnails are made off the main thread, several at a time.
    auto first = std::async(std::launch::async,
                            [&] { return VideoSnapshot::firstFrame(QString::fromStdString(red), QSize(64, 64)); });
    auto second = std::async(std::launch::async, [&] {
        return VideoSnapshot::firstFrame(QString::fromStdString(MediaFiles::countingVideo(25, true)), QSize(200, 200));
    });
    const VideoSnapshot thumb = first.get();
    ASSERT_TRUE(thumb.error.isEmpty()) << thumb.error.toStdString();
    EXPECT_EQ(thumb.image.size(), QSize(64, 48));
    const QColor centre = thumb.image.pixelColor(32, 24);
    EXPECT_GT(centre.red(), 230);
    EXPECT_LT(centre.green(), 30);
    EXPECT_LT(centre.blue(), 30);

    // Smaller than the bounds: kept at its own size, and it is frame 0 (black).
    const VideoSnapshot small = second.get();
    ASSERT_TRUE(small.error.isEmpty()) << small.error.toStdString();
    EXPECT_EQ(small.image.size(), QSize(160, 120));
    EXPECT_LT(qGray(small.image.pixel(80, 60)), 8);
}

TEST(VideoSnapshot, FilesWithoutAPictureGiveAReason)
{
    for (const std::string& path : {MediaFiles::tone("wav", 1000), tempDir() + "/missing.mov"}) {
        SCOPED_TRACE(path);
        const VideoSnapshot shot = VideoSnapshot::firstFrame(QString::fromStdString(path), QSize(64, 64));
        EXPECT_TRUE(shot.image.isNull());
        EXPECT_FALSE(shot.error.isEmpty());
    }
}
