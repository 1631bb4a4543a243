#include "platform/media/GroupClock.h"

#include "platform/Log.h"
#include "platform/media/GStreamerInit.h"
#include "platform/media/SkewedClock.h"

#include <gst/net/net.h>

#include <cstdio>

namespace orvelo {

namespace {

// Constructors of GStreamer objects differ in whether they hand out a floating reference.
template <typename T> GstObjectHandle<T> own(T* object)
{
    if (object && g_object_is_floating(object))
        gst_object_ref_sink(object);
    return GstObjectHandle<T>(object);
}

} // namespace

GroupClock& GroupClock::shared()
{
    static GroupClock instance;
    return instance;
}

GroupClock::GroupClock()
{
    ensureGStreamer();
    system_.reset(gst_system_clock_obtain());
    clock_ = retain(system_.get());
}

GroupClock::~GroupClock() = default;

void GroupClock::reset()
{
    provider_.reset();
    statistics_.reset();
    network_.reset();
    local_.reset();
    clock_ = retain(system_.get());
    calibration_ = {};
    role_ = Role::alone;
}

void GroupClock::standAlone()
{
    std::lock_guard lock(mutex_);
    reset();
}

std::optional<std::string> GroupClock::publish(std::uint16_t port)
{
    std::lock_guard lock(mutex_);
    reset();
    provider_ = own(gst_net_time_provider_new(system_.get(), nullptr, port));
    if (!provider_)
        return "Cannot publish the group clock on port " + std::to_string(port);
    role_ = Role::leader;
    return std::nullopt;
}

std::optional<std::string> GroupClock::follow(const std::string& address, std::uint16_t port)
{
    std::lock_guard lock(mutex_);
    reset();
    auto client = own(gst_net_client_clock_new("group", address.c_str(), port, 0));
    if (!client)
        return "Cannot follow the group clock at " + address + ":" + std::to_string(port);
    // The client tells how its calibration goes on a bus of its own, read when asked.
    statistics_.reset(gst_bus_new());
    g_object_set(client.get(), "bus", statistics_.get(), nullptr);
    if (const auto skew = SkewedClock::fromEnvironment()) {
        char line[96];
        std::snprintf(line, sizeof line, "GroupClock: A local clock %lld ms off and %g ppm fast, for tests",
                      static_cast<long long>(skew->offsetNs / 1'000'000), skew->ppm);
        logLine(line);
        local_ = skew->create();
        network_ = std::move(client);
        // Pipelines run on the network clock until the local one is slaved to it: a GStreamer
        // clock never goes back, so one read before its calibration would stand still until
        // the group's time caught up with it.
        clock_ = retain(network_.get());
    } else {
        clock_ = std::move(client);
    }
    role_ = Role::follower;
    return std::nullopt;
}

GroupClock::Role GroupClock::role() const
{
    std::lock_guard lock(mutex_);
    return role_;
}

GstObjectHandle<GstClock> GroupClock::clock() const
{
    std::lock_guard lock(mutex_);
    return retain(clock_.get());
}

std::uint64_t GroupClock::now() const
{
    return gst_clock_get_time(clock().get());
}

GroupClock::Calibration GroupClock::calibration()
{
    std::lock_guard lock(mutex_);
    if (role_ != Role::follower)
        return {true, 0, 0};
    while (GstMiniHandle<GstMessage> message{gst_bus_pop(statistics_.get())}) {
        const GstStructure* stats = gst_message_get_structure(message.get());
        if (!stats || !gst_structure_has_name(stats, "gst-netclock-statistics"))
            continue;
        gboolean synchronised = FALSE;
        guint64 rtt = 0;
        gst_structure_get_boolean(stats, "synchronised", &synchronised);
        gst_structure_get_uint64(stats, "rtt-average", &rtt);
        calibration_.synchronised = synchronised;
        calibration_.roundTripNs = static_cast<std::int64_t>(rtt);
    }
    Calibration result = calibration_;
    if (local_ && clock_.get() != local_.get() && calibration_.synchronised) {
        // From the network clock's first calibration on, the local clock is slaved to it: it
        // starts where the group is and learns its own rate and offset from there.
        gst_clock_set_calibration(local_.get(), gst_clock_get_internal_time(local_.get()),
                                  gst_clock_get_time(network_.get()), 1, 1);
        if (gst_clock_set_master(local_.get(), network_.get()))
            clock_ = retain(local_.get());
    }
    result.synchronised = calibration_.synchronised && (!local_ || clock_.get() == local_.get());
    const std::uint64_t mine = local_ ? gst_clock_get_internal_time(local_.get()) : gst_clock_get_time(system_.get());
    result.offsetNs = static_cast<std::int64_t>(mine) - static_cast<std::int64_t>(gst_clock_get_time(clock_.get()));
    return result;
}

} // namespace orvelo
