#include "platform/media/LtcInput.h"

#include "platform/media/GStreamerInit.h"
#include "platform/media/GstHandle.h"
#include "platform/media/LtcTimecode.h"

#include <gst/app/gstappsink.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <vector>

namespace orvelo {

namespace {

bool isDeviceSource(LtcInput::SourceKind kind)
{
    return kind == LtcInput::SourceKind::defaultDevice || kind == LtcInput::SourceKind::alsaDevice;
}

bool isRawAudio(GstPad* pad)
{
    GstMiniHandle<GstCaps> caps(gst_pad_get_current_caps(pad));
    if (!caps)
        caps.reset(gst_pad_query_caps(pad, nullptr));
    if (!caps || gst_caps_is_empty(caps.get()) || gst_caps_is_any(caps.get()))
        return false;
    return std::strcmp(gst_structure_get_name(gst_caps_get_structure(caps.get(), 0)), "audio/x-raw") == 0;
}

// autoaudiosrc that finds no working device does not fail: it plays silence from a test source
// instead, which would look like an input without timecode. Which child it chose tells.
bool isFallbackSource(GstElement* autoSource)
{
    bool fallback = false;
    GstIterator* it = gst_bin_iterate_elements(GST_BIN(autoSource));
    GValue item = G_VALUE_INIT;
    while (gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
        GstElementFactory* factory = gst_element_get_factory(GST_ELEMENT(g_value_get_object(&item)));
        const char* name = factory ? gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory)) : "";
        if (std::strcmp(name, "audiotestsrc") == 0 || std::strcmp(name, "fakesrc") == 0)
            fallback = true;
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(it);
    return fallback;
}

} // namespace

// The GStreamer side. Its callbacks run on streaming threads; what they share with start and
// the destructor is behind the mutex. It outlives every streaming thread: the pipeline is
// stopped (which joins them) before it is destroyed.
struct LtcInput::Pipeline {
    Options options;
    FrameCallback onFrame;
    EndCallback onEnd;
    GstObjectHandle<GstElement> pipeline;
    GstElement* source = nullptr;  // owned by the pipeline
    GstElement* convert = nullptr; // owned by the pipeline; a file's audio pad links here
    std::atomic<bool> audioLinked{false};

    // Touched only by the sink's streaming thread.
    LtcDecoder decoder;
    std::vector<float> selected;
    bool positioned = false;
    bool announced = false;

    std::mutex mutex;
    std::condition_variable changed;
    bool gotAudio = false;
    bool ended = false;    // the end was reported (or the file ended before start returned)
    bool started = false;  // start returned the input: failures now go to onEnd
    bool stopping = false; // the destructor runs: nothing more is reported
    std::optional<Failure> startFailure;

    Pipeline(const Options& o, FrameCallback frame, EndCallback end)
        : options(o), onFrame(std::move(frame)), onEnd(std::move(end)), decoder(sampleRate, o.expectedFps)
    {
    }

    ~Pipeline()
    {
        if (!pipeline)
            return;
        {
            std::lock_guard lock(mutex);
            stopping = true;
        }
        gst_element_set_state(pipeline.get(), GST_STATE_NULL);
        GstObjectHandle<GstBus> bus(gst_element_get_bus(pipeline.get()));
        gst_bus_set_sync_handler(bus.get(), nullptr, nullptr, nullptr);
    }

    bool isDevice() const { return isDeviceSource(options.source); }

    Failure sourceFailure(const std::string& detail) const
    {
        if (!isDevice())
            return {Error::cannotRead, "Cannot read " + options.location + (detail.empty() ? "" : ": " + detail)};
        if (options.source == SourceKind::alsaDevice)
            return {Error::noDevice, "No audio input device \"" + alsaDevice() + "\""};
        return {Error::noDevice, "No audio input device"};
    }

    std::string alsaDevice() const { return options.location.empty() ? "default" : options.location; }

