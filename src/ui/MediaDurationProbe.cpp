#include "ui/MediaDurationProbe.h"

#include "platform/media/GStreamerInit.h"

#include <QUrl>

#include <gst/pbutils/pbutils.h>

namespace orvelo {

std::optional<double> probeMediaDuration(const QString& path)
{
    ensureGStreamer();
    GError* error = nullptr;
    GstDiscoverer* discoverer = gst_discoverer_new(5 * GST_SECOND, &error);
    if (!discoverer) {
        g_clear_error(&error);
        return std::nullopt;
    }
    const QByteArray uri = QUrl::fromLocalFile(path).toEncoded();
    GstDiscovererInfo* info = gst_discoverer_discover_uri(discoverer, uri.constData(), &error);
    g_clear_error(&error);
    std::optional<double> seconds;
    if (info && gst_discoverer_info_get_result(info) == GST_DISCOVERER_OK) {
        const GstClockTime duration = gst_discoverer_info_get_duration(info);
        if (GST_CLOCK_TIME_IS_VALID(duration) && duration > 0)
            seconds = static_cast<double>(duration) / GST_SECOND;
    }
    if (info)
        g_object_unref(info);
    g_object_unref(discoverer);
    return seconds;
}

} // namespace orvelo
