// Protects the RDM responder: which requests are answered, the exact response bytes and
// checksum, and that a console's SET of the start address moves the node to another universe.
#include "net/ArtNetPacket.h"
#include "net/RdmMessage.h"
#include "net/RdmResponder.h"

#include "ArtNetTestSupport.h"
#include "support/TestSupport.h"

#include <arpa/inet.h>

using namespace orvelo;
using test::Bytes;
using test::consoleUID;
using test::rdmRequest;

namespace {

const rdm::RdmUID nodeUID{0x7F, 0xF0, 0x00, 0x00, 0x12, 0x34};

struct Sent {
    Bytes datagram;
    std::uint16_t port;
};

class RdmResponderTest : public ::testing::Test {
protected:
    RdmResponderTest()
        : responder(
              nodeUID, universe, subnet,
              [this](std::span<const std::uint8_t> d, const sockaddr_in& to) {
                  sent.push_back({Bytes(d.begin(), d.end()), ntohs(to.sin_port)});
              },
              [this](int u, int c) { changes.emplace_back(u, c); })
    {
        sender.sin_family = AF_INET;
        sender.sin_port = htons(40000);
        sender.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    }

    // The RDM message of the only answer, start code excluded.
    Bytes onlyAnswer() const
    {
        EXPECT_EQ(sent.size(), 1u);
        if (sent.empty())
            return {};
        return Bytes(sent[0].datagram.begin() + 24, sent[0].datagram.end());
    }

    std::atomic<int> universe{0};
    std::atomic<int> subnet{0};
    std::vector<Sent> sent;
    std::vector<std::pair<int, int>> changes;
    sockaddr_in sender{};
    RdmResponder responder;
    test::LogCapture log;
};

} // namespace

TEST(RdmMessage, UIDIsTheManufacturerAndTheProcessID)
{
    EXPECT_EQ(rdm::uidForProcess(4660), nodeUID);
    EXPECT_EQ(rdm::uidForProcess(0xA1B2C3D4), (rdm::RdmUID{0x7F, 0xF0, 0xA1, 0xB2, 0xC3, 0xD4}));
}

TEST(RdmMessage, ResponseIsExactAndItsChecksumCoversTheStartCode)
{
    const Bytes data{0x04, 0x01};
    const Bytes expected{
        0x01,                               // sub-start code
        0x1A,                               // message length 24 + 2
        0x01, 0x02, 0x03, 0x04, 0x05, 0x06, // destination: the console
        0x7F, 0xF0, 0x00, 0x00, 0x12, 0x34, // source: the node
        0x07,                               // transaction number
        0x00,                               // response type ACK
        0x00,                               // message count
        0x00, 0x00,                         // sub-device: root
        0x21,                               // GET response
        0x00, 0xF0,                         // DMX_START_ADDRESS
        0x02,                               // PDL
        0x04, 0x01,                         // address 1025
        0x03, 0xD0,                         // checksum 976 = 0xCC + every byte above
    };
    EXPECT_EQ(rdm::buildResponse(consoleUID, nodeUID, 0x07, rdm::getCommandResponse, rdm::RDM_DMX_START_ADDRESS, data),
              expected);
}

TEST_F(RdmResponderTest, GetDeviceInfoAnswers19BytesWithTheStartAddress)
{
    universe = 2;
    subnet = 1;
    responder.processRdm(rdmRequest(nodeUID, rdm::getCommand, rdm::RDM_DEVICE_INFO), sender);
    const Bytes answer = onlyAnswer();
    ASSERT_EQ(answer.size(), 24u + 19u + 1u);
    EXPECT_EQ(answer[1], 43);              // message length
    EXPECT_EQ(sent[0].datagram[23], 0x12); // ArtRdm address byte
    EXPECT_EQ(sent[0].port, 40000);
    EXPECT_EQ(answer[19], rdm::getCommandResponse);
    EXPECT_EQ(answer[22], 19); // PDL
    const Bytes info(answer.begin() + 23, answer.begin() + 42);
    EXPECT_EQ(info, (Bytes{0x01, 0x00,             // RDM protocol 1.0
                           0x00, 0x01,             // model
                           0x01, 0x01,             // category
                           0x00, 0x02, 0x01, 0x00, // software 2.1.0
                           0x00, 0x06,             // footprint
                           0x01, 0x01,             // personality 1 of 1
                           0x04, 0x01,             // start address 1025: universe 2
                           0x00, 0x00,             // sub-devices
                           0x00}));                // sensors
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"ArtNetService: RDM Command=GET PID=0x0060",
                                                     "ArtNetService: Sent RDM Response for PID=0x0060"}));
}

