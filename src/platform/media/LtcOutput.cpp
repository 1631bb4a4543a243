#include "platform/media/LtcOutput.h"

#include "platform/media/AudioOutput.h"
#include "platform/media/GStreamerInit.h"
#include "platform/media/GstHandle.h"
#include "platform/media/LtcEncoder.h"
#include "platform/media/LtcTimecode.h"

#include <gst/app/gstappsrc.h>

#include <cmath>
#include <condition_variable>
#include <cstring>
#include <mutex>

namespace orvelo {

namespace {

// The first sample plays this long after start sets the pipeline going, time enough to preroll.
constexpr GstClockTime startDelay = 100 * GST_MSECOND;

} // namespace

// The GStreamer side. Frames are made on the source's streaming thread as the sink asks for
// them; what that thread shares with the others is behind the mutex. The pipeline is stopped
// (which joins the streaming threads) before this is destroyed.
struct LtcOutput::Pipeline {
    Options options;
    FailureCallback onFailure;
    LtcEncoder encoder;
    GstObjectHandle<GstElement> pipeline;
    GstElement* source = nullptr; // owned by the pipeline
    GstClockTime baseTime = 0;

    // Touched only by the streaming thread.
    std::int64_t written = 0;
    std::vector<float> interleaved;

    std::mutex mutex;
    std::condition_variable changed;
    std::optional<Motion> motion;
    bool started = false;
    bool stopping = false;
    bool ended = false;
    std::optional<Failure> startFailure;

    Pipeline(const Options& o, FailureCallback failure, LtcEncoder e)
        : options(o), onFailure(std::move(failure)), encoder(std::move(e))
    {
    }

    ~Pipeline()
    {
        if (!pipeline)
            return;
        if (options.sink == SinkKind::file && started) {
            // wavenc writes the sizes into the header at the end of the stream.
            gst_app_src_end_of_stream(GST_APP_SRC(source));
            std::unique_lock lock(mutex);
            changed.wait_for(lock, std::chrono::seconds(2), [&] { return ended; });
        }
        {
            std::lock_guard lock(mutex);
            stopping = true;
        }
        gst_element_set_state(pipeline.get(), GST_STATE_NULL);
        GstObjectHandle<GstBus> bus(gst_element_get_bus(pipeline.get()));
        gst_bus_set_sync_handler(bus.get(), nullptr, nullptr, nullptr);
    }

    std::string alsaDevice() const { return options.location.empty() ? "default" : options.location; }

    Failure sinkFailure(const std::string& detail) const
    {
        if (options.sink == SinkKind::file)
            return {Error::cannotWrite, "Cannot write " + options.location + (detail.empty() ? "" : ": " + detail)};
        if (options.sink == SinkKind::alsaDevice)
            return {Error::noDevice, "No audio output device \"" + alsaDevice() + "\""};
        return {Error::noDevice, "No audio output device"};
    }

    Clock::time_point timeOf(std::int64_t samplePosition) const
    {
        using std::chrono::nanoseconds;
        const std::int64_t seconds = samplePosition / sampleRate;
        const std::int64_t rest = samplePosition % sampleRate;
        return Clock::time_point(nanoseconds(static_cast<std::int64_t>(baseTime)) +
                                 nanoseconds(seconds * 1'000'000'000 + rest * 1'000'000'000 / sampleRate));
    }

    std::optional<Failure> build();
    std::optional<Failure> run();
    void pushFrame();
    std::vector<float> frameSamples(Clock::time_point plays);
    void handleError(GstMessage* message);

