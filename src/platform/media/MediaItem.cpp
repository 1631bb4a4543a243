#include "platform/media/MediaItem.h"

#include "platform/Log.h"
#include "platform/MainThread.h"
#include "platform/SerialQueue.h"
#include "platform/media/AudioOutput.h"
#include "platform/media/FrameTap.h"
#include "platform/media/GStreamerInit.h"
#include "platform/media/GroupClock.h"
#include "platform/media/GstHandle.h"
#include "platform/media/VideoFramePool.h"

#include <gst/app/gstappsink.h>
#include <gst/audio/audio.h>
#include <gst/pbutils/pbutils.h>
#include <gst/video/video.h>

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace orvelo {

namespace {

// A file that neither prerolls nor fails within this time (a stream that never delivers its
// first frame) is reported as failed instead of leaving its player loading for ever.
constexpr int loadTimeoutMs = 10000;

bool hasPrefix(const char* text, const char* prefix)
{
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

// Stopping a pipeline joins its streaming threads, which takes from a few to a couple of hundred
// milliseconds; the main thread hands that wait to a thread of its own so a cue never queues
// behind the one before it.
SerialQueue& teardownQueue()
{
    static SerialQueue queue("org.orvelo.pipeline-teardown");
    return queue;
}

// Copies a mapped GStreamer frame into a frame of our own, so the decoder's buffer goes back
// to its pool at once (holding decoder buffers stalls decoding).
VideoFramePtr copyFrame(GstSample* sample, PixelFormat format)
{
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstCaps* caps = gst_sample_get_caps(sample);
    GstVideoInfo info;
    if (!buffer || !caps || !gst_video_info_from_caps(&info, caps))
        return nullptr;
    const VideoFrameReadMap mapped(info, buffer);
    if (!mapped.ok())
        return nullptr;
    const int width = GST_VIDEO_INFO_WIDTH(&info);
    const int height = GST_VIDEO_INFO_HEIGHT(&info);
    auto frame = VideoFramePool::shared().acquire(width, height, format);
    for (int plane = 0; plane < frame->planeCount(); ++plane) {
        const guint8* src = mapped.plane(plane);
        const int srcStride = mapped.stride(plane);
        const int dstStride = frame->strides[static_cast<std::size_t>(plane)];
        const int rows = plane == 0 ? height : (height + 1) / 2;
        const auto rowBytes = static_cast<std::size_t>(std::min(srcStride, dstStride));
        std::uint8_t* dst = frame->plane(plane);
        for (int row = 0; row < rows; ++row)
            std::memcpy(dst + static_cast<std::ptrdiff_t>(row) * dstStride,
                        src + static_cast<std::ptrdiff_t>(row) * srcStride, rowBytes);
    }

    // How the Y'CbCr values turn into RGB, as the decoder reported it. Anything other than the
    // SD matrix is treated as BT.709, the HD matrix that show media uses.
    const GstVideoColorimetry& colour = GST_VIDEO_INFO_COLORIMETRY(&info);
    frame->yuvMatrix = colour.matrix == GST_VIDEO_COLOR_MATRIX_BT601 || colour.matrix == GST_VIDEO_COLOR_MATRIX_FCC
                           ? YuvMatrix::bt601
                           : YuvMatrix::bt709;
    frame->yuvFullRange = colour.range == GST_VIDEO_COLOR_RANGE_0_255;

    // Stream time is the position in the file, whatever the playback rate.
    const GstSegment* segment = gst_sample_get_segment(sample);
    const GstClockTime pts = GST_BUFFER_PTS(buffer);
    if (segment && GST_CLOCK_TIME_IS_VALID(pts)) {
        const guint64 streamTime = gst_segment_to_stream_time(segment, GST_FORMAT_TIME, pts);
        if (GST_CLOCK_TIME_IS_VALID(streamTime))
            frame->pts = static_cast<double>(streamTime) / GST_SECOND;
        const guint64 runningTime = gst_segment_to_running_time(segment, GST_FORMAT_TIME, pts);
        if (GST_CLOCK_TIME_IS_VALID(runningTime))
            frame->runningTime = static_cast<double>(runningTime) / GST_SECOND;
    }
    return frame;
}

} // namespace

// The GStreamer side of an item. Its callbacks run on streaming threads; everything they
// share with the main thread is atomic or behind a mutex. It outlives every streaming thread:
// the pipeline is stopped (which joins them) before it is destroyed.
struct MediaItem::Pipeline {
    // Cleared when the item goes, before the pipeline is stopped: messages posted after that
    // have no one to go to.
    std::mutex ownerMutex;
    MediaItem* owner = nullptr;
    bool grouped = false;
    PixelFormat format = PixelFormat::bgra;
    GstObjectHandle<GstElement> pipeline;
    std::atomic<unsigned> seekGeneration{0};
    std::atomic<bool> hasVideo{false};
    std::atomic<bool> hasAudio{false};

    std::mutex branchMutex;
    // Parser pads whose buffers wait until our side is linked (see onElementAdded).
    std::vector<std::pair<GstObjectHandle<GstPad>, gulong>> heldPads;
    GstElement* videoSink = nullptr;      // owned by the pipeline
    GstObjectHandle<GstClock> groupClock; // the clock it was set on, in a group
    // Counts the seeks that loop to the start, so the segments that answer them can be told.
    std::atomic<unsigned> loopSeeks{0};
    // The demuxer takes no segment seeks: the item loops by seeking back at each end.
    std::atomic<bool> refusesSegments{false};
    GstElement* volume = nullptr; // owned by the pipeline
    bool muted = false;
    QString undecodableVideo;
    QString undecodableAudio;

    mutable std::mutex frameMutex;
    std::shared_ptr<const VideoFrameHook> hook;
    std::shared_ptr<const VideoRestartHook> restartHook;
    VideoFramePtr latest;
    // Set by a flush (every seek), taken by the next frame.
    std::atomic<bool> restartPending{false};

    // The frame shown at preroll is rendered again when playback starts; these let it pass
    // the hook only once. Touched only by the video sink's callbacks, which its stream lock
    // serialises.
    GstMiniHandle<GstBuffer> prerolledBuffer;
    VideoFramePtr prerolledFrame;
    bool prerolledHooked = false;

    std::mutex tapMutex;
    std::shared_ptr<const AudioSampleTap> tap;
    // Touched only by the audio streaming thread.
    int channels = 1;
    std::vector<float> firstChannel;

    ~Pipeline()
    {
        if (!pipeline)
            return;
        gst_element_set_state(pipeline.get(), GST_STATE_NULL);
        GstObjectHandle<GstBus> bus(gst_element_get_bus(pipeline.get()));
        gst_bus_set_sync_handler(bus.get(), nullptr, nullptr, nullptr);
    }

    bool build(const QString& path);
    void postError(const char* text);

    bool linkVideo(GstPad* pad);
    bool linkAudio(GstPad* pad);
    bool linkDiscard(GstPad* pad);
    bool addAndLink(GstPad* pad, std::initializer_list<GstElement*> chain);

    GstFlowReturn present(GstSample* sample, bool preroll);
    void tapFrame(GstSample* sample);
    void tapAudio(GstBuffer* buffer);

    void releaseHeldPads();

    static void onPadAdded(GstElement* decoder, GstPad* pad, gpointer self);
    static void onElementAdded(GstBin* bin, GstBin* subBin, GstElement* element, gpointer self);
    static GstFlowReturn onNewPreroll(GstAppSink* sink, gpointer self);
    static GstFlowReturn onNewSample(GstAppSink* sink, gpointer self);
    static GstPadProbeReturn onAudioProbe(GstPad* pad, GstPadProbeInfo* info, gpointer self);
    static GstPadProbeReturn onVideoFlush(GstPad* pad, GstPadProbeInfo* info, gpointer self);
    static GstBusSyncReply onBusMessage(GstBus* bus, GstMessage* message, gpointer self);
};

bool MediaItem::Pipeline::build(const QString& path)
{
    pipeline = adoptElement(gst_pipeline_new(nullptr));
    auto decoder = adoptElement(gst_element_factory_make("uridecodebin", nullptr));
    GError* rawError = nullptr;
    GCharHandle uri(gst_filename_to_uri(path.toLocal8Bit().constData(), &rawError));
    GErrorHandle error(rawError);
    if (!pipeline || !decoder || !uri)
        return false;
    g_object_set(decoder.get(), "uri", uri.get(), nullptr);
    g_signal_connect(decoder.get(), "pad-added", G_CALLBACK(&Pipeline::onPadAdded), this);
    g_signal_connect(pipeline.get(), "deep-element-added", G_CALLBACK(&Pipeline::onElementAdded), this);
    gst_bin_add(GST_BIN(pipeline.get()), decoder.get());
    if (grouped) {
        // The group's clock, and base times of our own: a start is set for a moment on it.
        groupClock = GroupClock::shared().clock();
        gst_pipeline_use_clock(GST_PIPELINE(pipeline.get()), groupClock.get());
        gst_element_set_start_time(pipeline.get(), GST_CLOCK_TIME_NONE);
    }

    GstObjectHandle<GstBus> bus(gst_element_get_bus(pipeline.get()));
    gst_bus_set_sync_handler(bus.get(), &Pipeline::onBusMessage, this, nullptr);
    return true;
}

// Reports a failure found on a streaming thread through the bus, like GStreamer's own errors.
void MediaItem::Pipeline::postError(const char* text)
{
    gst_element_post_message(pipeline.get(), newErrorMessage(pipeline.get(), text));
}

namespace {

// After a loop the demuxer starts the next segment at the running time of the last frame's
// start, not its end, so that frame's time was lost at every seam (it and the first frame of the
// next play were due together). The segment that answers a loop's seek takes, on every stream
// alike, the whole length of the segment before it on the time line, so sound and picture stay
// together. Other segments (a file's edit list, say) pass as they are.
struct SeamKeeper {
    const std::atomic<unsigned>* loopSeeks = nullptr;
    unsigned loopsSeen = 0;
    std::optional<GstSegment> previous;

    static GstPadProbeReturn onEvent(GstPad*, GstPadProbeInfo* info, gpointer self)
    {
        auto* keeper = static_cast<SeamKeeper*>(self);
        GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
        if (GST_EVENT_TYPE(event) == GST_EVENT_FLUSH_STOP) {
            keeper->previous.reset();
            return GST_PAD_PROBE_OK;
        }
        if (GST_EVENT_TYPE(event) != GST_EVENT_SEGMENT)
            return GST_PAD_PROBE_OK;
        const GstSegment* segment = nullptr;
        gst_event_parse_segment(event, &segment);
        GstSegment next = *segment;
        const std::optional<GstSegment> before = std::exchange(keeper->previous, next);
        const unsigned loops = keeper->loopSeeks->load();
        const bool answersALoop = loops != keeper->loopsSeen;
        keeper->loopsSeen = loops;
        if (!answersALoop || !before || before->format != GST_FORMAT_TIME || next.format != GST_FORMAT_TIME ||
            !GST_CLOCK_TIME_IS_VALID(before->stop) || before->stop <= before->start)
            return GST_PAD_PROBE_OK;
        const auto played =
            static_cast<guint64>(static_cast<double>(before->stop - before->start) / std::abs(before->rate));
        if (next.base >= before->base + played)
            return GST_PAD_PROBE_OK;
        next.base = before->base + played;
        keeper->previous = next;
        GstEvent* fixed = gst_event_new_segment(&next);
        gst_event_set_seqnum(fixed, gst_event_get_seqnum(event));
        gst_event_unref(event);
        GST_PAD_PROBE_INFO_DATA(info) = fixed;
        return GST_PAD_PROBE_OK;
    }

    // On every stream a demuxer adds, ahead of the decoders: their quality of service reckons
    // lateness on the same time line as the sinks.
    static void onDemuxerPad(GstElement*, GstPad* pad, gpointer loopSeeks)
    {
        if (GST_PAD_DIRECTION(pad) != GST_PAD_SRC)
            return;
        auto* keeper = new SeamKeeper;
        keeper->loopSeeks = static_cast<const std::atomic<unsigned>*>(loopSeeks);
        keeper->loopsSeen = keeper->loopSeeks->load();
        const auto events =
            static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM | GST_PAD_PROBE_TYPE_EVENT_FLUSH);
        gst_pad_add_probe(pad, events, &SeamKeeper::onEvent, keeper,
                          [](gpointer keeper) { delete static_cast<SeamKeeper*>(keeper); });
    }
};

// A speed change made in place travels down each stream as a sticky event; a flushing seek made
// while it is still on its way leaves it pending on the pads, and they hand it to the sink again
// after the flush. The sink then asks the pipeline to apply it once more, to a segment that the
// flush has cleared (GStreamer asserts) or to the new one, which the seek already gave that
// speed (it played at the speed squared). What comes after the flush is the seek's alone.
struct StaleRateChangeFilter {
    std::atomic<guint32> lastFlush{GST_SEQNUM_INVALID};

    static GstPadProbeReturn onEvent(GstPad*, GstPadProbeInfo* info, gpointer self)
    {
        auto* filter = static_cast<StaleRateChangeFilter*>(self);
        GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
        if (GST_EVENT_TYPE(event) == GST_EVENT_FLUSH_STOP) {
            filter->lastFlush = gst_event_get_seqnum(event);
            return GST_PAD_PROBE_OK;
        }
        const guint32 flush = filter->lastFlush;
        if (GST_EVENT_TYPE(event) == GST_EVENT_INSTANT_RATE_CHANGE && flush != GST_SEQNUM_INVALID &&
            gst_util_seqnum_compare(gst_event_get_seqnum(event), flush) < 0)
            return GST_PAD_PROBE_DROP;
        return GST_PAD_PROBE_OK;
    }

    static void attachTo(GstElement* sink)
    {
        GstObjectHandle<GstPad> pad(sink ? gst_element_get_static_pad(sink, "sink") : nullptr);
        if (!pad)
            return;
        const auto events =
            static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM | GST_PAD_PROBE_TYPE_EVENT_FLUSH);
        gst_pad_add_probe(pad.get(), events, &StaleRateChangeFilter::onEvent, new StaleRateChangeFilter,
                          [](gpointer filter) { delete static_cast<StaleRateChangeFilter*>(filter); });
    }
};

} // namespace

