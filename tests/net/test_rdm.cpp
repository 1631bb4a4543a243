// The RDM responder: which requests are answered, the exact bytes, and what a console's SET
// changes (start address, label, identify), each told once and read back by GET.
#include "net/ArtNetPacket.h"
#include "net/RdmMessage.h"
#include "net/RdmResponder.h"

#include "ArtNetTestSupport.h"
#include "support/TestSupport.h"

using namespace orvelo;
using test::Bytes;

namespace {

const rdm::RdmUID nodeUID{0x7F, 0xF0, 0x00, 0x00, 0x12, 0x34};

class RdmResponderTest : public ::testing::Test {
protected:
    void request(const rdm::RdmUID& to, std::uint8_t commandClass, std::uint16_t pid, const Bytes& data = {},
                 std::optional<std::uint8_t> statedLength = std::nullopt)
    {
        responder.processRdm(test::rdmRequest(to, commandClass, pid, data, statedLength), test::ipv4(40000, 0));
    }
    void set(std::uint16_t pid, const Bytes& data = {}, std::optional<std::uint8_t> statedLength = std::nullopt)
    {
        request(nodeUID, rdm::setCommand, pid, data, statedLength);
    }
    // The RDM message of the last answer, start code excluded.
    Bytes answer() const { return Bytes(sent.back().begin() + artnet::artRdmHeaderSize, sent.back().end()); }

    std::atomic<int> universe{0};
    std::atomic<int> subnet{0};
    std::vector<Bytes> sent;
    // The data of the last answer, which is a GET of `pid`.
    std::string got(std::uint16_t pid)
    {
        request(nodeUID, rdm::getCommand, pid);
        return std::string(sent.back().begin() + artnet::artRdmHeaderSize + 23, sent.back().end() - 2);
    }
    std::uint16_t lastNack() const
    {
        const Bytes a = answer();
        return a[15] == rdm::responseNack && a[22] == 2 ? static_cast<std::uint16_t>(a[23] << 8 | a[24]) : 0xFFFF;
    }

    std::vector<std::pair<int, int>> changes;
    std::vector<std::string> labels;
    std::vector<bool> identifies;
    RdmResponder responder{nodeUID, universe, subnet,
                           [this](std::span<const std::uint8_t> d, const sockaddr_in& to) {
                               EXPECT_EQ(ntohs(to.sin_port), 40000) << "answered to the sender";
                               sent.emplace_back(d.begin(), d.end());
                           },
                           RdmResponder::Changes{
                               .address = [this](int u, int c) { changes.emplace_back(u, c); },
                               .label = [this](const std::string& l) { labels.push_back(l); },
                               .identify = [this](bool on) { identifies.push_back(on); },
                           }};
    test::LogCapture log;
};

} // namespace

TEST(RdmMessage, UIDIsTheManufacturerAndTheProcessIDAndTheResponseChecksumCoversTheStartCode)
{
    EXPECT_EQ(rdm::uidForProcess(0xA1B2C3D4), (rdm::RdmUID{0x7F, 0xF0, 0xA1, 0xB2, 0xC3, 0xD4}));
    // Sub-start code, length 24 + 2, destination, source, transaction, ACK, message count,
    // root sub-device, GET response, DMX_START_ADDRESS, PDL, address 1025, checksum 0xCC + all.
    const Bytes expected{0x01, 0x1A, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x7F, 0xF0, 0x00, 0x00, 0x12, 0x34,
                         0x07, 0x00, 0x00, 0x00, 0x00, 0x21, 0x00, 0xF0, 0x02, 0x04, 0x01, 0x03, 0xD0};
    EXPECT_EQ(rdm::buildResponse(test::consoleUID, nodeUID, 0x07, rdm::getCommandResponse, rdm::pidDmxStartAddress,
                                 Bytes{0x04, 0x01}),
              expected);
}

