#include "net/SyncMessage.h"

#include "platform/ByteReader.h"
#include "platform/ByteWriter.h"

#include <sodium.h>

#include <algorithm>
#include <cmath>

namespace orvelo::sync {

namespace {

constexpr std::array<std::uint8_t, 4> magic{'O', 'V', 'S', 'G'};
constexpr std::uint8_t version = 1;
constexpr std::size_t headerBytes = 8; // magic, version, type, reserved
constexpr std::size_t tagBytes = crypto_auth_BYTES;
static_assert(sizeof(Key) == crypto_auth_KEYBYTES && sizeof(Key) <= crypto_generichash_BYTES_MAX);

constexpr std::uint8_t joinType = 1;
constexpr std::uint8_t stateType = 2;
constexpr std::uint8_t reportType = 3;
constexpr std::uint8_t transportCount = 3;

void ready()
{
    // Hashing and tagging need no random numbers, so they stay correct even if initialisation
    // fails for want of an entropy source.
    [[maybe_unused]] static const int initialised = sodium_init();
}

constexpr std::uint8_t typeOf(const Join&)
{
    return joinType;
}
constexpr std::uint8_t typeOf(const State&)
{
    return stateType;
}
constexpr std::uint8_t typeOf(const Report&)
{
    return reportType;
}

void text8(ByteWriter& w, std::string_view s)
{
    w.u8(static_cast<std::uint8_t>(s.size())).text(s, s.size());
}

void text16(ByteWriter& w, std::string_view s)
{
    w.u16le(static_cast<std::uint16_t>(s.size())).text(s, s.size());
}

// Each writer refuses a body that exceeds its limits, before anything is written.
bool put(ByteWriter& w, const Join& join)
{
    if (join.follower.size() > maxNameBytes)
        return false;
    text8(w, join.follower);
    w.u16le(join.port).u64le(join.sentAt);
    return true;
}

bool put(ByteWriter& w, const State& state)
{
    if (state.track.size() > maxTrackBytes || state.effects.size() > maxEffectsBytes ||
        static_cast<std::uint8_t>(state.transport) >= transportCount || !std::isfinite(state.position) ||
        !std::isfinite(state.rate))
        return false;
    w.u32le(state.sequence).u64le(state.clockTime).u8(static_cast<std::uint8_t>(state.transport));
    text16(w, state.track);
    w.f64le(state.position);
    w.f64le(state.rate);
    w.u16le(static_cast<std::uint16_t>(state.effects.size())).bytes(state.effects);
    return true;
}

bool put(ByteWriter& w, const Report& report)
{
    if (report.error.size() > maxErrorBytes)
        return false;
    w.u32le(report.sequence).u8(report.locked ? 1 : 0);
    w.u64le(static_cast<std::uint64_t>(report.offsetNs)).u64le(report.roundTripNs);
    text16(w, report.error);
    return true;
}

// Reads the fields of an authenticated datagram. A field that is cut short or out of range
// fails the whole read, checked once by complete(); values read after a failure are zero.
class Fields {
public:
    explicit Fields(std::span<const std::uint8_t> signedBytes) : reader_(signedBytes, magic.size() + 1) {}

    std::uint8_t u8() { return reader_.u8().value_or(0); }
    std::uint16_t u16() { return reader_.u16le().value_or(0); }
    std::uint32_t u32() { return reader_.u32le().value_or(0); }
    std::uint64_t u64() { return reader_.u64le().value_or(0); }
    std::int64_t i64() { return static_cast<std::int64_t>(u64()); }

    // A byte that must be below `count`, for enumerations.
    std::uint8_t oneOf(std::uint8_t count)
    {
        const std::uint8_t v = u8();
        failed_ |= v >= count;
        return v;
    }

    double finite()
    {
        const auto v = reader_.finiteF64le();
        failed_ |= !v;
        return v.value_or(0.0);
    }

    std::string text8(std::size_t max)
    {
        const auto b = chunk(u8(), max);
        return std::string(b.begin(), b.end());
    }

    std::string text16(std::size_t max)
    {
        const auto b = chunk(u16(), max);
        return std::string(b.begin(), b.end());
    }