bool MediaItem::Pipeline::addAndLink(GstPad* pad, std::initializer_list<GstElement*> chain)
{
    // Own every new element first, so a missing one leaks nothing.
    std::vector<GstObjectHandle<GstElement>> elements;
    for (GstElement* element : chain)
        elements.push_back(adoptElement(element));
    for (const auto& element : elements)
        if (!element)
            return false;
    bool linked = true;
    for (std::size_t i = 0; i < elements.size(); ++i) {
        gst_bin_add(GST_BIN(pipeline.get()), elements[i].get());
        if (i > 0)
            linked = linked && gst_element_link(elements[i - 1].get(), elements[i].get());
    }
    // Bring the new elements up from the sink end, so nothing pushes into a stopped element.
    for (auto it = elements.rbegin(); it != elements.rend(); ++it)
        gst_element_sync_state_with_parent(it->get());
    GstObjectHandle<GstPad> sinkPad(gst_element_get_static_pad(elements.front().get(), "sink"));
    return linked && sinkPad && GST_PAD_LINK_SUCCESSFUL(gst_pad_link(pad, sinkPad.get()));
}

bool MediaItem::Pipeline::linkVideo(GstPad* pad)
{
    GstElement* convert = gst_element_factory_make("videoconvert", nullptr);
    GstElement* flip = gst_element_factory_make("videoflip", nullptr);
    GstElement* sink = gst_element_factory_make("appsink", nullptr);
    if (convert)
        g_object_set(convert, "n-threads", 0u, nullptr); // 0: one per core
    if (flip)                                            // honour the file's rotation tag, as a phone recording expects
        g_object_set(flip, "video-direction", GST_VIDEO_ORIENTATION_AUTO, nullptr);
    if (sink) {
        GstMiniHandle<GstCaps> caps(gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING,
                                                        format == PixelFormat::bgra ? "BGRA" : "I420", nullptr));
        // As a video sink does: a frame that comes more than 20 ms late (the pipeline held up
        // for a moment) is dropped and the decoder told to catch up, rather than every frame
        // after it being shown late, one after the other, until the backlog is gone.
        g_object_set(sink, "caps", caps.get(), "sync", TRUE, "max-buffers", 1u, "enable-last-sample", FALSE,
                     "max-lateness", static_cast<gint64>(20 * GST_MSECOND), "qos", TRUE, nullptr);
        GstAppSinkCallbacks callbacks{};
        callbacks.new_preroll = &Pipeline::onNewPreroll;
        callbacks.new_sample = &Pipeline::onNewSample;
        gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, this, nullptr);
        GstObjectHandle<GstPad> sinkPad(gst_element_get_static_pad(sink, "sink"));
        gst_pad_add_probe(sinkPad.get(), GST_PAD_PROBE_TYPE_EVENT_FLUSH, &Pipeline::onVideoFlush, this, nullptr);
        StaleRateChangeFilter::attachTo(sink);
    }
    if (!addAndLink(pad, {convert, flip, sink}))
        return false;
    std::lock_guard lock(branchMutex);
    videoSink = sink;
    return true;
}