    static void onNeedData(GstAppSrc* source, guint length, gpointer self);
    static GstBusSyncReply onBusMessage(GstBus* bus, GstMessage* message, gpointer self);
};

std::optional<LtcOutput::Failure> LtcOutput::Pipeline::build()
{
    pipeline = adoptElement(gst_pipeline_new(nullptr));
    auto appSource = adoptElement(gst_element_factory_make("appsrc", nullptr));
    auto convert = adoptElement(gst_element_factory_make("audioconvert", nullptr));
    auto resample = adoptElement(gst_element_factory_make("audioresample", nullptr));
    if (!pipeline || !appSource || !convert || !resample)
        return Failure{Error::failed, "GStreamer's audio elements are missing"};

    GstObjectHandle<GstElement> encode;
    GstObjectHandle<GstElement> sink;
    switch (options.sink) {
    case SinkKind::defaultDevice:
        if (!hasAudioDevice())
            return sinkFailure("");
        sink = adoptElement(gst_element_factory_make("autoaudiosink", nullptr));
        break;
    case SinkKind::alsaDevice:
        sink = adoptElement(gst_element_factory_make("alsasink", nullptr));
        if (sink)
            g_object_set(sink.get(), "device", alsaDevice().c_str(), nullptr);
        break;
    case SinkKind::file:
        encode = adoptElement(gst_element_factory_make("wavenc", nullptr));
        sink = adoptElement(gst_element_factory_make("filesink", nullptr));
        if (!encode || !sink)
            return Failure{Error::failed, "GStreamer's WAV writer is missing"};
        // In real time, so that the file holds what a device would have played.
        g_object_set(sink.get(), "location", options.location.c_str(), "sync", TRUE, nullptr);
        break;
    }
    if (!sink)
        return sinkFailure("");
    if (options.sink == SinkKind::alsaDevice)
        // A short device buffer, so that a jump of the timecode is heard soon after it is made.
        g_object_set(sink.get(), "buffer-time", gint64{40000}, "latency-time", gint64{10000}, nullptr);

    GstMiniHandle<GstCaps> caps(gst_caps_new_simple("audio/x-raw", "format", G_TYPE_STRING, "F32LE", "layout",
                                                    G_TYPE_STRING, "interleaved", "channels", G_TYPE_INT,
                                                    options.channels, "rate", G_TYPE_INT, sampleRate, nullptr));
    // One frame queued at a time: each is made as late as possible, from the latest motion.
    const auto frameBytes = static_cast<guint64>(sampleRate / options.fps) * options.channels * sizeof(float);
    g_object_set(appSource.get(), "caps", caps.get(), "format", GST_FORMAT_TIME, "is-live", FALSE, "max-bytes",
                 frameBytes, nullptr);
    GstAppSrcCallbacks callbacks{};
    callbacks.need_data = &Pipeline::onNeedData;
    gst_app_src_set_callbacks(GST_APP_SRC(appSource.get()), &callbacks, this, nullptr);

    GstBin* bin = GST_BIN(pipeline.get());
    gst_bin_add_many(bin, appSource.get(), convert.get(), resample.get(), sink.get(), nullptr);
    bool linked = gst_element_link_many(appSource.get(), convert.get(), resample.get(), nullptr);
    if (encode) {
        gst_bin_add(bin, encode.get());
        linked = linked && gst_element_link_many(resample.get(), encode.get(), sink.get(), nullptr);
    } else {
        linked = linked && gst_element_link(resample.get(), sink.get());
    }
    if (!linked)
        return Failure{Error::failed, "Cannot set up the timecode output"};
    source = appSource.get();

    // Sample positions turn into steady-clock times through a base time of our own on the
    // monotonic system clock, known before the first frame is made.
    GstObjectHandle<GstClock> clock(gst_system_clock_obtain());
    gst_pipeline_use_clock(GST_PIPELINE(pipeline.get()), clock.get());
    gst_element_set_start_time(pipeline.get(), GST_CLOCK_TIME_NONE);
    GstObjectHandle<GstBus> bus(gst_element_get_bus(pipeline.get()));
    gst_bus_set_sync_handler(bus.get(), &Pipeline::onBusMessage, this, nullptr);
    return std::nullopt;
}

std::optional<LtcOutput::Failure> LtcOutput::Pipeline::run()
{
    const auto failure = [this] {
        std::lock_guard lock(mutex);
        return startFailure ? *startFailure : sinkFailure("");
    };
    // Devices and files are opened on the way to READY.
    if (gst_element_set_state(pipeline.get(), GST_STATE_READY) == GST_STATE_CHANGE_FAILURE)
        return failure();
    GstObjectHandle<GstClock> clock(gst_pipeline_get_clock(GST_PIPELINE(pipeline.get())));
    baseTime = gst_clock_get_time(clock.get()) + startDelay;
    gst_element_set_base_time(pipeline.get(), baseTime);
    if (gst_element_set_state(pipeline.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE)
        return failure();
    const auto timeout = static_cast<GstClockTime>(std::chrono::nanoseconds(startTimeout).count());
    if (gst_element_get_state(pipeline.get(), nullptr, nullptr, timeout) != GST_STATE_CHANGE_SUCCESS)
        return failure();
    std::lock_guard lock(mutex);
    if (startFailure)
        return startFailure;
    started = true;
    return std::nullopt;
}

std::vector<float> LtcOutput::Pipeline::frameSamples(Clock::time_point plays)
{
    std::optional<Motion> now;
    {
        std::lock_guard lock(mutex);
        now = motion;
    }
    if (!now || now->framesPerSecond == 0)
        return {};
    const double elapsed = std::chrono::duration<double>(plays - now->at).count();
    // The same allowance as the network timecode's, so that both name the same frame at a boundary.
    const double frame = std::floor(now->frame + now->framesPerSecond * elapsed + 1e-6);
    const double perDay = 24.0 * 3600 * options.fps;
    if (!(frame >= 0 && frame < perDay))
        return {};
    return encoder.encodeFloat(LtcTimecode::fromFrameCount(static_cast<std::int64_t>(frame), options.fps));
}

void LtcOutput::Pipeline::pushFrame()
{
    auto mono = frameSamples(timeOf(written));
    if (mono.empty())
        mono.assign(static_cast<std::size_t>(sampleRate / options.fps), 0.0f);
    const auto channels = static_cast<std::size_t>(options.channels);
    interleaved.assign(mono.size() * channels, 0.0f);
    for (std::size_t i = 0; i < mono.size(); ++i)
        interleaved[i * channels + static_cast<std::size_t>(options.channel)] = mono[i];

    const std::size_t bytes = interleaved.size() * sizeof(float);
    GstBuffer* buffer = gst_buffer_new_allocate(nullptr, bytes, nullptr);
    if (!buffer)
        return;
    gst_buffer_fill(buffer, 0, interleaved.data(), bytes);
    const auto count = static_cast<std::int64_t>(mono.size());
    GST_BUFFER_PTS(buffer) = gst_util_uint64_scale_int(static_cast<guint64>(written), GST_SECOND, sampleRate);
    GST_BUFFER_DURATION(buffer) = gst_util_uint64_scale_int(static_cast<guint64>(count), GST_SECOND, sampleRate);
    GST_BUFFER_OFFSET(buffer) = static_cast<guint64>(written);
    written += count;
    gst_app_src_push_buffer(GST_APP_SRC(source), buffer);
}

void LtcOutput::Pipeline::handleError(GstMessage* message)
{
    GError* raw = nullptr;
    gst_message_parse_error(message, &raw, nullptr);
    const GErrorHandle error(raw);
    const std::string text = error && error->message ? error->message : "unknown error";
    std::unique_lock lock(mutex);
    if (stopping || ended)
        return;
    if (!started) {
        if (!startFailure)
            startFailure = sinkFailure(text);
        return;
    }
    ended = true;
    changed.notify_all();
    lock.unlock();
    if (onFailure)
        onFailure(Failure{Error::failed, "The timecode output stopped: " + text});
}

void LtcOutput::Pipeline::onNeedData(GstAppSrc*, guint, gpointer self)
{
    static_cast<Pipeline*>(self)->pushFrame();
}

// Runs on whichever thread posts. Nothing reads the bus, so every message is dropped here
// rather than left to pile up.
GstBusSyncReply LtcOutput::Pipeline::onBusMessage(GstBus*, GstMessage* message, gpointer self)
{
    auto* p = static_cast<Pipeline*>(self);
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
        p->handleError(message);
    } else if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS) {
        std::lock_guard lock(p->mutex);
        p->ended = true;
        p->changed.notify_all();
    }
    return GST_BUS_DROP;
}

