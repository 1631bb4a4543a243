#pragma once

#include "platform/media/GstHandle.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

typedef struct _GstNetTimeProvider GstNetTimeProvider;

namespace orvelo {

// The clock every media pipeline runs on, so that the players of a sync group show the same
// frame at the same moment. Alone it is GStreamer's monotonic system clock. A leader publishes
// that clock on the network (GStreamer's net time provider); a follower runs on a network
// client clock that GStreamer keeps calibrated against the leader's. Pipelines take the clock
// when they are made: one made before a change keeps the clock it had. Changes on the main
// thread; reading from any thread.
class GroupClock {
public:
    enum class Role { alone, leader, follower };

    struct Calibration {
        bool synchronised = false; // a follower's clock has been calibrated against the leader's
        std::int64_t roundTripNs = 0;
        // This machine's clock minus the group's, as the follower's calibration has it.
        std::int64_t offsetNs = 0;
    };

    static GroupClock& shared();
    GroupClock();
    ~GroupClock();
    GroupClock(const GroupClock&) = delete;
    GroupClock& operator=(const GroupClock&) = delete;

    void standAlone();
    // Publishes the clock on `port` of every address; the reason when the port cannot be had.
    std::optional<std::string> publish(std::uint16_t port);
    // Runs on the clock published at `address`:`port`; the reason when that cannot be set up.
    std::optional<std::string> follow(const std::string& address, std::uint16_t port);

    Role role() const;
    // The clock for a pipeline made now.
    GstObjectHandle<GstClock> clock() const;
    // Its time in nanoseconds.
    std::uint64_t now() const;
    // How the follower's calibration stands; alone and leading the clock is its own reference.
    Calibration calibration();

    // How far ahead a start is set, so that every player of the group has its picture ready.
    std::uint64_t leadNs() const { return leadNs_.load(); }
    void setLeadNs(std::uint64_t lead) { leadNs_ = lead; }
    // When a start asked for now takes effect: now plus the lead.
    std::uint64_t startTime() const { return now() + leadNs(); }

private:
    void reset();

    mutable std::mutex mutex_;
    Role role_ = Role::alone;
    GstObjectHandle<GstClock> system_;
    GstObjectHandle<GstClock> clock_;
    GstObjectHandle<GstNetTimeProvider> provider_;
    GstObjectHandle<GstBus> statistics_;
    // With a skewed local clock for tests: the network clock it is slaved to, and itself.
    GstObjectHandle<GstClock> network_;
    GstObjectHandle<GstClock> local_;
    Calibration calibration_;
    std::atomic<std::uint64_t> leadNs_{150'000'000};
};

} // namespace orvelo