bool MediaItem::Pipeline::linkAudio(GstPad* pad)
{
    GstElement* convert = gst_element_factory_make("audioconvert", nullptr);
    GstElement* toFloat = gst_element_factory_make("capsfilter", nullptr);
    GstElement* tempo = gst_element_factory_make("scaletempo", nullptr);
    GstElement* outConvert = gst_element_factory_make("audioconvert", nullptr);
    GstElement* resample = gst_element_factory_make("audioresample", nullptr);
    GstElement* gain = gst_element_factory_make("volume", nullptr);
    auto sink = createAudioSink();
    StaleRateChangeFilter::attachTo(sink.get());
    if (toFloat) {
        // Float samples for the tap; lossless for the 16- and 24-bit audio of media files.
        GstMiniHandle<GstCaps> caps(gst_caps_new_simple("audio/x-raw", "format", G_TYPE_STRING, "F32LE", "layout",
                                                        G_TYPE_STRING, "interleaved", nullptr));
        g_object_set(toFloat, "caps", caps.get(), nullptr);
        GstObjectHandle<GstPad> src(gst_element_get_static_pad(toFloat, "src"));
        gst_pad_add_probe(src.get(),
                          static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM),
                          &Pipeline::onAudioProbe, this, nullptr);
    }
    if (gain) {
        std::lock_guard lock(branchMutex);
        g_object_set(gain, "mute", muted ? TRUE : FALSE, nullptr);
    }
    if (!addAndLink(pad, {convert, toFloat, tempo, outConvert, resample, gain, sink.get()}))
        return false;
    // Applied again now that the element is reachable: the setting may have changed meanwhile.
    std::lock_guard lock(branchMutex);
    volume = gain;
    g_object_set(gain, "mute", muted ? TRUE : FALSE, nullptr);
    return true;
}

