#include "platform/media/AudioOutput.h"

#include "platform/media/GStreamerInit.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace orvelo {

namespace {

GstObjectHandle<GstElement> clockedNullSink()
{
    auto sink = adoptElement(gst_element_factory_make("fakesink", nullptr));
    if (sink)
        g_object_set(sink.get(), "sync", TRUE, nullptr);
    return sink;
}

// autoaudiosink tries every device backend when it goes to READY and, when none opens, falls
// back to a fakesink child. Which child it picked tells whether a device exists.
bool probeAudioDevice()
{
    auto sink = adoptElement(gst_element_factory_make("autoaudiosink", nullptr));
    if (!sink)
        return false;
    if (gst_element_set_state(sink.get(), GST_STATE_READY) == GST_STATE_CHANGE_FAILURE) {
        gst_element_set_state(sink.get(), GST_STATE_NULL);
        return false;
    }
    bool device = false;
    GstIterator* it = gst_bin_iterate_elements(GST_BIN(sink.get()));
    GValue item = G_VALUE_INIT;
    while (gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
        auto* child = GST_ELEMENT(g_value_get_object(&item));
        GstElementFactory* factory = gst_element_get_factory(child);
        const char* name = factory ? gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory)) : "";
        if (std::strcmp(name, "fakesink") != 0)
            device = true;
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(it);
    gst_element_set_state(sink.get(), GST_STATE_NULL);
    return device;
}

} // namespace

bool hasAudioDevice()
{
    static std::once_flag once;
    static bool device = false;
    std::call_once(once, [] {
        ensureGStreamer();
        device = probeAudioDevice();
    });
    return device;
}

GstObjectHandle<GstElement> createAudioSink()
{
    ensureGStreamer();
    if (const char* name = std::getenv("GST_AUDIO_SINK"); name && *name) {
        if (std::strcmp(name, "fakesink") == 0)
            return clockedNullSink();
        if (auto sink = adoptElement(gst_element_factory_make(name, nullptr)))
            return sink;
    }
    if (hasAudioDevice())
        return adoptElement(gst_element_factory_make("autoaudiosink", nullptr));
    return clockedNullSink();
}

} // namespace orvelo