TEST_F(RdmResponderTest, GetAnswersTheFixedLabelsAndNothingElseIsAnsweredToAGet)
{
    responder.processRdm(rdmRequest(rdm::broadcastUID, rdm::getCommand, rdm::RDM_DEVICE_LABEL), sender);
    responder.processRdm(rdmRequest(nodeUID, rdm::getCommand, rdm::RDM_SOFTWARE_VERSION_LABEL), sender);
    responder.processRdm(rdmRequest(nodeUID, rdm::getCommand, rdm::RDM_IDENTIFY_DEVICE), sender);
    ASSERT_EQ(sent.size(), 3u);
    const auto data = [&](int i) {
        return std::string(sent[i].datagram.begin() + 24 + 23, sent[i].datagram.end() - 2);
    };
    EXPECT_EQ(data(0), "ORVELONODE V.2.0");
    EXPECT_EQ(data(1), "ORVELONODE V.2.1.0");
    EXPECT_EQ(data(2), std::string(1, '\0'));

    sent.clear();
    log.clear();
    const rdm::RdmUID other{0x7F, 0xF0, 0xFF, 0xFF, 0xFF, 0xFF};
    responder.processRdm(rdmRequest(other, rdm::getCommand, rdm::RDM_DEVICE_INFO), sender);
    EXPECT_TRUE(log.lines().empty()) << "another device's request";
    responder.processRdm(rdmRequest(nodeUID, 0x10, 0x0001), sender); // DISC_UNIQUE_BRANCH
    responder.processRdm(rdmRequest(nodeUID, rdm::getCommand, 0x0050), sender);
    responder.processRdm(rdmRequest(nodeUID, rdm::setCommand, rdm::RDM_DEVICE_INFO), sender);
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
    responder.processRdm(rdmRequest(nodeUID, rdm::setCommand, rdm::RDM_DMX_START_ADDRESS, {0x04}), sender);
    responder.processRdm(rdmRequest(nodeUID, rdm::setCommand, rdm::RDM_DMX_START_ADDRESS, {0x04, 0x01}, 40), sender);
    responder.processRdm(rdmRequest(nodeUID, rdm::setCommand, rdm::RDM_DEVICE_LABEL, {'A', 'B'}, 255), sender);
    EXPECT_TRUE(sent.empty());
    EXPECT_EQ(universe.load(), 3);

    responder.processRdm(rdmRequest(nodeUID, rdm::setCommand, rdm::RDM_DMX_START_ADDRESS, {0x04, 0x01}), sender);
    EXPECT_EQ(universe.load(), 2);
    EXPECT_EQ(changes, (std::vector<std::pair<int, int>>{{2, 1}}));
    EXPECT_TRUE(log.contains("ArtNetService: RDM SET DMX Address -> Universe 2, Channel 1"));
    const Bytes answer = onlyAnswer();
    ASSERT_EQ(answer.size(), 25u); // 23 header bytes and the checksum
    EXPECT_EQ(answer[19], rdm::setCommandResponse);
    EXPECT_EQ(answer[22], 0); // empty acknowledgement

    responder.processRdm(rdmRequest(nodeUID, rdm::setCommand, rdm::RDM_DMX_START_ADDRESS, {0x00, 0x01}), sender);
    EXPECT_EQ(universe.load(), 0);
    responder.processRdm(rdmRequest(nodeUID, rdm::setCommand, rdm::RDM_DMX_START_ADDRESS, {0x00, 0x00}), sender);
    EXPECT_TRUE(log.contains("ArtNetService: RDM SET DMX Address -> Universe 0, Channel 0"));
    responder.processRdm(rdmRequest(nodeUID, rdm::setCommand, rdm::RDM_DMX_START_ADDRESS, {0x02, 0x00}), sender);
    EXPECT_TRUE(log.contains("ArtNetService: RDM SET DMX Address -> Universe 0, Channel 512"));
    EXPECT_EQ(sent.size(), 4u);
}

TEST_F(RdmResponderTest, SetIdentifyAndLabelAreLoggedAndAcknowledged)
{
    responder.processRdm(rdmRequest(nodeUID, rdm::setCommand, rdm::RDM_IDENTIFY_DEVICE, {0x01}), sender);
    responder.processRdm(rdmRequest(nodeUID, rdm::setCommand, rdm::RDM_IDENTIFY_DEVICE, {}), sender);
    for (const Bytes& label : {Bytes{'S', 't', 'a', 'g', 'e'}, Bytes{'A', 0xE9}, Bytes{'A', '\n', 'B'}})
        responder.processRdm(rdmRequest(nodeUID, rdm::setCommand, rdm::RDM_DEVICE_LABEL, label), sender);
    EXPECT_EQ(sent.size(), 5u);
    EXPECT_TRUE(log.contains("ArtNetService: RDM IDENTIFY ON"));
    EXPECT_TRUE(log.contains("ArtNetService: RDM IDENTIFY OFF"));
    EXPECT_TRUE(log.contains("ArtNetService: RDM SET Device Label: Stage"));
    EXPECT_EQ(log.count("ArtNetService: RDM SET Device Label: ?"), 2);
}