// Streams we do not play (a second audio track, subtitles, data) must still flow somewhere, or
// the demuxer stops with "not linked".
bool MediaItem::Pipeline::linkDiscard(GstPad* pad)
{
    GstElement* sink = gst_element_factory_make("fakesink", nullptr);
    if (sink)
        g_object_set(sink, "sync", FALSE, "async", FALSE, nullptr);
    StaleRateChangeFilter::attachTo(sink);
    return addAndLink(pad, {sink});
}

// decodebin starts a parser whose always-present pad already carries decoded audio or video
// (aiffparse, for one) before it blocks that pad for linking; the parser's first push can then
// find nothing linked, and decodebin swallows the resulting error, so the file never prerolls.
// Holding the parser's buffers (events still pass, so decodebin sees the caps) until our side
// is linked closes that window.
void MediaItem::Pipeline::onElementAdded(GstBin*, GstBin*, GstElement* element, gpointer self)
{
    GstElementFactory* factory = gst_element_get_factory(element);
    const char* klass = factory ? gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_KLASS) : nullptr;
    if (!klass || (!std::strstr(klass, "Parser") && !std::strstr(klass, "Demux")))
        return;
    if (std::strstr(klass, "Demux")) {
        g_signal_connect(element, "pad-added", G_CALLBACK(&SeamKeeper::onDemuxerPad),
                         &static_cast<Pipeline*>(self)->loopSeeks);
        // The transport stream demuxer flushes the stream and then refuses a segment seek, which
        // leaves nothing playing.
        if (std::strcmp(GST_OBJECT_NAME(factory), "tsdemux") == 0)
            static_cast<Pipeline*>(self)->refusesSegments = true;
    }
    for (const GList* t = gst_element_factory_get_static_pad_templates(factory); t; t = t->next) {
        const auto* templ = static_cast<const GstStaticPadTemplate*>(t->data);
        if (templ->direction != GST_PAD_SRC || templ->presence != GST_PAD_ALWAYS)
            continue;
        GstMiniHandle<GstCaps> caps(gst_static_caps_get(const_cast<GstStaticCaps*>(&templ->static_caps)));
        const char* media = caps && !gst_caps_is_empty(caps.get()) && !gst_caps_is_any(caps.get())
                                ? gst_structure_get_name(gst_caps_get_structure(caps.get(), 0))
                                : "";
        if (!hasPrefix(media, "audio/x-raw") && !hasPrefix(media, "video/x-raw"))
            continue;
        GstObjectHandle<GstPad> pad(gst_element_get_static_pad(element, templ->name_template));
        if (!pad)
            continue;
        const gulong probe =
            gst_pad_add_probe(pad.get(),
                              static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BLOCK | GST_PAD_PROBE_TYPE_BUFFER |
                                                           GST_PAD_PROBE_TYPE_BUFFER_LIST),
                              nullptr, nullptr, nullptr);
        auto* p = static_cast<Pipeline*>(self);
        std::lock_guard lock(p->branchMutex);
        p->heldPads.emplace_back(std::move(pad), probe);
    }
}

void MediaItem::Pipeline::releaseHeldPads()
{
    std::vector<std::pair<GstObjectHandle<GstPad>, gulong>> held;
    {
        std::lock_guard lock(branchMutex);
        held.swap(heldPads);
    }
    for (auto& [pad, probe] : held)
        gst_pad_remove_probe(pad.get(), probe);
}

void MediaItem::Pipeline::onPadAdded(GstElement*, GstPad* pad, gpointer self)
{
    auto* p = static_cast<Pipeline*>(self);
    GstMiniHandle<GstCaps> caps(gst_pad_get_current_caps(pad));
    if (!caps)
        caps.reset(gst_pad_query_caps(pad, nullptr));
    const bool known = caps && !gst_caps_is_empty(caps.get()) && !gst_caps_is_any(caps.get());
    const char* media = known ? gst_structure_get_name(gst_caps_get_structure(caps.get(), 0)) : "";
    bool ok = true;
    if (hasPrefix(media, "video/x-raw") && !p->hasVideo.exchange(true)) {
        ok = p->linkVideo(pad);
    } else if (hasPrefix(media, "audio/x-raw") && !p->hasAudio.exchange(true)) {
        ok = p->linkAudio(pad);
    } else {
        // An encoded video or audio stream here means no decoder is installed for it.
        const bool raw = hasPrefix(media, "video/x-raw") || hasPrefix(media, "audio/x-raw");
        const bool video = hasPrefix(media, "video/") || hasPrefix(media, "image/");
        const bool audio = hasPrefix(media, "audio/");
        if (known && !raw && (video || audio)) {
            GCharHandle description(gst_pb_utils_get_codec_description(caps.get()));
            std::lock_guard lock(p->branchMutex);
            (video ? p->undecodableVideo : p->undecodableAudio) =
                QString::fromUtf8(description ? description.get() : media);
        }
        ok = p->linkDiscard(pad);
    }
    p->releaseHeldPads();
    if (!ok)
        p->postError("Could not set up playback of a stream in the file");
}

