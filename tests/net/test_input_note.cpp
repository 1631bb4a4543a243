// The note that tells a console on the wrong universe from a dead network, and the node's own
// broadcasts heard back from a peer's.
#include "net/ArtNetPacket.h"
#include "net/ForeignUniverses.h"
#include "net/InputNote.h"
#include "net/OwnEchoes.h"

#include "support/UdpTestSupport.h"

#include <gtest/gtest.h>

using namespace orvelo;
using namespace std::chrono_literals;

TEST(ForeignUniverses, NamesWhatWasHeardLatelyButNeverTheInputsOwn)
{
    ForeignUniverses foreign;
    const auto t0 = ForeignUniverses::Clock::now();
    const auto heard = [&](int own, ForeignUniverses::Clock::duration after) {
        foreign.look(own, t0 + after);
        return foreign.heard();
    };
    foreign.count(5);
    foreign.count(5);
    foreign.count(1);
    EXPECT_EQ(heard(0, 1s), (std::vector<int>{1, 5}));
    foreign.count(5);
    EXPECT_EQ(heard(0, 3s), (std::vector<int>{1, 5})) << "kept a few seconds";
    EXPECT_EQ(heard(0, 4s), std::vector<int>{5}) << "1 forgotten 3 s after its last frame";
    EXPECT_EQ(heard(5, 4s), std::vector<int>{}) << "the input moved to the universe it hears";
    EXPECT_EQ(foreign.frames(), 4u) << "the count of the episode stays until the next one";
    EXPECT_EQ(heard(0, 6s), std::vector<int>{});
    foreign.count(2);
    EXPECT_EQ(heard(0, 7s), std::vector<int>{2});
    EXPECT_EQ(foreign.frames(), 1u);
    foreign.forget();
    EXPECT_TRUE(heard(0, 7s).empty());
}

TEST(InputNote, SaysWhereTheConsoleIsAndWhereThePlayerListens)
{
    EXPECT_EQ(inputnote::artNet({}, 0), "");
    EXPECT_EQ(inputnote::artNet({0, artnet::portAddress(1, 2, 3)}, artnet::portAddress(0, 1, 0)),
              "Art-Net seen on 0:0:0 and 1:2:3, listening on 0:1:0");
    EXPECT_EQ(inputnote::artNet({1, 2, 3, 4, 5}, 0),
              "Art-Net seen on 0:0:1, 0:0:2, 0:0:3 and 2 more, listening on 0:0:0");
    EXPECT_EQ(inputnote::sACN({}, 1), "");
    EXPECT_EQ(inputnote::sACN({7}, 1),
              "sACN seen on universe 7, set for universe 1 (the sACN input takes every universe)");
    EXPECT_EQ(inputnote::sACN({2, 7, 9}, 1),
              "sACN seen on universes 2, 7 and 9, set for universe 1 (the sACN input takes every universe)");
}

TEST(OwnEchoes, OnlyWhatThisHostSentComesBackAsAnEcho)
{
    OwnEchoes echoes;
    echoes.setOwnAddresses({"10.254.0.2"});
    const auto from = [](const char* address) { return test::ipv4(6454, ::inet_addr(address)); };
    const std::vector<std::uint8_t> timecode = artnet::encodeTimeCode(1, 2, 3, 4, 1);
    const std::vector<std::uint8_t> later = artnet::encodeTimeCode(1, 2, 3, 5, 1);
    echoes.sent(timecode);
    EXPECT_TRUE(echoes.isEcho(timecode, from("10.254.0.2")));
    EXPECT_TRUE(echoes.isEcho(timecode, from("127.0.0.1")));
    EXPECT_FALSE(echoes.isEcho(timecode, from("10.254.0.9"))) << "another player in sync is still heard";
    EXPECT_FALSE(echoes.isEcho(later, from("10.254.0.2"))) << "another program on this host";
    for (std::size_t i = 0; i < OwnEchoes::remembered; ++i)
        echoes.sent(later);
    EXPECT_FALSE(echoes.isEcho(timecode, from("10.254.0.2"))) << "only the latest are remembered";
}