std::variant<std::unique_ptr<LtcOutput>, LtcOutput::Failure> LtcOutput::start(const Options& options,
                                                                              FailureCallback onFailure)
{
    if (options.channels < 1 || options.channels > maxLtcChannels || options.channel < 0 ||
        options.channel >= options.channels)
        return Failure{Error::invalidOptions, "The timecode channel is not among the output's channels"};
    if (options.sink == SinkKind::file && options.location.empty())
        return Failure{Error::invalidOptions, "No file to write timecode to"};
    auto encoder = LtcEncoder::create(options.fps, sampleRate);
    if (!encoder)
        return Failure{Error::invalidOptions, "LTC runs at 24, 25 or 30 frames per second"};
    ensureGStreamer();
    auto pipeline = std::make_unique<Pipeline>(options, std::move(onFailure), std::move(*encoder));
    if (auto failure = pipeline->build())
        return *failure;
    if (auto failure = pipeline->run())
        return *failure;
    return std::unique_ptr<LtcOutput>(new LtcOutput(std::move(pipeline)));
}

LtcOutput::LtcOutput(std::unique_ptr<Pipeline> pipeline) : pipeline_(std::move(pipeline))
{
}

LtcOutput::~LtcOutput() = default;

void LtcOutput::setMotion(const std::optional<Motion>& motion)
{
    std::lock_guard lock(pipeline_->mutex);
    pipeline_->motion = motion;
}

LtcOutput::Clock::time_point LtcOutput::timeOf(std::int64_t samplePosition) const
{
    return pipeline_->timeOf(samplePosition);
}

} // namespace orvelo