GstFlowReturn MediaItem::Pipeline::onNewPreroll(GstAppSink* sink, gpointer self)
{
    GstMiniHandle<GstSample> sample(gst_app_sink_pull_preroll(sink));
    return sample ? static_cast<Pipeline*>(self)->present(sample.get(), true) : GST_FLOW_OK;
}

GstFlowReturn MediaItem::Pipeline::onNewSample(GstAppSink* sink, gpointer self)
{
    GstMiniHandle<GstSample> sample(gst_app_sink_pull_sample(sink));
    if (!sample)
        return GST_FLOW_OK;
    if (FrameTap::enabled())
        static_cast<Pipeline*>(self)->tapFrame(sample.get());
    return static_cast<Pipeline*>(self)->present(sample.get(), false);
}

// The appsink hands a frame over when it is due, so the clock's time now is when it shows.
void MediaItem::Pipeline::tapFrame(GstSample* sample)
{
    const GstBuffer* buffer = gst_sample_get_buffer(sample);
    const GstSegment* segment = gst_sample_get_segment(sample);
    if (!buffer || !segment || !GST_BUFFER_PTS_IS_VALID(buffer))
        return;
    const guint64 position = gst_segment_to_stream_time(segment, GST_FORMAT_TIME, GST_BUFFER_PTS(buffer));
    GstObjectHandle<GstClock> clock(gst_element_get_clock(pipeline.get()));
    if (clock && GST_CLOCK_TIME_IS_VALID(position))
        FrameTap::shown(position, gst_clock_get_time(clock.get()));
}

GstPadProbeReturn MediaItem::Pipeline::onVideoFlush(GstPad*, GstPadProbeInfo* info, gpointer self)
{
    if (GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info); event && GST_EVENT_TYPE(event) == GST_EVENT_FLUSH_STOP)
        static_cast<Pipeline*>(self)->restartPending = true;
    return GST_PAD_PROBE_OK;
}

GstFlowReturn MediaItem::Pipeline::present(GstSample* sample, bool preroll)
{
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    std::shared_ptr<const VideoFrameHook> currentHook;
    std::shared_ptr<const VideoRestartHook> currentRestart;
    {
        std::lock_guard lock(frameMutex);
        currentHook = hook;
        currentRestart = restartHook;
    }
    if (restartPending.exchange(false) && currentRestart)
        (*currentRestart)();
    VideoFramePtr frame;
    if (!preroll && prerolledBuffer && prerolledBuffer.get() == buffer) {
        const bool alreadyPresented = prerolledHooked || !currentHook;
        frame = std::move(prerolledFrame);
        prerolledBuffer.reset();
        if (alreadyPresented)
            return GST_FLOW_OK;
    } else {
        frame = copyFrame(sample, format);
        if (!frame)
            return GST_FLOW_OK; // an unmappable buffer is skipped, playback goes on
    }
    if (preroll) {
        prerolledBuffer.reset(gst_buffer_ref(buffer));
        prerolledFrame = frame;
        prerolledHooked = currentHook != nullptr;
    }
    VideoFramePtr shown = currentHook ? (*currentHook)(frame) : frame;
    if (!shown)
        shown = frame;
    std::lock_guard lock(frameMutex);
    latest = std::move(shown);
    return GST_FLOW_OK;
}

void MediaItem::Pipeline::tapAudio(GstBuffer* buffer)
{
    std::shared_ptr<const AudioSampleTap> currentTap;
    {
        std::lock_guard lock(tapMutex);
        currentTap = tap;
    }
    if (!currentTap)
        return;
    std::size_t frames = 0;
    {
        const BufferReadMap map(buffer);
        if (!map.ok())
            return;
        const std::size_t step = static_cast<std::size_t>(channels);
        frames = map.size() / (sizeof(float) * step);
        firstChannel.resize(frames);
        for (std::size_t i = 0; i < frames; ++i)
            std::memcpy(&firstChannel[i], map.data() + i * step * sizeof(float), sizeof(float));
    }
    if (frames > 0)
        (*currentTap)(std::span<const float>(firstChannel.data(), frames));
}

GstPadProbeReturn MediaItem::Pipeline::onAudioProbe(GstPad*, GstPadProbeInfo* info, gpointer self)
{
    auto* p = static_cast<Pipeline*>(self);
    if (info->type & GST_PAD_PROBE_TYPE_BUFFER) {
        p->tapAudio(GST_PAD_PROBE_INFO_BUFFER(info));
    } else if (GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info); event && GST_EVENT_TYPE(event) == GST_EVENT_CAPS) {
        GstCaps* caps = nullptr;
        gst_event_parse_caps(event, &caps);
        GstAudioInfo audio;
        if (caps && gst_audio_info_from_caps(&audio, caps) && GST_AUDIO_INFO_CHANNELS(&audio) > 0)
            p->channels = GST_AUDIO_INFO_CHANNELS(&audio);
    }
    return GST_PAD_PROBE_OK;
}