    std::chrono::steady_clock::time_point timeOf(std::int64_t samplePosition) const
    {
        using std::chrono::nanoseconds;
        const GstClockTime base = gst_element_get_base_time(pipeline.get());
        // In whole seconds and the rest, so no product overflows however long the input runs.
        const std::int64_t seconds = samplePosition / sampleRate;
        const std::int64_t rest = samplePosition % sampleRate;
        const nanoseconds offset(seconds * 1'000'000'000 + rest * 1'000'000'000 / sampleRate);
        return std::chrono::steady_clock::time_point(nanoseconds(static_cast<std::int64_t>(base)) + offset);
    }

    std::optional<Failure> build();
    std::optional<Failure> run();
    // The failure a state change that did not happen stands for.
    Failure stateChangeFailure();
    void consume(GstSample* sample);
    void handleError(GstMessage* message);
    void handleEndOfStream();
    void postError(const char* text)
    {
        gst_element_post_message(pipeline.get(), newErrorMessage(pipeline.get(), text));
    }

    static void onPadAdded(GstElement* decoder, GstPad* pad, gpointer self);
    static void onNoMorePads(GstElement* decoder, gpointer self);
    static GstFlowReturn onNewSample(GstAppSink* sink, gpointer self);
    static GstBusSyncReply onBusMessage(GstBus* bus, GstMessage* message, gpointer self);
};

std::optional<LtcInput::Failure> LtcInput::Pipeline::build()
{
    pipeline = adoptElement(gst_pipeline_new(nullptr));
    auto audioConvert = adoptElement(gst_element_factory_make("audioconvert", nullptr));
    auto resample = adoptElement(gst_element_factory_make("audioresample", nullptr));
    auto filter = adoptElement(gst_element_factory_make("capsfilter", nullptr));
    auto sink = adoptElement(gst_element_factory_make("appsink", nullptr));
    if (!pipeline || !audioConvert || !resample || !filter || !sink)
        return Failure{Error::failed, "GStreamer's audio elements are missing"};

    GstObjectHandle<GstElement> decode;
    switch (options.source) {
    case SourceKind::defaultDevice:
        source = gst_element_factory_make("autoaudiosrc", nullptr);
        break;
    case SourceKind::alsaDevice:
        source = gst_element_factory_make("alsasrc", nullptr);
        if (source)
            g_object_set(source, "device", alsaDevice().c_str(), nullptr);
        break;
    case SourceKind::file:
    case SourceKind::recording:
        source = gst_element_factory_make("filesrc", nullptr);
        decode = adoptElement(gst_element_factory_make("decodebin", nullptr));
        if (source)
            g_object_set(source, "location", options.location.c_str(), nullptr);
        break;
    }
    auto ownedSource = adoptElement(source);
    if (!ownedSource)
        return sourceFailure("");
    if (!isDevice() && !decode)
        return Failure{Error::failed, "GStreamer's decoders are missing"};

    GstMiniHandle<GstCaps> caps(gst_caps_new_simple("audio/x-raw", "format", G_TYPE_STRING, "F32LE", "layout",
                                                    G_TYPE_STRING, "interleaved", "channels", G_TYPE_INT,
                                                    options.channels, "rate", G_TYPE_INT, sampleRate, nullptr));
    g_object_set(filter.get(), "caps", caps.get(), nullptr);
    // A device's frames are reported as they are captured and a file's as they are decoded; a
    // recording's when its audio would play.
    g_object_set(sink.get(), "sync", options.source == SourceKind::recording, "enable-last-sample", FALSE, nullptr);
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = &Pipeline::onNewSample;
    gst_app_sink_set_callbacks(GST_APP_SINK(sink.get()), &callbacks, this, nullptr);

    GstBin* bin = GST_BIN(pipeline.get());
    gst_bin_add_many(bin, ownedSource.get(), audioConvert.get(), resample.get(), filter.get(), sink.get(), nullptr);
    bool linked = gst_element_link_many(audioConvert.get(), resample.get(), filter.get(), sink.get(), nullptr);
    if (decode) {
        gst_bin_add(bin, decode.get());
        linked = linked && gst_element_link(source, decode.get());
        g_signal_connect(decode.get(), "pad-added", G_CALLBACK(&Pipeline::onPadAdded), this);
        g_signal_connect(decode.get(), "no-more-pads", G_CALLBACK(&Pipeline::onNoMorePads), this);
    } else {
        linked = linked && gst_element_link(source, audioConvert.get());
    }
    if (!linked)
        return Failure{Error::failed, "Cannot set up the timecode input"};
    convert = audioConvert.get();

    // Sample positions turn into steady-clock times through the pipeline's base time, so the
    // pipeline runs on the monotonic system clock rather than on a device's own.
    GstObjectHandle<GstClock> clock(gst_system_clock_obtain());
    gst_pipeline_use_clock(GST_PIPELINE(pipeline.get()), clock.get());
    GstObjectHandle<GstBus> bus(gst_element_get_bus(pipeline.get()));
    gst_bus_set_sync_handler(bus.get(), &Pipeline::onBusMessage, this, nullptr);
    return std::nullopt;
}

