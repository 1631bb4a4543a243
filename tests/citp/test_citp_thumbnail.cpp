// The thumbnails consoles show: fitted into 64 x 64 (the first picture's own fit is the snapshot
// test's), a drawn picture for audio-only media, and a reason instead of a picture.
#include "citp/CITPThumbnailMaker.h"

#include "support/MediaFiles.h"
#include "support/TestSupport.h"
#include "support/TrackSupport.h"

#include <QImage>

using namespace orvelo;
using test::trackFor;

TEST(CITPThumbnail, AudioOnlyMediaGetADrawnPicture)
{
    const std::string audio = test::MediaFiles::generate(
        "citp-tone.wav", "audiotestsrc num-buffers=20 ! audio/x-raw,rate=44100 ! wavenc ! filesink location={out}");
    ASSERT_FALSE(audio.empty());
    EXPECT_EQ(QImage::fromData(CITPThumbnailMaker().make(trackFor(audio)).jpeg, "JPEG").size(), QSize(64, 64));

    // The pattern renderer can take the drawing's place; an oversized picture is still fitted.
    const CITPThumbnailMaker painted({}, [](const MediaTrack&, QSize) {
        QImage image(128, 96, QImage::Format_RGB32);
        image.fill(Qt::red);
        return image;
    });
    EXPECT_EQ(QImage::fromData(painted.make(trackFor(audio)).jpeg, "JPEG").size(), QSize(64, 48));
}

TEST(CITPThumbnail, FailuresGiveAReasonAndNoPicture)
{
    const MediaTrack remote{QUuid::createUuid(), QUrl("http://127.0.0.1/clip.mp4"), "Remote", 0.0, 1};
    for (const MediaTrack& track :
         {trackFor(test::tempDir() + "/no-such-file.mov"), trackFor(test::MediaFiles::notMedia()), remote}) {
        SCOPED_TRACE(track.url.toString().toStdString());
        const auto result = CITPThumbnailMaker().make(track);
        EXPECT_TRUE(result.jpeg.isEmpty());
        EXPECT_FALSE(result.error.isEmpty());
    }
}