// Runs on whichever thread posts; hands the messages that matter to the main thread and drops
// everything, so the bus queue never grows and no GLib main loop is needed.
GstBusSyncReply MediaItem::Pipeline::onBusMessage(GstBus*, GstMessage* message, gpointer self)
{
    auto* p = static_cast<Pipeline*>(self);
    const GstMessageType type = GST_MESSAGE_TYPE(message);
    const bool fromPipeline = GST_MESSAGE_SRC(message) == GST_OBJECT(p->pipeline.get());
    const bool wanted = type == GST_MESSAGE_ERROR || type == GST_MESSAGE_EOS ||
                        ((type == GST_MESSAGE_ASYNC_DONE || type == GST_MESSAGE_SEGMENT_DONE) && fromPipeline);
    if (wanted) {
        std::shared_ptr<GstMessage> held(gst_message_ref(message), GstMiniObjectUnref{});
        const unsigned generation = p->seekGeneration.load();
        std::lock_guard lock(p->ownerMutex);
        if (MediaItem* owner = p->owner)
            postToMain(owner, [owner, held, generation] { owner->handleBusMessage(held.get(), generation); });
    }
    // A sync handler that drops a message owns it; each message holds its source element, so
    // a message left behind would keep the whole pipeline alive.
    gst_message_unref(message);
    return GST_BUS_DROP;
}

std::shared_ptr<MediaItem> MediaItem::load(const QString& path, PixelFormat videoFormat)
{
    // The item's timers live on the main thread, so it is deleted there whoever lets it go last.
    std::shared_ptr<MediaItem> item(new MediaItem(path, videoFormat), [](MediaItem* m) {
        if (isMainThread())
            delete m;
        else
            postToMain(QCoreApplication::instance(), [m] { delete m; });
    });
    item->start();
    return item;
}

MediaItem::MediaItem(QString path, PixelFormat videoFormat)
    : path_(std::move(path)), pipeline_(std::make_unique<Pipeline>())
{
    finishTimer_.setInterval(10);
    connect(&finishTimer_, &QTimer::timeout, this, &MediaItem::checkFinished);
    pipeline_->owner = this;
    pipeline_->format = videoFormat;
}

MediaItem::~MediaItem()
{
    {
        std::lock_guard lock(pipeline_->ownerMutex);
        pipeline_->owner = nullptr;
    }
    std::shared_ptr<Pipeline> retired(std::move(pipeline_));
    teardownQueue().post([retired]() mutable { retired.reset(); });
}

bool MediaItem::runsOnTheGroupClock() const
{
    const bool grouped = GroupClock::shared().role() != GroupClock::Role::alone;
    return grouped == pipeline_->grouped && (!grouped || pipeline_->groupClock == GroupClock::shared().clock());
}

PixelFormat MediaItem::videoFormat() const
{
    return pipeline_->format;
}

void MediaItem::start()
{
    ensureGStreamer();
    pipeline_->grouped = GroupClock::shared().role() != GroupClock::Role::alone;
    if (!pipeline_->build(path_)) {
        // Reported like every other outcome: later, on the main thread, so that the caller has
        // connected to statusChanged by then.
        postToMain(this, [this] { fail(QStringLiteral("Cannot open ") + path_); });
        return;
    }
    QTimer::singleShot(loadTimeoutMs, this, [this] {
        if (status_ == Status::loading)
            fail(QStringLiteral("Timed out preparing the media"));
    });
    // Prerolling runs on GStreamer's streaming threads; the outcome arrives through the bus.
    gst_element_set_state(pipeline_->pipeline.get(), GST_STATE_PAUSED);
}

void MediaItem::handleBusMessage(GstMessage* message, unsigned seekGeneration)
{
    assertMainThread();
    switch (GST_MESSAGE_TYPE(message)) {
    case GST_MESSAGE_ERROR: {
        GError* rawError = nullptr;
        gst_message_parse_error(message, &rawError, nullptr);
        GErrorHandle error(rawError);
        if (status_ != Status::failed)
            fail(error ? QString::fromUtf8(error->message) : QStringLiteral("Unknown playback error"));
        break;
    }
    case GST_MESSAGE_ASYNC_DONE:
        if (seekGeneration == pipeline_->seekGeneration.load()) {
            seekSettled_ = true;
            if (status_ == Status::readyToPlay && startAt_)
                startPrerolled();
        }
        if (status_ == Status::loading)
            finishLoading();
        break;
    case GST_MESSAGE_EOS:
    case GST_MESSAGE_SEGMENT_DONE:
        // An end reached before the latest seek belongs to the playback that seek replaced.
        if (status_ != Status::readyToPlay || seekGeneration != pipeline_->seekGeneration.load() || atEnd_)
            break;
        // What the demuxer has sent is still playing: the start, sought now, queues behind it,
        // or the end of stream follows it once the owner, told now, wants no more.
        if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_SEGMENT_DONE && segmentLoops_) {
            emit endReached();
            if (loopAtEnd_)
                loopToStart();
            else
                finishPlay();
            break;
        }
        atEnd_ = true;
        emit playedToEnd();
        break;
    default:
        break;
    }
}

void MediaItem::finishLoading()
{
    assertMainThread();
    hasVideo_ = pipeline_->hasVideo.load();
    hasAudio_ = pipeline_->hasAudio.load();
    QString undecodable;
    GstElement* videoSink = nullptr;
    {
        std::lock_guard lock(pipeline_->branchMutex);
        if (!hasVideo_ && !pipeline_->undecodableVideo.isEmpty())
            undecodable = pipeline_->undecodableVideo;
        else if (!hasAudio_ && !pipeline_->undecodableAudio.isEmpty())
            undecodable = pipeline_->undecodableAudio;
        videoSink = pipeline_->videoSink;
    }
    if (!undecodable.isEmpty()) {
        fail(QStringLiteral("No decoder installed for ") + undecodable);
        return;
    }
    if (!hasVideo_ && !hasAudio_) {
        fail(QStringLiteral("No audio or video stream in the file"));
        return;
    }
    if (videoSink) {
        GstObjectHandle<GstPad> pad(gst_element_get_static_pad(videoSink, "sink"));
        GstMiniHandle<GstCaps> caps(pad ? gst_pad_get_current_caps(pad.get()) : nullptr);
        GstVideoInfo info;
        if (caps && gst_video_info_from_caps(&info, caps.get()))
            videoSize_ = QSize(GST_VIDEO_INFO_WIDTH(&info), GST_VIDEO_INFO_HEIGHT(&info));
    }
    status_ = Status::readyToPlay;
    duration();
    if (pendingStart_) {
        const PendingStart start = *pendingStart_;
        pendingStart_.reset();
        startAt(start);
    } else {
        applyRate();
    }
    emit statusChanged();
}