LtcInput::Failure LtcInput::Pipeline::stateChangeFailure()
{
    std::lock_guard lock(mutex);
    return startFailure ? *startFailure : sourceFailure("");
}

std::optional<LtcInput::Failure> LtcInput::Pipeline::run()
{
    // Devices are opened on the way to READY: a missing one fails here, or shows as the
    // automatic source's fallback.
    if (gst_element_set_state(pipeline.get(), GST_STATE_READY) == GST_STATE_CHANGE_FAILURE)
        return stateChangeFailure();
    if (options.source == SourceKind::defaultDevice && isFallbackSource(source))
        return sourceFailure("");
    if (gst_element_set_state(pipeline.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE)
        return stateChangeFailure();
    // Some device backends open without complaint and fail only once asked for audio, so the
    // input counts as started when audio arrives.
    std::unique_lock lock(mutex);
    const bool settled =
        changed.wait_for(lock, startTimeout, [&] { return gotAudio || ended || startFailure.has_value(); });
    if (startFailure)
        return startFailure;
    if (!settled)
        return Failure{Error::noAudio, "No audio arrived from the timecode input"};
    started = true;
    return std::nullopt;
}

void LtcInput::Pipeline::consume(GstSample* sample)
{
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    if (!buffer)
        return;
    // Positions follow the running time, so samples a device dropped leave a gap in the count
    // as they did in time.
    if (!positioned || GST_BUFFER_FLAG_IS_SET(buffer, GST_BUFFER_FLAG_DISCONT)) {
        const GstSegment* segment = gst_sample_get_segment(sample);
        const GstClockTime pts = GST_BUFFER_PTS(buffer);
        const guint64 running = segment && GST_CLOCK_TIME_IS_VALID(pts)
                                    ? gst_segment_to_running_time(segment, GST_FORMAT_TIME, pts)
                                    : GST_CLOCK_TIME_NONE;
        if (GST_CLOCK_TIME_IS_VALID(running))
            decoder.setPosition(
                static_cast<std::int64_t>(gst_util_uint64_scale_round(running, sampleRate, GST_SECOND)));
        positioned = true;
    }
    {
        const BufferReadMap map(buffer);
        if (!map.ok())
            return;
        const auto stride = static_cast<std::size_t>(options.channels) * sizeof(float);
        const auto offset = static_cast<std::size_t>(options.channel) * sizeof(float);
        selected.resize(map.size() / stride);
        for (std::size_t i = 0; i < selected.size(); ++i)
            std::memcpy(&selected[i], map.data() + i * stride + offset, sizeof(float));
    }
    if (!announced) {
        announced = true;
        std::lock_guard lock(mutex);
        gotAudio = true;
        changed.notify_all();
    }
    for (const auto& frame : decoder.write(std::span<const float>(selected)))
        onFrame(frame, timeOf(frame.reverse ? frame.endSample : frame.startSample));
}

void LtcInput::Pipeline::handleError(GstMessage* message)
{
    GError* raw = nullptr;
    gst_message_parse_error(message, &raw, nullptr);
    const GErrorHandle error(raw);
    const std::string text = error && error->message ? error->message : "unknown error";
    std::unique_lock lock(mutex);
    if (stopping)
        return;
    if (!started) {
        if (!startFailure)
            startFailure = sourceFailure(text);
        changed.notify_all();
        return;
    }
    if (ended)
        return;
    ended = true;
    lock.unlock();
    if (onEnd)
        onEnd(Failure{Error::failed, "The timecode input stopped: " + text});
}

void LtcInput::Pipeline::handleEndOfStream()
{
    std::unique_lock lock(mutex);
    if (stopping || ended)
        return;
    ended = true;
    changed.notify_all();
    lock.unlock();
    if (onEnd)
        onEnd(std::nullopt);
}

void LtcInput::Pipeline::onPadAdded(GstElement*, GstPad* pad, gpointer self)
{
    auto* p = static_cast<Pipeline*>(self);
    if (!isRawAudio(pad) || p->audioLinked.exchange(true))
        return; // streams other than the first audio one stay unlinked, which the demuxer tolerates
    GstObjectHandle<GstPad> sinkPad(gst_element_get_static_pad(p->convert, "sink"));
    if (!GST_PAD_LINK_SUCCESSFUL(gst_pad_link(pad, sinkPad.get())))
        p->postError("Cannot read the audio stream");
}

// A file that exposed all its streams without an audio one would otherwise never deliver.
void LtcInput::Pipeline::onNoMorePads(GstElement*, gpointer self)
{
    auto* p = static_cast<Pipeline*>(self);
    if (!p->audioLinked.load())
        p->postError("No audio stream in the file");
}

GstFlowReturn LtcInput::Pipeline::onNewSample(GstAppSink* sink, gpointer self)
{
    GstMiniHandle<GstSample> sample(gst_app_sink_pull_sample(sink));
    if (sample)
        static_cast<Pipeline*>(self)->consume(sample.get());
    return GST_FLOW_OK;
}

// Runs on whichever thread posts. Nothing reads the bus, so every message is dropped here
// rather than left to pile up.
GstBusSyncReply LtcInput::Pipeline::onBusMessage(GstBus*, GstMessage* message, gpointer self)
{
    auto* p = static_cast<Pipeline*>(self);
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR)
        p->handleError(message);
    else if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS)
        p->handleEndOfStream();
    return GST_BUS_DROP;
}

