// Protects the RDM responder: which requests are answered, the exact response bytes and
// checksum, and that a console's SET of the start address moves the node to another universe.
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
    std::vector<std::pair<int, int>> changes;
    const RdmResponder responder{nodeUID, universe, subnet,
                                 [this](std::span<const std::uint8_t> d, const sockaddr_in& to) {
                                     EXPECT_EQ(ntohs(to.sin_port), 40000) << "answered to the sender";
                                     sent.emplace_back(d.begin(), d.end());
                                 },
                                 [this](int u, int c) { changes.emplace_back(u, c); }};
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
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"ArtNetService: RDM Command=GET PID=0x0060",
                                                     "ArtNetService: Sent RDM Response for PID=0x0060"}));

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

    log.clear();
    request({0x7F, 0xF0, 0xFF, 0xFF, 0xFF, 0xFF}, rdm::getCommand, rdm::pidDeviceInfo); // another device's
    request(nodeUID, 0x10, 0x0001);                                                     // DISC_UNIQUE_BRANCH
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
    EXPECT_EQ(log.lines(), (std::vector<std::string>{
                               "ArtNetService: RDM Command=SET PID=0x0001",
                               "ArtNetService: RDM Command=GET PID=0x0051",
                               "ArtNetService: Unknown RDM GET PID=0x0051",
                               "ArtNetService: Sent RDM Response for PID=0x0051",
                               "ArtNetService: RDM Command=SET PID=0x0060",
                               "ArtNetService: Sent RDM Response for PID=0x0060",
                               "ArtNetService: RDM Command=SET PID=0x1234",
                               "ArtNetService: Unknown RDM SET PID=0x1234",
                               "ArtNetService: Sent RDM Response for PID=0x1234",
                           }));
}

TEST_F(RdmResponderTest, SetsAreAcknowledgedAndTheStartAddressMovesTheUniverseUnlessTheDataIsDamaged)
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
        EXPECT_EQ(answer()[15], rdm::responseNack);
        EXPECT_EQ(answer()[24], reason);
    }
    EXPECT_EQ(universe.load(), 3);
    EXPECT_TRUE(changes.empty());
    sent.clear();

    set(rdm::pidDmxStartAddress, {0x04, 0x01});
    EXPECT_EQ(universe.load(), 2);
    EXPECT_EQ(changes, (std::vector<std::pair<int, int>>{{2, 1}}));
    EXPECT_TRUE(log.contains("ArtNetService: RDM SET DMX Address -> Universe 2, Channel 1"));
    const Bytes a = answer();
    ASSERT_EQ(a.size(), 25u); // 23 header bytes and the checksum: an empty acknowledgement
    EXPECT_EQ(a[19], rdm::setCommandResponse);
    set(rdm::pidDmxStartAddress, {0x20, 0x00}); // 8192: the last channel of universe 15
    EXPECT_EQ(universe.load(), 15);
    EXPECT_EQ(answer()[15], rdm::responseAck);

    set(rdm::pidIdentifyDevice, {0x01});
    set(rdm::pidIdentifyDevice);
    for (const Bytes& label : {Bytes{'S', 't', 'a', 'g', 'e'}, Bytes{'A', 0xE9}, Bytes{'A', '\n', 'B'}})
        set(rdm::pidDeviceLabel, label);
    EXPECT_EQ(sent.size(), 7u);
    EXPECT_TRUE(log.contains("ArtNetService: RDM IDENTIFY ON"));
    EXPECT_TRUE(log.contains("ArtNetService: RDM IDENTIFY OFF"));
    EXPECT_TRUE(log.contains("ArtNetService: RDM SET Device Label: Stage"));
    EXPECT_EQ(log.count("ArtNetService: RDM SET Device Label: ?"), 2);
}