void MediaItem::fail(const QString& text)
{
    assertMainThread();
    status_ = Status::failed;
    errorText_ = text;
    if (pipeline_->pipeline)
        gst_element_set_state(pipeline_->pipeline.get(), GST_STATE_NULL);
    emit statusChanged();
}

void MediaItem::setRate(double rate)
{
    assertMainThread();
    desiredRate_ = rate > 0.0 ? rate : 0.0;
    if (status_ == Status::readyToPlay)
        applyRate();
}

void MediaItem::applyRate()
{
    GstElement* pipeline = pipeline_->pipeline.get();
    if (desiredRate_ <= 0.0) {
        const bool moving = GST_STATE(pipeline) == GST_STATE_PLAYING || startAt_;
        startAt_.reset();
        gst_element_set_state(pipeline, GST_STATE_PAUSED);
        // Every player of a group holds the same frame: the one this stopped at, exactly. A
        // picture that never moved (just loaded) already holds it.
        if (pipeline_->grouped && moving && !atEnd_) {
            const double position = currentTime();
            seekTo(position, segmentRate_);
            emit timelineSet(GroupTimeline{false, position, segmentRate_, GroupClock::shared().now()});
        }
        return;
    }
    // On the group's clock nothing starts without a moment to start at: from where it stands,
    // shortly.
    if (pipeline_->grouped) {
        if ((GST_STATE(pipeline) != GST_STATE_PLAYING || desiredRate_ != segmentRate_) && !startAt_)
            startAt(currentTime(), desiredRate_, GroupClock::shared().startTime());
        return;
    }
    // A loop from the first frame on: its segment is set before the picture moves, unseen.
    // Otherwise it comes with the next seek, the one back to the start at the end at the latest.
    // A new rate while playing changes in place where the elements allow it (no flush, no
    // stall: what a timecode chase nudges by a percent needs); otherwise it takes a flushing
    // seek from where playback stands. At the end nothing is left to play at it; the next seek
    // to zero applies it. Until a flushing seek has landed the elements have no segment to
    // change in place, so the seek is made again at the new rate.
    if (loopAtEnd_ && !segmentLoops_ && !refusesSegments() && !atEnd_ && GST_STATE(pipeline) != GST_STATE_PLAYING &&
        currentTime() < 0.1) {
        seekTo(0.0, desiredRate_);
    } else if (desiredRate_ != segmentRate_ && !atEnd_) {
        // An instant rate change keeps the segment's other flags, and must name them.
        const auto instant = static_cast<GstSeekFlags>(GST_SEEK_FLAG_INSTANT_RATE_CHANGE |
                                                       (segmentLoops_ ? GST_SEEK_FLAG_SEGMENT : GST_SEEK_FLAG_NONE));
        if (GST_STATE(pipeline) == GST_STATE_PLAYING && seekSettled_ &&
            gst_element_seek(pipeline, desiredRate_, GST_FORMAT_TIME, instant, GST_SEEK_TYPE_NONE, 0,
                             GST_SEEK_TYPE_NONE, GST_CLOCK_TIME_NONE))
            segmentRate_ = desiredRate_;
        else
            seekTo(currentTime(), desiredRate_);
    }
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
}

void MediaItem::seekTo(double seconds, double rate)
{
    ++pipeline_->seekGeneration;
    segmentLoops_ = loopAtEnd_ && !pipeline_->grouped && !refusesSegments();
    const auto flags = static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE);
    const auto position = static_cast<gint64>(seconds * GST_SECOND);
    // The seek goes to every branch; one whose elements have no segment yet (flushed by the
    // seek before, not yet refilled: scaletempo then refuses it) makes the whole call fail while
    // the others carry it out. The pipeline is seeking all the same, so it is waited for like
    // any seek; taking it for not made let a chase seek again and again, each flush keeping that
    // branch empty, and the picture never settled.
    const bool taken = seekFrom(position, rate, segmentLoops_ ? flags | GST_SEEK_FLAG_SEGMENT : flags);
    segmentRate_ = rate;
    atEnd_ = false;
    seekSettled_ = false;
    seekStarted_ = std::chrono::steady_clock::now();
    lastPosition_ = seconds;
    // A flushing seek empties the pipeline: one per frame would cost a core, so each is told.
    char line[80];
    std::snprintf(line, sizeof line, "MediaItem: Seek to %.3f s at rate %.2f%s", seconds, rate,
                  taken ? "" : " (not taken by every branch)");
    logLine(line);
}

bool MediaItem::refusesSegments() const
{
    return pipeline_->refusesSegments.load();
}

void MediaItem::seekToZero()
{
    seek(0.0);
}

void MediaItem::setLoopAtEnd(bool loop)
{
    assertMainThread();
    loopAtEnd_ = loop;
}

void MediaItem::finishPlay()
{
    // Nothing follows the segment: its end is where the sinks' position stops, at the segment's
    // stop. A seek meanwhile (a cue, a stop) makes it another play, which ends by itself.
    finishing_ = Finishing{pipeline_->seekGeneration.load(), duration().value_or(0.0),
                           std::chrono::steady_clock::now() + std::chrono::seconds(2)};
    finishTimer_.start();
}

void MediaItem::checkFinished()
{
    if (!finishing_ || finishing_->generation != pipeline_->seekGeneration.load() || atEnd_ ||
        status_ != Status::readyToPlay) {
        finishing_.reset();
        finishTimer_.stop();
        return;
    }
    if (currentTime() < finishing_->end - 0.002 && std::chrono::steady_clock::now() < finishing_->deadline)
        return;
    finishing_.reset();
    finishTimer_.stop();
    segmentLoops_ = false;
    atEnd_ = true;
    emit playedToEnd();
}

