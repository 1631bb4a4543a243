// Protects the RDM responder: which requests are answered, the exact response bytes and
// checksum, and that a console's SET of the start address moves the node to another universe.
#include "net/ArtNetPacket.h"
#include "net/RdmMessage.h"
#include "net/RdmResponder.h"

#include "ArtNetTestSupport.h"
#include "support/TestSupport.h"

using namespace orvelo;
using test::Bytes;
using test::consoleUID;
using test::rdmRequest;

namespace {

const rdm::RdmUID nodeUID{0x7F, 0xF0, 0x00, 0x00, 0x12, 0x34};

class RdmResponderTest : public ::testing::Test {
protected:
    void request(const rdm::RdmUID& to, std::uint8_t commandClass, std::uint16_t pid, const Bytes& data = {},
                 std::optional<std::uint8_t> statedLength = std::nullopt)
    {
        responder.processRdm(rdmRequest(to, commandClass, pid, data, statedLength), test::ipv4(40000, 0));
    }
    void set(std::uint16_t pid, const Bytes& data = {}, std::optional<std::uint8_t> statedLength = std::nullopt)
    {
        request(nodeUID, rdm::setCommand, pid, data, statedLength);
    }
    // The RDM message of answer `i`, start code excluded.
    Bytes answer(std::size_t i = 0) const
    {
        return i < sent.size() ? Bytes(sent[i].begin() + artnet::artRdmHeaderSize, sent[i].end()) : Bytes{};
    }

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
    EXPECT_EQ(rdm::uidForProcess(4660), nodeUID);
    EXPECT_EQ(rdm::uidForProcess(0xA1B2C3D4), (rdm::RdmUID{0x7F, 0xF0, 0xA1, 0xB2, 0xC3, 0xD4}));
    // Sub-start code, length 24 + 2, destination, source, transaction, ACK, message count,
    // root sub-device, GET response, DMX_START_ADDRESS, PDL, address 1025, checksum 0xCC + all.
    const Bytes expected{0x01, 0x1A, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x7F, 0xF0, 0x00, 0x00, 0x12, 0x34,
                         0x07, 0x00, 0x00, 0x00, 0x00, 0x21, 0x00, 0xF0, 0x02, 0x04, 0x01, 0x03, 0xD0};
    EXPECT_EQ(rdm::buildResponse(consoleUID, nodeUID, 0x07, rdm::getCommandResponse, rdm::RDM_DMX_START_ADDRESS,
                                 Bytes{0x04, 0x01}),
              expected);
}

TEST_F(RdmResponderTest, GetDeviceInfoAnswers19BytesWithTheStartAddress)
{
    universe = 2;
    subnet = 1;
    request(nodeUID, rdm::getCommand, rdm::RDM_DEVICE_INFO);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0][23], 0x12); // ArtRdm address byte
    const Bytes a = answer();
    ASSERT_EQ(a.size(), 24u + 19u + 1u);
    EXPECT_EQ(a[1], 43); // message length
    EXPECT_EQ(a[19], rdm::getCommandResponse);
    EXPECT_EQ(a[22], 19); // PDL
    // RDM 1.0, model 1, category, software 2.1.0, footprint 6, personality 1 of 1, start
    // address 1025 (universe 2), no sub-devices, no sensors.
    EXPECT_EQ(Bytes(a.begin() + 23, a.begin() + 42), (Bytes{0x01, 0x00, 0x00, 0x01, 0x01, 0x01, 0x00, 0x02, 0x01, 0x00,
                                                            0x00, 0x06, 0x01, 0x01, 0x04, 0x01, 0x00, 0x00, 0x00}));
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"ArtNetService: RDM Command=GET PID=0x0060",
                                                     "ArtNetService: Sent RDM Response for PID=0x0060"}));
}