std::variant<std::unique_ptr<LtcInput>, LtcInput::Failure> LtcInput::start(const Options& options,
                                                                           FrameCallback onFrame, EndCallback onEnd)
{
    if (options.channels < 1 || options.channels > maxLtcChannels || options.channel < 0 ||
        options.channel >= options.channels)
        return Failure{Error::invalidOptions, "The timecode channel is not among the input's channels"};
    if (!isDeviceSource(options.source) && options.location.empty())
        return Failure{Error::invalidOptions, "No file to read timecode from"};
    if (!onFrame)
        return Failure{Error::invalidOptions, "Nothing to report timecode to"};
    ensureGStreamer();
    auto pipeline = std::make_unique<Pipeline>(options, std::move(onFrame), std::move(onEnd));
    if (auto failure = pipeline->build())
        return *failure;
    if (auto failure = pipeline->run())
        return *failure;
    return std::unique_ptr<LtcInput>(new LtcInput(std::move(pipeline)));
}

LtcInput::LtcInput(std::unique_ptr<Pipeline> pipeline) : pipeline_(std::move(pipeline))
{
}

LtcInput::~LtcInput() = default;

std::chrono::steady_clock::time_point LtcInput::timeOf(std::int64_t samplePosition) const
{
    return pipeline_->timeOf(samplePosition);
}

} // namespace orvelo