    std::vector<std::uint8_t> bytes16(std::size_t max)
    {
        const auto b = chunk(u16(), max);
        return std::vector<std::uint8_t>(b.begin(), b.end());
    }

    // Every field read and valid, and nothing after the last one.
    bool complete() const { return !failed_ && reader_.ok() && reader_.remaining() == 0; }

private:
    std::span<const std::uint8_t> chunk(std::size_t length, std::size_t max)
    {
        failed_ |= length > max;
        if (failed_)
            return {};
        return reader_.bytes(length).value_or(std::span<const std::uint8_t>{});
    }

    ByteReader reader_;
    bool failed_ = false;
};

// Braced initialisers evaluate their elements in order, so the fields are read as laid out.
Join readJoin(Fields& f)
{
    return Join{f.text8(maxNameBytes), f.u16(), f.u64()};
}

State readState(Fields& f)
{
    return State{f.u32(),
                 f.u64(),
                 static_cast<Transport>(f.oneOf(transportCount)),
                 f.text16(maxTrackBytes),
                 f.finite(),
                 f.finite(),
                 f.bytes16(maxEffectsBytes)};
}

Report readReport(Fields& f)
{
    return Report{f.u32(), f.oneOf(2) == 1, f.i64(), f.u64(), f.text16(maxErrorBytes)};
}

} // namespace

Key keyFrom(std::string_view groupKeyText)
{
    ready();
    Key key{};
    crypto_generichash(key.data(), key.size(), reinterpret_cast<const unsigned char*>(groupKeyText.data()),
                       groupKeyText.size(), nullptr, 0);
    return key;
}

std::optional<std::vector<std::uint8_t>> encode(const Message& message, const Key& key)
{
    if (message.group.size() > maxNameBytes)
        return std::nullopt;
    ByteWriter w(maxDatagramBytes);
    w.bytes(magic).u8(version).u8(std::visit([](const auto& body) { return typeOf(body); }, message.body)).u16le(0);
    text8(w, message.group);
    if (!std::visit([&w](const auto& body) { return put(w, body); }, message.body) ||
        w.size() + tagBytes > maxDatagramBytes)
        return std::nullopt;
    ready();
    std::array<std::uint8_t, tagBytes> tag{};
    crypto_auth(tag.data(), w.data().data(), w.size(), key.data());
    w.bytes(tag);
    return w.take();
}

std::variant<Message, DecodeError> decode(std::span<const std::uint8_t> datagram, const Key& key)
{
    ByteReader header(datagram);
    const auto start = header.bytes(magic.size());
    if (!start || !std::ranges::equal(*start, magic))
        return DecodeError::notSync;
    const auto sentVersion = header.u8();
    if (!sentVersion)
        return DecodeError::malformed;
    if (*sentVersion != version)
        return DecodeError::badVersion;
    if (datagram.size() < headerBytes + tagBytes || datagram.size() > maxDatagramBytes)
        return DecodeError::malformed;

    ready();
    const auto signedBytes = datagram.first(datagram.size() - tagBytes);
    if (crypto_auth_verify(datagram.last(tagBytes).data(), signedBytes.data(), signedBytes.size(), key.data()) != 0)
        return DecodeError::badAuthentication;

    Fields f(signedBytes);
    const std::uint8_t type = f.u8();
    f.u16(); // reserved: ignored, so a later sender may use it without breaking this one
    Message message{f.text8(maxNameBytes), Join{}};
    switch (type) {
    case joinType:
        message.body = readJoin(f);
        break;
    case stateType:
        message.body = readState(f);
        break;
    case reportType:
        message.body = readReport(f);
        break;
    default:
        return DecodeError::malformed;
    }
    if (!f.complete())
        return DecodeError::malformed;
    return message;
}

const char* describe(DecodeError error)
{
    switch (error) {
    case DecodeError::notSync:
        return "not a sync group message";
    case DecodeError::badVersion:
        return "sent by an incompatible version of the sync protocol";
    case DecodeError::malformed:
        return "malformed sync message";
    case DecodeError::badAuthentication:
        return "not authenticated with the group key";
    }
    return "unknown sync message error";
}

} // namespace orvelo::sync