TEST_F(RdmResponderTest, GetAnswersTheFixedLabelsAndNothingElseIsAnsweredToAGet)
{
    request(rdm::broadcastUID, rdm::getCommand, rdm::RDM_DEVICE_LABEL);
    request(nodeUID, rdm::getCommand, rdm::RDM_SOFTWARE_VERSION_LABEL);
    request(nodeUID, rdm::getCommand, rdm::RDM_IDENTIFY_DEVICE);
    ASSERT_EQ(sent.size(), 3u);
    const auto data = [&](std::size_t i) { return std::string(sent[i].begin() + 24 + 23, sent[i].end() - 2); };
    EXPECT_EQ(data(0), "ORVELONODE V.2.0");
    EXPECT_EQ(data(1), "ORVELONODE V.2.1.0");
    EXPECT_EQ(data(2), std::string(1, '\0'));

    sent.clear();
    log.clear();
    request({0x7F, 0xF0, 0xFF, 0xFF, 0xFF, 0xFF}, rdm::getCommand, rdm::RDM_DEVICE_INFO);
    EXPECT_TRUE(log.lines().empty()) << "another device's request";
    request(nodeUID, 0x10, 0x0001); // DISC_UNIQUE_BRANCH
    request(nodeUID, rdm::getCommand, 0x0050);
    set(rdm::RDM_DEVICE_INFO);
    EXPECT_TRUE(sent.empty());
    EXPECT_EQ(log.lines(), (std::vector<std::string>{
                               "ArtNetService: RDM Command=SET PID=0x0001",
                               "ArtNetService: RDM Command=GET PID=0x0050",
                               "ArtNetService: Unknown RDM GET PID=0x0050",
                               "ArtNetService: RDM Command=SET PID=0x0060",
                               "ArtNetService: Unknown RDM SET PID=0x0060",
                           }));
}

TEST_F(RdmResponderTest, SetStartAddressMovesTheUniverseUnlessTheDataIsDamaged)
{
    universe = 3;
    // Too short, a stated length past the end of the datagram.
    set(rdm::RDM_DMX_START_ADDRESS, {0x04});
    set(rdm::RDM_DMX_START_ADDRESS, {0x04, 0x01}, 40);
    set(rdm::RDM_DEVICE_LABEL, {'A', 'B'}, 255);
    EXPECT_TRUE(sent.empty());
    EXPECT_EQ(universe.load(), 3);

    set(rdm::RDM_DMX_START_ADDRESS, {0x04, 0x01});
    EXPECT_EQ(universe.load(), 2);
    EXPECT_EQ(changes, (std::vector<std::pair<int, int>>{{2, 1}}));
    EXPECT_TRUE(log.contains("ArtNetService: RDM SET DMX Address -> Universe 2, Channel 1"));
    const Bytes a = answer();
    ASSERT_EQ(a.size(), 25u); // 23 header bytes and the checksum
    EXPECT_EQ(a[19], rdm::setCommandResponse);
    EXPECT_EQ(a[22], 0); // empty acknowledgement

    const struct {
        Bytes data;
        std::string line;
    } moves[] = {{{0x00, 0x01}, "Universe 0, Channel 1"},
                 {{0x00, 0x00}, "Universe 0, Channel 0"},
                 {{0x02, 0x00}, "Universe 0, Channel 512"}};
    for (const auto& [data, line] : moves) {
        universe = 5;
        set(rdm::RDM_DMX_START_ADDRESS, data);
        EXPECT_EQ(universe.load(), 0) << line;
        EXPECT_TRUE(log.contains("ArtNetService: RDM SET DMX Address -> " + line));
    }
    EXPECT_EQ(sent.size(), 4u);
}

TEST_F(RdmResponderTest, SetIdentifyAndLabelAreLoggedAndAcknowledged)
{
    set(rdm::RDM_IDENTIFY_DEVICE, {0x01});
    set(rdm::RDM_IDENTIFY_DEVICE);
    for (const Bytes& label : {Bytes{'S', 't', 'a', 'g', 'e'}, Bytes{'A', 0xE9}, Bytes{'A', '\n', 'B'}})
        set(rdm::RDM_DEVICE_LABEL, label);
    EXPECT_EQ(sent.size(), 5u);
    EXPECT_TRUE(log.contains("ArtNetService: RDM IDENTIFY ON"));
    EXPECT_TRUE(log.contains("ArtNetService: RDM IDENTIFY OFF"));
    EXPECT_TRUE(log.contains("ArtNetService: RDM SET Device Label: Stage"));
    EXPECT_EQ(log.count("ArtNetService: RDM SET Device Label: ?"), 2);
}
