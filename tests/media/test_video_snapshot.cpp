// Protects the first-frame snapshot behind thumbnails: bounded size with the aspect kept,
// the picture's colour, and a reason instead of an image for files without a picture.
#include "MediaFixtures.h"
#include "platform/media/VideoSnapshot.h"

#include <future>

using namespace orvelo;
using namespace orvelo::test;

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
    const QColor centre = thumb.image.pixelColor(32, 24);
    EXPECT_GT(centre.red(), 230);
    EXPECT_LT(std::max(centre.green(), centre.blue()), 30);

    // Smaller than the bounds: kept at its own size, and it is frame 0 (black).
    const VideoSnapshot small = second.get();
    ASSERT_TRUE(small.error.isEmpty()) << small.error.toStdString();
    EXPECT_EQ(small.image.size(), QSize(160, 120));
    EXPECT_LT(qGray(small.image.pixel(80, 60)), 8);

    for (const std::string& path : {MediaFiles::tone("wav", 1000), tempDir() + "/missing.mov"}) {
        const VideoSnapshot shot = snapshot(path, 64);
        EXPECT_TRUE(shot.image.isNull()) << path;
        EXPECT_FALSE(shot.error.isEmpty()) << path;
    }
}
