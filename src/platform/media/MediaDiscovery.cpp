#include "platform/media/MediaDiscovery.h"

#include "platform/media/AudioFileInfo.h"
#include "platform/media/GStreamerInit.h"
#include "platform/media/GstHandle.h"

#include <gst/pbutils/pbutils.h>

namespace orvelo {

namespace {

// The discoverer and its results are plain GObjects, not GstObjects.
struct GObjectUnref {
    void operator()(gpointer object) const noexcept { g_object_unref(object); }
};
template <typename T> using GObjectHandle = std::unique_ptr<T, GObjectUnref>;

struct StreamListFree {
    void operator()(GList* list) const noexcept { gst_discoverer_stream_info_list_free(list); }
};
using StreamList = std::unique_ptr<GList, StreamListFree>;

} // namespace

MediaDiscovery MediaDiscovery::discover(const QString& path, int timeoutMs)
{
    ensureGStreamer();
    MediaDiscovery result;
    GError* rawError = nullptr;
    GCharHandle uri(gst_filename_to_uri(path.toLocal8Bit().constData(), &rawError));
    GErrorHandle uriError(rawError);
    GObjectHandle<GstDiscoverer> discoverer(
        gst_discoverer_new(static_cast<GstClockTime>(timeoutMs) * GST_MSECOND, &rawError));
    GErrorHandle discovererError(rawError);
    if (!uri || !discoverer) {
        result.error = QStringLiteral("Cannot open ") + path;
        return result;
    }
    rawError = nullptr;
    GObjectHandle<GstDiscovererInfo> info(gst_discoverer_discover_uri(discoverer.get(), uri.get(), &rawError));
    GErrorHandle discoverError(rawError);
    if (!info || gst_discoverer_info_get_result(info.get()) != GST_DISCOVERER_OK) {
        result.error = discoverError ? QString::fromUtf8(discoverError->message) : QStringLiteral("Not media: ") + path;
        return result;
    }
    const StreamList video(gst_discoverer_info_get_video_streams(info.get()));
    const StreamList audio(gst_discoverer_info_get_audio_streams(info.get()));
    result.hasAudio = audio != nullptr;
    // A still picture decodes as one video frame; it is not a clip the player can run.
    for (GList* s = video.get(); s; s = s->next)
        if (!gst_discoverer_video_info_is_image(GST_DISCOVERER_VIDEO_INFO(s->data)))
            result.hasVideo = true;
    if (!result.hasVideo && !result.hasAudio) {
        result.error = QStringLiteral("No audio or video in ") + path;
        return result;
    }
    // Audio files that record their exact sample count give an exact length; others the
    // container's.
    if (const auto header = readAudioFileInfo(path.toStdString()); header && header->sampleRate > 0) {
        result.duration = static_cast<double>(header->packetCount) * header->framesPerPacket / header->sampleRate;
    } else {
        const GstClockTime length = gst_discoverer_info_get_duration(info.get());
        if (GST_CLOCK_TIME_IS_VALID(length) && length > 0)
            result.duration = static_cast<double>(length) / GST_SECOND;
    }
    return result;
}

} // namespace orvelo