TEST_F(RdmResponderTest, GetAnswersDeviceInfoAndTheFixedLabelsAndNothingElse)
{
    universe = 2;
    subnet = 1;
    request(nodeUID, rdm::getCommand, rdm::pidDeviceInfo);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0][23], 0x12); // ArtRdm address byte
    const Bytes a = answer();
    EXPECT_EQ(a[19], rdm::getCommandResponse);
    // RDM 1.0, model 1, category, software 2.1.0, footprint 6, personality 1 of 1, start
    // address 1025 (universe 2), no sub-devices, no sensors; the checksum.
    EXPECT_EQ(Bytes(a.begin() + 23, a.end() - 2), (Bytes{0x01, 0x00, 0x00, 0x01, 0x01, 0x01, 0x00, 0x02, 0x01, 0x00,
                                                         0x00, 0x06, 0x01, 0x01, 0x04, 0x01, 0x00, 0x00, 0x00}));

    request(rdm::broadcastUID, rdm::getCommand, rdm::pidDeviceLabel);
    request(nodeUID, rdm::getCommand, rdm::pidSoftwareVersionLabel);
    request(nodeUID, rdm::getCommand, rdm::pidIdentifyDevice);
    request(nodeUID, rdm::getCommand, rdm::pidManufacturerLabel);
    request(nodeUID, rdm::getCommand, rdm::pidDeviceModelDescription);
    request(nodeUID, rdm::getCommand, rdm::pidSupportedParameters);
    ASSERT_EQ(sent.size(), 7u);
    const auto data = [&](std::size_t i) { return std::string(sent[i].begin() + 24 + 23, sent[i].end() - 2); };
    EXPECT_EQ(data(1), "ORVELONODE V.2.0");
    EXPECT_EQ(data(2), "ORVELONODE V.2.1.0");
    EXPECT_EQ(data(3), std::string(1, '\0'));
    EXPECT_EQ(data(4), "Orvelo");
    EXPECT_EQ(data(5), "Orvelo Media Server");
    EXPECT_EQ(data(6), std::string("\x00\x80\x00\x81\x00\x82", 6));

    request({0x7F, 0xF0, 0xFF, 0xFF, 0xFF, 0xFF}, rdm::getCommand, rdm::pidDeviceInfo); // another device's
    request(nodeUID, rdm::discoveryCommand, 0x0001);                                    // DISC_UNIQUE_BRANCH
    EXPECT_EQ(sent.size(), 7u);
    // What the node cannot do is said at once, with the reason, so a console need not time out.
    const auto nack = [&](std::uint16_t reason) {
        const Bytes a = answer();
        return a[15] == rdm::responseNack && a[22] == 2 && a[23] == reason >> 8 && a[24] == (reason & 0xFF);
    };
    request(nodeUID, rdm::getCommand, 0x0051);
    EXPECT_TRUE(nack(rdm::nackUnknownPid));
    set(rdm::pidDeviceInfo);
    EXPECT_TRUE(nack(rdm::nackUnsupportedCommandClass));
    set(0x1234);
    EXPECT_TRUE(nack(rdm::nackUnknownPid));
    EXPECT_EQ(sent.size(), 10u);
    EXPECT_TRUE(log.contains("ArtNetService: Unknown RDM SET PID=0x1234"));
}

