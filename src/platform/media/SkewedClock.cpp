#include "platform/media/SkewedClock.h"

#include "platform/Log.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

namespace {

struct OrveloSkewedClock {
    GstSystemClock parent;
    std::int64_t offsetNs;
    double ppm;
};

struct OrveloSkewedClockClass {
    GstSystemClockClass parent;
};

G_DEFINE_TYPE(OrveloSkewedClock, orvelo_skewed_clock, GST_TYPE_SYSTEM_CLOCK)

GstClockTime skewedTime(GstClock* clock)
{
    const auto* self = reinterpret_cast<OrveloSkewedClock*>(clock);
    const auto real = static_cast<double>(GST_CLOCK_CLASS(orvelo_skewed_clock_parent_class)->get_internal_time(clock));
    return static_cast<GstClockTime>(real * (1.0 + self->ppm * 1e-6) + static_cast<double>(self->offsetNs));
}

void orvelo_skewed_clock_class_init(OrveloSkewedClockClass* type)
{
    GST_CLOCK_CLASS(type)->get_internal_time = skewedTime;
}

void orvelo_skewed_clock_init(OrveloSkewedClock* self)
{
    GST_OBJECT_FLAG_SET(self, GST_CLOCK_FLAG_CAN_SET_MASTER);
}

} // namespace

namespace orvelo {

std::optional<SkewedClock> SkewedClock::parse(std::string_view text)
{
    const auto comma = text.find(',');
    if (comma == std::string_view::npos)
        return std::nullopt;
    double seconds = 0.0;
    double ppm = 0.0;
    const auto first = std::from_chars(text.data(), text.data() + comma, seconds);
    const auto second = std::from_chars(text.data() + comma + 1, text.data() + text.size(), ppm);
    if (first.ec != std::errc{} || first.ptr != text.data() + comma || second.ec != std::errc{} ||
        second.ptr != text.data() + text.size() || !(std::abs(seconds) < 1e6) || !(std::abs(ppm) < 1e4))
        return std::nullopt;
    return SkewedClock{static_cast<std::int64_t>(seconds * 1e9), ppm};
}

std::optional<SkewedClock> SkewedClock::fromEnvironment()
{
    const char* text = std::getenv("ORVELO_TEST_CLOCK_SKEW");
    if (!text || !*text)
        return std::nullopt;
    auto skew = parse(text);
    if (!skew)
        logLine(std::string("GroupClock: ORVELO_TEST_CLOCK_SKEW is not \"seconds,ppm\" but \"") + text +
                "\": the local clock is left as it is");
    return skew;
}

GstObjectHandle<GstClock> SkewedClock::create() const
{
    auto* clock = static_cast<OrveloSkewedClock*>(g_object_new(orvelo_skewed_clock_get_type(), nullptr));
    // Clocks are made floating; the handle holds the one reference.
    gst_object_ref_sink(clock);
    clock->offsetNs = offsetNs;
    clock->ppm = ppm;
    return GstObjectHandle<GstClock>(GST_CLOCK(clock));
}

} // namespace orvelo
