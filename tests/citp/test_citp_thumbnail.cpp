// Protects the thumbnails consoles show: a JPEG of the media's first picture within 64 x 64 with
// its aspect kept, a drawn picture for audio-only media, and a reason instead of a picture.
#include "citp/CITPThumbnailMaker.h"

#include "support/TestSupport.h"

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStringList>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace orvelo;

namespace {

// Makes a media file with gst-launch-1.0; "" when that fails.
QString generatedMedia(const QString& name, const QString& pipeline)
{
    const QString path = QString::fromStdString(test::tempDir()) + "/citp-" + QString::number(::getpid()) + "-" + name;
    QProcess launch;
    launch.start("gst-launch-1.0", QStringList{"-q"} + QProcess::splitCommand(pipeline + " ! filesink location=" + path));
    if (!launch.waitForFinished(60000) || launch.exitCode() != 0) {
        ADD_FAILURE() << "gst-launch-1.0 failed: " << launch.readAllStandardError().toStdString();
        return {};
    }
    return path;
}

MediaTrack trackFor(const QString& path, const QString& name = "Track")
{
    return MediaTrack{QUuid::createUuid(), QUrl::fromLocalFile(path), name, 0.0, 1};
}

QImage decoded(const QByteArray& jpeg)
{
    return QImage::fromData(jpeg, "JPEG");
}

} // namespace

TEST(CITPThumbnail, FirstFrameFittedInto64WithItsColour)
{
    const QString video = generatedMedia(
        "blue.mp4", "videotestsrc pattern=solid-color foreground-color=0xff2080e0 num-buffers=5 "
                    "! video/x-raw,format=I420,width=320,height=180,framerate=25/1 "
                    "! x264enc speed-preset=ultrafast ! mp4mux");
    ASSERT_FALSE(video.isEmpty());
    const auto result = CITPThumbnailMaker().make(trackFor(video));
    ASSERT_TRUE(result.error.isEmpty()) << result.error.toStdString();
    const QImage image = decoded(result.jpeg);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(64, 36));
    const QColor centre = image.pixelColor(32, 18);
    EXPECT_NEAR(centre.red(), 0x20, 24);
    EXPECT_NEAR(centre.green(), 0x80, 24);
    EXPECT_NEAR(centre.blue(), 0xE0, 24);
}

TEST(CITPThumbnail, AudioOnlyMediaGetADrawnPicture)
{
    const QString audio = generatedMedia("tone.wav", "audiotestsrc num-buffers=20 ! audio/x-raw,rate=44100 ! wavenc");
    ASSERT_FALSE(audio.isEmpty());

    const QImage drawn = decoded(CITPThumbnailMaker().make(trackFor(audio)).jpeg);
    ASSERT_FALSE(drawn.isNull());
    EXPECT_EQ(drawn.size(), QSize(64, 64));

    // The pattern renderer can take the drawing's place; an oversized picture is still fitted.
    const CITPThumbnailMaker painted({}, [](const MediaTrack&, QSize) {
        QImage image(128, 96, QImage::Format_RGB32);
        image.fill(QColor(200, 40, 40));
        return image;
    });
    const QImage custom = decoded(painted.make(trackFor(audio)).jpeg);
    EXPECT_EQ(custom.size(), QSize(64, 48));
    EXPECT_NEAR(custom.pixelColor(32, 24).red(), 200, 16);
}

TEST(CITPThumbnail, FailuresGiveAReasonAndNoPicture)
{
    const QString missing = QString::fromStdString(test::tempDir()) + "/no-such-file.mov";
    const QString notMedia = QString::fromStdString(test::tempDir()) + "/citp-not-media-" + QString::number(::getpid()) + ".mp4";
    {
        QFile file(notMedia);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("this is no video");
    }
    const MediaTrack remote{QUuid::createUuid(), QUrl("http://127.0.0.1/clip.mp4"), "Remote", 0.0, 1};
    for (const MediaTrack& track : {trackFor(missing), trackFor(notMedia), remote}) {
        SCOPED_TRACE(track.url.toString().toStdString());
        const auto result = CITPThumbnailMaker().make(track);
        EXPECT_TRUE(result.jpeg.isEmpty());
        EXPECT_FALSE(result.error.isEmpty());
    }
}
