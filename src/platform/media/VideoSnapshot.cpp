#include "platform/media/VideoSnapshot.h"

#include "platform/media/GStreamerInit.h"
#include "platform/media/GstHandle.h"

#include <gst/app/gstappsink.h>
#include <gst/video/video.h>

#include <atomic>
#include <cstring>

namespace orvelo {

namespace {

struct SnapshotPipeline {
    GstObjectHandle<GstElement> pipeline;
    GstElement* convert = nullptr; // first element after the decoder, owned by the pipeline
    GstElement* sink = nullptr;    // owned by the pipeline
    std::atomic<bool> linked{false};

    ~SnapshotPipeline()
    {
        if (pipeline)
            gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    }

    // Only the first video stream is decoded; uridecodebin exposes no other kind.
    static void onPadAdded(GstElement*, GstPad* pad, gpointer self)
    {
        auto* s = static_cast<SnapshotPipeline*>(self);
        GstMiniHandle<GstCaps> caps(gst_pad_get_current_caps(pad));
        if (!caps ||
            std::strncmp(gst_structure_get_name(gst_caps_get_structure(caps.get(), 0)), "video/x-raw", 11) != 0)
            return;
        if (s->linked.exchange(true))
            return;
        GstObjectHandle<GstPad> sinkPad(gst_element_get_static_pad(s->convert, "sink"));
        gst_pad_link(pad, sinkPad.get());
    }

    // When the file is done exposing streams and none was video, say so instead of waiting.
    static void onNoMorePads(GstElement*, gpointer self)
    {
        auto* s = static_cast<SnapshotPipeline*>(self);
        if (s->linked.load())
            return;
        gst_element_post_message(s->pipeline.get(), newErrorMessage(s->pipeline.get(), "No video stream in the file"));
    }
};

} // namespace

VideoSnapshot VideoSnapshot::firstFrame(const QString& path, QSize maxSize, int timeoutMs)
{
    ensureGStreamer();
    VideoSnapshot result;
    SnapshotPipeline s;
    s.pipeline = adoptElement(gst_pipeline_new(nullptr));
    auto decoder = adoptElement(gst_element_factory_make("uridecodebin", nullptr));
    auto convert = adoptElement(gst_element_factory_make("videoconvert", nullptr));
    auto flip = adoptElement(gst_element_factory_make("videoflip", nullptr));
    auto sink = adoptElement(gst_element_factory_make("appsink", nullptr));
    GError* rawError = nullptr;
    GCharHandle uri(gst_filename_to_uri(path.toLocal8Bit().constData(), &rawError));
    GErrorHandle uriError(rawError);
    if (!s.pipeline || !decoder || !convert || !flip || !sink || !uri) {
        result.error = QStringLiteral("Cannot open ") + path;
        return result;
    }
    GstMiniHandle<GstCaps> caps(gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGRA", nullptr));
    GstMiniHandle<GstCaps> videoOnly(gst_caps_from_string("video/x-raw(ANY)"));
    g_object_set(decoder.get(), "uri", uri.get(), "caps", videoOnly.get(), "expose-all-streams", FALSE, nullptr);
    g_object_set(flip.get(), "video-direction", GST_VIDEO_ORIENTATION_AUTO, nullptr);
    g_object_set(sink.get(), "caps", caps.get(), "sync", FALSE, "max-buffers", 1u, nullptr);
    gst_bin_add_many(GST_BIN(s.pipeline.get()), decoder.get(), convert.get(), flip.get(), sink.get(), nullptr);
    // gst_bin_add_many took its own references of the non-floating handles.
    if (!gst_element_link_many(convert.get(), flip.get(), sink.get(), nullptr)) {
        result.error = QStringLiteral("Cannot set up video decoding");
        return result;
    }
    s.convert = convert.get();
    s.sink = sink.get();
    g_signal_connect(decoder.get(), "pad-added", G_CALLBACK(&SnapshotPipeline::onPadAdded), &s);
    g_signal_connect(decoder.get(), "no-more-pads", G_CALLBACK(&SnapshotPipeline::onNoMorePads), &s);

    gst_element_set_state(s.pipeline.get(), GST_STATE_PAUSED);
    GstObjectHandle<GstBus> bus(gst_element_get_bus(s.pipeline.get()));
    GstMiniHandle<GstMessage> message(
        gst_bus_timed_pop_filtered(bus.get(), static_cast<GstClockTime>(timeoutMs) * GST_MSECOND,
                                   static_cast<GstMessageType>(GST_MESSAGE_ASYNC_DONE | GST_MESSAGE_ERROR)));
    if (!message) {
        result.error = QStringLiteral("Timed out decoding the first frame");
        return result;
    }
    if (GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_ERROR) {
        GError* raw = nullptr;
        gst_message_parse_error(message.get(), &raw, nullptr);
        GErrorHandle error(raw);
        result.error = error ? QString::fromUtf8(error->message) : QStringLiteral("Cannot decode the file");
        return result;
    }
    GstMiniHandle<GstSample> sample(gst_app_sink_try_pull_preroll(GST_APP_SINK(s.sink), 0));
    GstVideoInfo info;
    if (!sample || !gst_video_info_from_caps(&info, gst_sample_get_caps(sample.get()))) {
        result.error = QStringLiteral("No video frame in the file");
        return result;
    }
    const VideoFrameReadMap frame(info, gst_sample_get_buffer(sample.get()));
    if (!frame.ok()) {
        result.error = QStringLiteral("Cannot read the video frame");
        return result;
    }
    // A view of GStreamer's memory, copied by the conversion below before the map ends.
    const QImage view(frame.plane(0), GST_VIDEO_INFO_WIDTH(&info), GST_VIDEO_INFO_HEIGHT(&info), frame.stride(0),
                      QImage::Format_ARGB32);
    const bool fits = view.width() <= maxSize.width() && view.height() <= maxSize.height();
    result.image = (fits ? view : view.scaled(maxSize, Qt::KeepAspectRatio, Qt::SmoothTransformation))
                       .convertToFormat(QImage::Format_RGB32);
    return result;
}

} // namespace orvelo
