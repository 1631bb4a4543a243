#include "platform/media/GStreamerInit.h"

#include "platform/media/HapDecoder.h"

#include <gst/gst.h>
#include <gst/pbutils/pbutils.h>

#include <mutex>

namespace orvelo {

void ensureGStreamer()
{
    static std::once_flag once;
    std::call_once(once, [] {
        gst_init(nullptr, nullptr);
        gst_pb_utils_init(); // codec descriptions in error texts
        // GStreamer has no decoder for HAP, the codec media servers' content comes in.
        registerHapDecoder();
    });
}

} // namespace orvelo