bool MediaItem::seekFrom(std::int64_t position, double rate, int flags)
{
    // A looping segment ends at the clip's length: the time line of the next play then goes on
    // from the end of the last frame, not its start.
    gint64 length = -1;
    const bool stops =
        segmentLoops_ && gst_element_query_duration(pipeline_->pipeline.get(), GST_FORMAT_TIME, &length) && length > 0;
    return gst_element_seek(pipeline_->pipeline.get(), rate, GST_FORMAT_TIME, static_cast<GstSeekFlags>(flags),
                            GST_SEEK_TYPE_SET, position, stops ? GST_SEEK_TYPE_SET : GST_SEEK_TYPE_NONE,
                            stops ? length : static_cast<gint64>(GST_CLOCK_TIME_NONE));
}

void MediaItem::loopToStart()
{
    // Not flushing: the frames already queued play out, and the start follows them.
    segmentLoops_ = loopAtEnd_ && !refusesSegments();
    ++pipeline_->loopSeeks;
    const auto flags = static_cast<GstSeekFlags>(GST_SEEK_FLAG_ACCURATE |
                                                 (segmentLoops_ ? GST_SEEK_FLAG_SEGMENT : GST_SEEK_FLAG_NONE));
    const bool taken = seekFrom(0, segmentRate_, flags);
    lastPosition_ = 0.0;
    char line[80];
    std::snprintf(line, sizeof line, "MediaItem: Looped to the start at rate %.2f%s", segmentRate_,
                  taken ? "" : " (not taken by every branch)");
    logLine(line);
}

void MediaItem::seek(double seconds)
{
    assertMainThread();
    if (status_ != Status::readyToPlay || !std::isfinite(seconds))
        return;
    seconds = std::max(seconds, 0.0);
    if (pipeline_->grouped && desiredRate_ > 0.0) {
        startAt(seconds, desiredRate_, GroupClock::shared().startTime());
        return;
    }
    seekTo(seconds, desiredRate_ > 0.0 ? desiredRate_ : segmentRate_);
    if (pipeline_->grouped)
        emit timelineSet(GroupTimeline{false, seconds, segmentRate_, GroupClock::shared().now()});
}

void MediaItem::startAt(double position, double rate, std::uint64_t clockTime)
{
    assertMainThread();
    startAt(PendingStart{position, rate, clockTime});
}

void MediaItem::startAt(const PendingStart& start)
{
    desiredRate_ = start.rate > 0.0 ? start.rate : 0.0;
    if (status_ == Status::loading) {
        pendingStart_ = start;
        return;
    }
    if (status_ != Status::readyToPlay || desiredRate_ <= 0.0)
        return;
    // Paused, the flushing seek prerolls the frame at `position` with a running time of zero;
    // once it has, the base time puts that frame on screen at `clockTime`.
    gst_element_set_state(pipeline_->pipeline.get(), GST_STATE_PAUSED);
    startAt_ = start;
    seekTo(std::max(start.position, 0.0), desiredRate_);
    emit timelineSet(GroupTimeline{true, start.position, desiredRate_, start.clockTime});
}

void MediaItem::startPrerolled()
{
    const PendingStart start = *startAt_;
    startAt_.reset();
    const std::uint64_t now = GroupClock::shared().now();
    if (start.clockTime < now) {
        // Too late to show that frame then: the same timeline a little further on, allowing
        // each retry twice the time to preroll.
        const std::uint64_t later = now + (GroupClock::shared().leadNs() << std::min(start.retries, 4));
        const double ahead = static_cast<double>(later - start.clockTime) / GST_SECOND;
        startAt(PendingStart{start.position + ahead * start.rate, start.rate, later, start.retries + 1});
        return;
    }
    GstElement* pipeline = pipeline_->pipeline.get();
    gst_element_set_base_time(pipeline, start.clockTime);
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
}

void MediaItem::setMuted(bool muted)
{
    assertMainThread();
    std::lock_guard lock(pipeline_->branchMutex);
    pipeline_->muted = muted;
    if (pipeline_->volume)
        g_object_set(pipeline_->volume, "mute", muted ? TRUE : FALSE, nullptr);
}

std::optional<double> MediaItem::duration() const
{
    gint64 nanoseconds = -1;
    if (status_ == Status::readyToPlay &&
        gst_element_query_duration(pipeline_->pipeline.get(), GST_FORMAT_TIME, &nanoseconds) && nanoseconds >= 0)
        duration_ = static_cast<double>(nanoseconds) / GST_SECOND;
    return duration_;
}

bool MediaItem::isSeeking() const
{
    return !seekSettled_ && std::chrono::steady_clock::now() - seekStarted_ < std::chrono::seconds(2);
}

double MediaItem::currentTime() const
{
    if (status_ != Status::readyToPlay)
        return status_ == Status::loading ? 0.0 : lastPosition_;
    gint64 nanoseconds = -1;
    if (gst_element_query_position(pipeline_->pipeline.get(), GST_FORMAT_TIME, &nanoseconds) && nanoseconds >= 0)
        lastPosition_ = static_cast<double>(nanoseconds) / GST_SECOND;
    return lastPosition_;
}

void MediaItem::setVideoFrameHook(VideoFrameHook hook, VideoRestartHook restart)
{
    auto heldHook = hook ? std::make_shared<const VideoFrameHook>(std::move(hook)) : nullptr;
    auto heldRestart = restart ? std::make_shared<const VideoRestartHook>(std::move(restart)) : nullptr;
    std::lock_guard lock(pipeline_->frameMutex);
    pipeline_->hook = std::move(heldHook);
    pipeline_->restartHook = std::move(heldRestart);
}

void MediaItem::setAudioTap(AudioSampleTap tap)
{
    auto held = tap ? std::make_shared<const AudioSampleTap>(std::move(tap)) : nullptr;
    std::lock_guard lock(pipeline_->tapMutex);
    pipeline_->tap = std::move(held);
}

VideoFramePtr MediaItem::latestFrame() const
{
    std::lock_guard lock(pipeline_->frameMutex);
    return pipeline_->latest;
}

} // namespace orvelo
