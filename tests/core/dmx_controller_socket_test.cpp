// Protects the controller's wiring to the real transports: frames of the configured Art-Net
// universe, or of sACN after a switch, reach it (its timecode on the wire is the end-to-end test's).
#include "ConsoleTestSupport.h"

#include "net/ArtNetTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>

using namespace orvelo;
using namespace orvelo::test;
using namespace std::chrono_literals;

namespace {

struct NetRig : WiredController {
    UdpPeer console;
    // Sends the datagram until the controller shows `value` (a datagram may be lost).
    bool reaches(std::uint16_t port, const Bytes& datagram, int value)
    {
        return waitUntil(
            [&] {
                console.sendTo(port, datagram);
                spinFor(10ms);
                return controller.currentDMXValue() == value;
            },
            1500ms);
    }
    bool artDmxReaches(std::array<int, 3> address, int value)
    {
        return reaches(artNetPort, artDmx(address[0], address[1], address[2], dmxFrame({value})), value);
    }
};

TEST(ControllerOnTheWire, ArtDmxOfTheConfiguredUniverseOnlyAndSACNOnceItIsTheInput)
{
    ORVELO_REQUIRE_ISOLATED_NETWORK();
    forgetLastPlaylist();
    LogCapture log;
    {
        NetRig rig;
        ASSERT_TRUE(waitUntil([&] { return rig.artNet.isListening(); }));
        std::vector<int> shown;
        QObject::connect(&rig.controller, &DMXController::currentDMXValueChanged, &rig.controller,
                         [&](int v) { shown.push_back(v); });
        // Datagrams of one sender arrive in order: once a later one of the accepted universe is
        // shown, the earlier ones were dropped or shown.
        const auto filteredOut = [&](std::array<int, 3> other, std::array<int, 3> accepted, int value) {
            for (int i = 0; i < 3; ++i)
                rig.console.sendTo(rig.artNetPort, artDmx(other[0], other[1], other[2], dmxFrame({value})));
            EXPECT_TRUE(rig.artDmxReaches(accepted, value + 1));
            return std::find(shown.begin(), shown.end(), value) == shown.end();
        };
        ASSERT_TRUE(rig.artDmxReaches({0, 0, 0}, 3));
        EXPECT_TRUE(filteredOut({2, 1, 3}, {0, 0, 0}, 4)) << "another universe is filtered out";
        DMXConfig config;
        std::tie(config.net, config.subnet, config.universe) = std::tuple(2, 1, 3);
        rig.controller.setDmxConfig(config);
        EXPECT_TRUE(filteredOut({0, 0, 0}, {2, 1, 3}, 7));
        rig.controller.playlist().setPlaylist(makeTracks({"/nonexistent/one.mp4"}, 2));
        rig.manager.setInputProtocol(DMXProtocolType::sACN);
        rig.manager.updateServices();
        ASSERT_TRUE(waitUntil([&] { return rig.sacn.isListening() && !rig.artNet.isListening(); }));
        // Any universe: the sACN receiver has no filter.
        EXPECT_TRUE(rig.reaches(rig.sacnPort, sacnDataPacket(7, dmxFrame({21})), 21));
        EXPECT_GE(log.indexOf("DMXController: Switching track via DMX (Val: 21) -> track02"), 0);
        // While sACN is the input a new address is not copied into the Art-Net filter; binding
        // to Art-Net again copies it.
        config = {};
        config.universe = 9;
        rig.controller.setDmxConfig(config);
        EXPECT_EQ(rig.artNet.filterUniverse, 3) << "the address from before the switch";
        rig.manager.setInputProtocol(DMXProtocolType::artNet);
        rig.manager.updateServices();
        EXPECT_EQ(rig.artNet.filterUniverse, 9);
        EXPECT_TRUE(rig.artDmxReaches({0, 0, 9}, 11));
        // Frames of the receiver that is no longer the input reach it but change nothing.
        rig.sacn.startListening();
        EXPECT_TRUE(waitUntil([&] {
            rig.console.sendTo(rig.sacnPort, sacnDataPacket(1, dmxFrame({250})));
            spinFor(10ms);
            return !rig.sacn.lastDMXValues().empty() && rig.sacn.lastDMXValues()[0] == 250;
        }));
        EXPECT_EQ(rig.controller.currentDMXValue(), 11);
    }
    forgetLastPlaylist();
}

} // namespace
