// Protects the controller's wiring to the real transports: frames of the configured Art-Net
// universe or of sACN after a switch reach it, and its timecode leaves as ArtTimeCode datagrams.
#include "ConsoleTestSupport.h"

#include "net/ArtNetService.h"
#include "net/ArtNetTestSupport.h"
#include "net/SACNService.h"
#include "platform/ByteReader.h"
#include "platform/ByteWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>

using namespace orvelo;
using namespace orvelo::test;
using namespace std::chrono_literals;

namespace {

// The application's assembly on ports of the test's choosing; timecode and announcements go
// to the `receiver` socket.
struct NetRig {
    UdpPeer console;
    UdpPeer receiver;
    std::uint16_t artNetPort = freeUdpPort();
    std::uint16_t sacnPort = freeUdpPort();
    ArtNetService artNet{artNetOn(artNetPort, receiver.port())};
    SACNService sacn{sacnOn(sacnPort)};
    NoCITP citp;
    ProtocolManager manager{artNet, sacn, citp};
    PlaybackEngine engine;
    DMXController controller{manager, engine};
};

class ControllerOnTheWire : public ::testing::Test {
protected:
    void SetUp() override
    {
        ORVELO_REQUIRE_ISOLATED_NETWORK();
        forgetLastPlaylist();
        rig = std::make_unique<NetRig>();
        ASSERT_TRUE(waitUntil([&] { return rig->artNet.isListening(); }));
    }
    void TearDown() override
    {
        rig.reset();
        forgetLastPlaylist();
    }

    // Sends the frame until the controller shows its control value (a datagram may be lost).
    bool artDmxReaches(int net, int subnet, int universe, int value)
    {
        return waitUntil(
            [&] {
                rig->console.sendTo(rig->artNetPort, artDmx(net, subnet, universe, dmxFrame({value})));
                spinFor(10ms);
                return rig->controller.currentDMXValue() == value;
            },
            1500ms);
    }

    std::unique_ptr<NetRig> rig;
};

TEST_F(ControllerOnTheWire, ArtDmxOfTheConfiguredUniverseOnly)
{
    std::vector<int> shown;
    QObject::connect(&rig->controller, &DMXController::currentDMXValueChanged, &rig->controller,
                     [&](int v) { shown.push_back(v); });
    // Datagrams of one sender arrive in order: once the last one is shown, the earlier
    // ones were dropped or shown.
    const auto filteredOut = [&](int net, int subnet, int universe, int value, int acceptedUniverse[3]) {
        for (int i = 0; i < 3; ++i)
            rig->console.sendTo(rig->artNetPort, artDmx(net, subnet, universe, dmxFrame({value})));
        EXPECT_TRUE(artDmxReaches(acceptedUniverse[0], acceptedUniverse[1], acceptedUniverse[2], value + 1));
        return std::find(shown.begin(), shown.end(), value) == shown.end();
    };

    int defaults[3] = {0, 0, 0};
    ASSERT_TRUE(artDmxReaches(0, 0, 0, 3));
    EXPECT_TRUE(filteredOut(2, 1, 3, 4, defaults)) << "another universe is filtered out";

    DMXConfig config;
    config.net = 2;
    config.subnet = 1;
    config.universe = 3;
    rig->controller.setDmxConfig(config);
    EXPECT_EQ(rig->artNet.filterNet, 2);
    EXPECT_EQ(rig->artNet.filterSubnet, 1);
    EXPECT_EQ(rig->artNet.filterUniverse, 3);
    int configured[3] = {2, 1, 3};
    EXPECT_TRUE(artDmxReaches(2, 1, 3, 6));
    EXPECT_TRUE(filteredOut(0, 0, 0, 7, configured));
}

TEST_F(ControllerOnTheWire, SACNDrivesTheControllerOnceItIsTheInput)
{
    LogCapture log;
    const auto tracks = makeTracks({"/nonexistent/one.mp4"}, 2);
    rig->controller.playlist().setPlaylist(tracks);
    rig->manager.setInputProtocol(DMXProtocolType::sACN);
    rig->manager.updateServices();
    ASSERT_TRUE(waitUntil([&] { return rig->sacn.isListening() && !rig->artNet.isListening(); }));

    // Any universe: the sACN receiver has no filter.
    EXPECT_TRUE(waitUntil(
        [&] {
            rig->console.sendTo(rig->sacnPort, sacnDataPacket(7, dmxFrame({21})));
            spinFor(10ms);
            return rig->controller.currentDMXValue() == 21;
        },
        1500ms));
    EXPECT_GE(log.indexOf("DMXController: Switching track via DMX (Val: 21) -> track02"), 0);

    // While sACN is the input a new address is not copied into the Art-Net filter; binding to
    // Art-Net again copies it.
    DMXConfig config;
    config.universe = 9;
    rig->controller.setDmxConfig(config);
    EXPECT_EQ(rig->artNet.filterUniverse, 0);
    rig->manager.setInputProtocol(DMXProtocolType::artNet);
    rig->manager.updateServices();
    EXPECT_EQ(rig->artNet.filterUniverse, 9);
    EXPECT_TRUE(artDmxReaches(0, 0, 9, 11));

    // Frames of the receiver that is no longer the input change nothing.
    rig->sacn.startListening();
    for (int i = 0; i < 5; ++i) {
        rig->console.sendTo(rig->sacnPort, sacnDataPacket(1, dmxFrame({250})));
        spinFor(20ms);
    }
    EXPECT_EQ(rig->controller.currentDMXValue(), 11);
}

TEST_F(ControllerOnTheWire, TimecodeLeavesAsArtTimeCode)
{
    const auto tracks = makeTracks({clip(4.0, 9)}, 2);
    rig->controller.playlist().setPlaylist(tracks);
    ASSERT_TRUE(artDmxReaches(0, 0, 0, 21));
    ASSERT_TRUE(waitUntil([&] { return playing(rig->engine, tracks[1]); }, 5s));

    // The receiver collects on its own; the main loop must keep running for the player.
    int timecodes = 0;
    double last = -1.0;
    const auto until = std::chrono::steady_clock::now() + 1s;
    while (std::chrono::steady_clock::now() < until) {
        spinFor(5ms);
        while (auto datagram = rig->receiver.receive(0ms)) {
            if (artnet::decodeHeader(*datagram) != artnet::opTimeCode)
                continue;
            ASSERT_EQ(datagram->size(), artnet::timeCodeSize);
            ByteReader r(*datagram);
            r.skip(14);
            const int frames = *r.u8(), seconds = *r.u8(), minutes = *r.u8(), hours = *r.u8(), type = *r.u8();
            EXPECT_EQ(hours, 1) << "the second track is hour 1";
            EXPECT_EQ(minutes, 0);
            EXPECT_LT(frames, 25);
            EXPECT_EQ(type, 1) << "EBU at the default 25 fps";
            const double at = seconds + frames / 25.0;
            EXPECT_GE(at, last) << "timecode runs forward while the track plays";
            last = at;
            ++timecodes;
        }
    }
    EXPECT_GT(timecodes, 5);
}

} // namespace
