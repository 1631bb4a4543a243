// Protects the sync group datagrams: the exact layout leader and followers of different builds
// must agree on, and that nothing without the group key's tag, or malformed under it, is obeyed.
#include "net/SyncMessage.h"

#include "platform/ByteWriter.h"

#include <gtest/gtest.h>
#include <sodium.h>

#include <algorithm>
#include <bit>
#include <cmath>

using namespace orvelo;
using namespace orvelo::sync;
using Bytes = std::vector<std::uint8_t>;
using Decoded = std::variant<Message, DecodeError>;

namespace {

const Key key = keyFrom("stage left");

// Appends the tag to bytes edited or built by hand, as a group member would.
Bytes tagged(Bytes bytes)
{
    Bytes tag(crypto_auth_BYTES);
    crypto_auth(tag.data(), bytes.data(), bytes.size(), key.data());
    bytes.insert(bytes.end(), tag.begin(), tag.end());
    return bytes;
}

Bytes untagged(const Bytes& datagram)
{
    return Bytes(datagram.begin(), datagram.end() - crypto_auth_BYTES);
}

// Group "show": the State body starts at 13; transport at 25, track length at 26, position at 37,
// rate at 45.
const Message state{"show", State{7, 5'000'000'000, Transport::playing, "intro.mov", 12.5, -1.0, {0xAB, 0}}};

} // namespace

TEST(SyncMessage, KeyIsTheBlake2bOfTheTextAndTheStateIsLaidOutLittleEndian)
{
    const Key empty = keyFrom("");
    EXPECT_EQ(Bytes(empty.begin(), empty.begin() + 8), (Bytes{0x0e, 0x57, 0x51, 0xc0, 0x26, 0xe5, 0x43, 0xb2}));
    ByteWriter w;
    w.text("OVSG", 4).u8(1).u8(2).u16le(0).u8(4).text("show", 4);
    w.u32le(7).u64le(5'000'000'000).u8(2).u16le(9).text("intro.mov", 9);
    w.u64le(std::bit_cast<std::uint64_t>(12.5)).u64le(std::bit_cast<std::uint64_t>(-1.0)).u16le(2).u8(0xAB).u8(0);
    EXPECT_EQ(encode(state, key), tagged(w.take()));
}

TEST(SyncMessage, EachTypeSurvivesTheRoundTripUpToItsLimits)
{
    const Message messages[] = {
        state,
        {std::string(maxNameBytes, 'g'), Join{std::string(maxNameBytes, 'f'), 7000, ~0ULL}},
        {"", Report{~0U, true, -1'500'000, 42, std::string(maxErrorBytes, 'e')}},
        {"Bühne", State{0, 0, Transport::paused, "", -0.5, 0.0, Bytes(maxEffectsBytes, 0xFF)}},
    };
    for (const auto& message : messages) {
        const auto datagram = encode(message, key);
        ASSERT_TRUE(datagram);
        EXPECT_EQ(decode(*datagram, key), Decoded{message});
    }
}

// Exact-size copies: the sanitizer build catches any read beyond a datagram.
TEST(SyncMessage, ForeignKeysAlteredBytesAndTruncationAreRefused)
{
    const Bytes datagram = *encode(state, key);
    const Bytes content = untagged(datagram);
    const auto refused = [](const Bytes& d) { return std::holds_alternative<DecodeError>(decode(d, key)); };
    EXPECT_EQ(decode(datagram, keyFrom("stage right")), Decoded{DecodeError::badAuthentication});
    for (std::size_t at = 0; at < datagram.size(); ++at) {
        Bytes altered = datagram;
        altered[at] ^= 0x01;
        const auto expected = at < 4    ? DecodeError::notSync
                              : at == 4 ? DecodeError::badVersion
                                        : DecodeError::badAuthentication;
        EXPECT_EQ(decode(altered, key), Decoded{expected}) << "byte " << at;
        EXPECT_TRUE(refused(Bytes(datagram.begin(), datagram.begin() + at))) << "cut at " << at;
        if (at < content.size()) { // cut by a group member: the tag passes, the fields must not
            EXPECT_TRUE(refused(tagged(Bytes(content.begin(), content.begin() + at)))) << "tagged cut at " << at;
        }
    }
}

TEST(SyncMessage, FieldsOutOfRangeAreMalformedEvenUnderAValidTag)
{
    const auto malformedAfter = [](auto edit) {
        Bytes bytes = untagged(*encode(state, key));
        edit(bytes);
        return decode(tagged(bytes), key) == Decoded{DecodeError::malformed};
    };
    EXPECT_TRUE(malformedAfter([](Bytes& b) { b[5] = 4; })) << "unknown type";
    EXPECT_TRUE(malformedAfter([](Bytes& b) { b[25] = 3; })) << "unknown transport";
    EXPECT_TRUE(malformedAfter([](Bytes& b) { std::fill_n(b.begin() + 45, 8, 0xFF); })) << "NaN rate";
    EXPECT_TRUE(malformedAfter([](Bytes& b) { b[43] = 0xF0, b[44] = 0x7F; })) << "position 12.5 made infinite";
    EXPECT_TRUE(malformedAfter([](Bytes& b) { b.push_back(0); })) << "trailing byte";
    EXPECT_TRUE(malformedAfter([](Bytes& b) { b[8] = maxNameBytes + 1; })) << "group over its limit";
    EXPECT_TRUE(malformedAfter([](Bytes& b) {
        b[26] = 0x01, b[27] = 0x02; // 513
        b.insert(b.begin() + 28, 504, 'x');
    })) << "track over its limit";
}

TEST(SyncMessage, EncodeRefusesWhatNoReceiverWouldAccept)
{
    const auto withState = [](auto change) {
        Message m{"show", State{1, 0, Transport::stopped, std::string(maxTrackBytes, 't'), 0.0, 1.0, {}}};
        change(std::get<State>(m.body));
        return encode(m, key);
    };
    const std::size_t room = maxDatagramBytes - withState([](State&) {})->size();
    EXPECT_EQ(withState([&](State& s) { s.effects.resize(room); })->size(), maxDatagramBytes);
    EXPECT_FALSE(withState([&](State& s) { s.effects.resize(room + 1); }));
    EXPECT_FALSE(withState([](State& s) { s.track += 't'; }));
    EXPECT_FALSE(withState([](State& s) { s.rate = std::nan(""); }));
    EXPECT_FALSE(withState([](State& s) { s.transport = Transport{3}; }));
    EXPECT_FALSE(withState([](State& s) { s.track.clear(), s.effects.resize(maxEffectsBytes + 1); }));
    EXPECT_FALSE(encode({std::string(maxNameBytes + 1, 'g'), Report{}}, key));
    EXPECT_FALSE(encode({"", Join{std::string(maxNameBytes + 1, 'f'), 1, 0}}, key));
    EXPECT_FALSE(encode({"", Report{0, false, 0, 0, std::string(maxErrorBytes + 1, 'e')}}, key));
}