TEST_F(RdmResponderTest, TheStartAddressMovesUniverseAndChannelUnlessTheDataIsDamaged)
{
    universe = 3;
    // A stated length past the end of the datagram is damage, and gets no answer; a wrong
    // length, no address or one past the node's sixteen universes are refused with the reason.
    set(rdm::pidDmxStartAddress, {0x04, 0x01}, 40);
    EXPECT_TRUE(sent.empty());
    for (const auto& [data, reason] : {std::pair{Bytes{0x04}, rdm::nackFormatError},
                                       {Bytes{0x00, 0x00}, rdm::nackDataOutOfRange},
                                       {Bytes{0x20, 0x01}, rdm::nackDataOutOfRange}}) {
        set(rdm::pidDmxStartAddress, data);
        EXPECT_EQ(lastNack(), reason);
    }
    EXPECT_EQ(universe.load(), 3);
    EXPECT_EQ(got(rdm::pidDmxStartAddress), "\x06\x01");
    EXPECT_TRUE(changes.empty());

    // address, universe, channel: the last channel of universe 15 is 8192.
    for (const auto& [address, u, c] : {std::tuple{10, 0, 10}, {1025, 2, 1}, {8192, 15, 512}}) {
        const int before = universe.load();
        set(rdm::pidDmxStartAddress, {static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address)});
        EXPECT_EQ(sent.back()[23], before) << "acknowledged from the universe the console sent to";
        const Bytes a = answer();
        ASSERT_EQ(a.size(), 25u); // 23 header bytes and the checksum: an empty acknowledgement
        EXPECT_EQ(std::pair(a[15], a[19]), std::pair(rdm::responseAck, rdm::setCommandResponse));
        EXPECT_EQ(universe.load(), u);
        EXPECT_EQ(changes.back(), std::pair(u, c));
        const std::string read = got(rdm::pidDmxStartAddress);
        EXPECT_EQ((std::uint8_t(read[0]) << 8) | std::uint8_t(read[1]), address);
    }
    EXPECT_TRUE(log.contains("ArtNetService: RDM SET DMX Address -> Universe 0, Channel 10"));
    // The operator moved the start channel: GET and DEVICE_INFO report it.
    universe = 2;
    responder.setStartChannel(10);
    EXPECT_EQ(got(rdm::pidDmxStartAddress), "\x04\x0A");
    EXPECT_EQ(got(rdm::pidDeviceInfo).substr(14, 2), "\x04\x0A");
}

TEST_F(RdmResponderTest, IdentifyAndLabelAreSetReadBackAndToldOnce)
{
    for (const auto& [data, reason] : {std::pair{Bytes{}, rdm::nackFormatError},
                                       {Bytes{1, 0}, rdm::nackFormatError},
                                       {Bytes{2}, rdm::nackDataOutOfRange}}) {
        set(rdm::pidIdentifyDevice, data);
        EXPECT_EQ(lastNack(), reason);
    }
    set(rdm::pidIdentifyDevice, {1});
    EXPECT_EQ(got(rdm::pidIdentifyDevice), std::string(1, '\x01'));
    EXPECT_TRUE(responder.identifying());
    set(rdm::pidIdentifyDevice, {0});
    EXPECT_EQ(got(rdm::pidIdentifyDevice), std::string(1, '\0'));
    EXPECT_EQ(identifies, (std::vector<bool>{true, false}));
    EXPECT_TRUE(log.contains("ArtNetService: RDM IDENTIFY ON"));
    EXPECT_TRUE(log.contains("ArtNetService: RDM IDENTIFY OFF"));

    // Sent, kept and read back; the log line shows "?" for a label it cannot print.
    for (const auto& [data, kept] : {std::pair{Bytes{'S', 't', 'a', 'g', 'e'}, "Stage"},
                                     {Bytes{'A', 0xE9}, "A?"},
                                     {Bytes{'A', '\n', 'B'}, "A?B"},
                                     {Bytes{'P', 'a', 'd', 0, 0, 0}, "Pad"},
                                     {Bytes(32, 'x'), "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"}}) {
        set(rdm::pidDeviceLabel, data);
        EXPECT_EQ(answer()[15], rdm::responseAck);
        EXPECT_EQ(got(rdm::pidDeviceLabel), kept);
    }
    set(rdm::pidDeviceLabel, Bytes(33, 'y'));
    EXPECT_EQ(lastNack(), rdm::nackFormatError);
    EXPECT_EQ(labels, (std::vector<std::string>{"Stage", "A?", "A?B", "Pad", std::string(32, 'x')}));
    EXPECT_TRUE(log.contains("ArtNetService: RDM SET Device Label: Stage"));
    EXPECT_EQ(log.count("ArtNetService: RDM SET Device Label: ?"), 2);
    // The label from the settings, made safe the same way.
    responder.setDeviceLabel("Left\tWing");
    EXPECT_EQ(got(rdm::pidDeviceLabel), "Left?Wing");
}
