#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace orvelo::sync {

// The datagrams of a sync group: one leader commands several followers over UDP. Every
// datagram carries a tag made with the group key, so only group members are obeyed. Pure:
// bytes in, values out; no sockets, threads or logging.

inline constexpr std::size_t maxNameBytes = 64;   // group and follower names
inline constexpr std::size_t maxTrackBytes = 512; // track name
inline constexpr std::size_t maxEffectsBytes = 1024;
inline constexpr std::size_t maxErrorBytes = 256;
inline constexpr std::size_t maxDatagramBytes = 1400; // one Ethernet frame, with room for IP and UDP

using Key = std::array<std::uint8_t, 32>;
// Any passphrase, even an empty one, gives a key; whether to allow it is the caller's policy.
Key keyFrom(std::string_view groupKeyText);

// Follower to leader: asks to receive the state on `port`. `sentAt` is its group clock (ns).
struct Join {
    std::string follower;
    std::uint16_t port = 0;
    std::uint64_t sentAt = 0;
    bool operator==(const Join&) const = default;
};

enum class Transport : std::uint8_t { stopped = 0, paused = 1, playing = 2 };

// Leader to followers, on every change and every second: at group clock `clockTime` (ns) the
// track is at `position` seconds and runs at `rate` (negative runs in reverse).
struct State {
    std::uint32_t sequence = 0;
    std::uint64_t clockTime = 0;
    Transport transport = Transport::stopped;
    std::string track;
    double position = 0.0;
    double rate = 1.0;
    std::vector<std::uint8_t> effects; // opaque to the layout
    bool operator==(const State&) const = default;
};

// Follower to leader, answering each State and periodically. `offsetNs` is the follower clock
// minus the leader clock as the follower estimates it; `roundTripNs` the round trip its clock calibration measures.
struct Report {
    std::uint32_t sequence = 0;
    bool locked = false;
    std::int64_t offsetNs = 0;
    std::uint64_t roundTripNs = 0;
    std::string error; // empty when all is well, else e.g. "Missing file: intro.mov"
    bool operator==(const Report&) const = default;
};

using Body = std::variant<Join, State, Report>;

struct Message {
    std::string group;
    Body body;
    bool operator==(const Message&) const = default;
};

enum class DecodeError { notSync, badVersion, malformed, badAuthentication };

// Nothing when a text or the effects exceed their limit, a number is not finite, the
// transport is unknown or the whole datagram would exceed maxDatagramBytes: the receivers
// would drop it anyway.
std::optional<std::vector<std::uint8_t>> encode(const Message& message, const Key& key);
// Fields are read only after the tag proved the sender holds the key.
std::variant<Message, DecodeError> decode(std::span<const std::uint8_t> datagram, const Key& key);
// A short text for the operator.
const char* describe(DecodeError error);

} // namespace orvelo::sync
