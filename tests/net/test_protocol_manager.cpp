// Protects the choice of DMX input and timecode output: which services are stopped and started
// on a switch, where timecode goes, and that the CITP switch acts on every assignment.
#include "net/DMXProtocolType.h"
#include "net/ProtocolManager.h"
#include "net/SACNService.h"

#include "support/TestSupport.h"

#include <string>
#include <vector>

using namespace orvelo;

namespace {

using Journal = std::vector<std::string>;

// Records every call in a journal shared by all fakes, so the order across services shows.
class FakeDMXService : public DMXProtocolService {
public:
    FakeDMXService(std::string name, Journal& journal) : name_(std::move(name)), journal_(journal) {}

    QString name() const override { return QString::fromStdString(name_); }
    void startListening() override
    {
        journal_.push_back(name_ + " start");
        setListening(true);
    }
    void stopListening() override
    {
        journal_.push_back(name_ + " stop");
        setListening(false);
    }
    void sendTimecode(std::uint8_t h, std::uint8_t m, std::uint8_t s, std::uint8_t f, std::uint8_t type) override
    {
        journal_.push_back(name_ + " timecode " + std::to_string(h) + ":" + std::to_string(m) + ":" +
                           std::to_string(s) + ":" + std::to_string(f) + "/" + std::to_string(type));
    }

private:
    std::string name_;
    Journal& journal_;
};

class FakeCITP : public ListeningService {
public:
    explicit FakeCITP(Journal& journal) : journal_(journal) {}
    void startListening() override { journal_.push_back("CITP start"); }
    void stopListening() override { journal_.push_back("CITP stop"); }

private:
    Journal& journal_;
};

struct Services {
    Journal journal;
    FakeDMXService artNet{"Art-Net", journal};
    FakeDMXService sacn{"sACN", journal};
    FakeCITP citp{journal};
};

} // namespace

TEST(DMXProtocolType, StoredNamesReadBackExactly)
{
    for (const DMXProtocolType type : allDMXProtocolTypes)
        EXPECT_EQ(dmxProtocolTypeFromRawValue(rawValue(type)), type);
    EXPECT_EQ(rawValue(DMXProtocolType::artNet), "Art-Net");
    EXPECT_FALSE(dmxProtocolTypeFromRawValue("sacn"));
    EXPECT_FALSE(dmxProtocolTypeFromRawValue(""));
}

TEST(ProtocolManager, InputSwitchStopsTheOldServiceAndStartsTheNew)
{
    Services s;
    ProtocolManager manager(s.artNet, s.sacn, s.citp);
    EXPECT_EQ(manager.activeInputService(), &s.artNet);
    EXPECT_EQ(manager.activeOutputService(), &s.artNet);
    EXPECT_FALSE(manager.isCITPEnabled());
    EXPECT_EQ(s.journal, (Journal{"Art-Net start"})) << "Art-Net in and out from the start";
    std::vector<DMXProtocolService*> inputs;
    int choices = 0;
    QObject::connect(&manager, &ProtocolManager::activeInputServiceChanged,
                     [&](DMXProtocolService* service) { inputs.push_back(service); });
    QObject::connect(&manager, &ProtocolManager::inputProtocolChanged, [&] { ++choices; });
    s.journal.clear();

    manager.setInputProtocol(DMXProtocolType::sACN);
    manager.setInputProtocol(DMXProtocolType::sACN);
    EXPECT_EQ(choices, 2) << "every assignment is published";
    EXPECT_EQ(manager.property("inputProtocol").value<DMXProtocolType>(), DMXProtocolType::sACN);
    EXPECT_TRUE(s.journal.empty()) << "a choice alone changes no service";
    EXPECT_EQ(manager.activeInputService(), &s.artNet);

    manager.updateServices();
    EXPECT_EQ(s.journal, (Journal{"Art-Net stop", "sACN start"}));
    EXPECT_EQ(inputs, std::vector<DMXProtocolService*>{&s.sacn});
    EXPECT_FALSE(s.artNet.isListening());
    EXPECT_TRUE(s.sacn.isListening());
    EXPECT_EQ(manager.activeOutputService(), &s.artNet) << "the output follows its own choice";

    s.journal.clear();
    manager.updateServices();
    EXPECT_EQ(s.journal, (Journal{"sACN stop", "sACN start"})) << "the same input again restarts it";
    EXPECT_EQ(inputs.size(), 2u) << "every assignment is published";

    s.journal.clear();
    manager.setInputProtocol(DMXProtocolType::artNet);
    manager.updateServices();
    EXPECT_EQ(s.journal, (Journal{"sACN stop", "Art-Net start"}));
}

TEST(ProtocolManager, TimecodeGoesToTheChosenOutputWhichIsNeverStartedOrStopped)
{
    Services s;
    ProtocolManager manager(s.artNet, s.sacn, s.citp);
    manager.setInputProtocol(DMXProtocolType::sACN);
    manager.updateServices();
    s.journal.clear();
    manager.activeOutputService()->sendTimecode(1, 2, 3, 4, 1);
    EXPECT_EQ(s.journal, (Journal{"Art-Net timecode 1:2:3:4/1"})) << "Art-Net sends even while not listening";

    std::vector<DMXProtocolService*> outputs;
    QObject::connect(&manager, &ProtocolManager::activeOutputServiceChanged,
                     [&](DMXProtocolService* service) { outputs.push_back(service); });
    manager.setOutputProtocol(DMXProtocolType::sACN);
    manager.updateServices();
    EXPECT_EQ(outputs, std::vector<DMXProtocolService*>{&s.sacn});
    s.journal.clear();
    manager.activeOutputService()->sendTimecode(0, 0, 10, 24, 1);
    EXPECT_EQ(s.journal, (Journal{"sACN timecode 0:0:10:24/1"}));
}

TEST(ProtocolManager, TimecodeToTheSACNReceiverOnlyLogs)
{
    Journal journal;
    FakeDMXService artNet("Art-Net", journal);
    FakeCITP citp(journal);
    SACNService sacn;
    ProtocolManager manager(artNet, sacn, citp);
    manager.setOutputProtocol(DMXProtocolType::sACN);
    manager.updateServices();
    ASSERT_EQ(manager.activeOutputService(), &sacn);

    test::LogCapture log;
    manager.activeOutputService()->sendTimecode(1, 2, 3, 4, 1);
    manager.activeOutputService()->sendTimecode(1, 2, 3, 5, 1);
    const std::string line = "sACN Timecode sending not implemented (Use Art-Net for Timecode)";
    EXPECT_EQ(log.lines(), (std::vector<std::string>{line, line}));
    EXPECT_EQ(test::threadsNamed("sACNReceiver"), 0) << "being the output does not open the receiver";
}

TEST(ProtocolManager, CITPSwitchActsOnEveryAssignment)
{
    Services s;
    ProtocolManager manager(s.artNet, s.sacn, s.citp);
    int changes = 0;
    QObject::connect(&manager, &ProtocolManager::isCITPEnabledChanged, [&] { ++changes; });
    s.journal.clear();

    manager.setCITPEnabled(true);
    manager.setCITPEnabled(true);
    EXPECT_TRUE(manager.isCITPEnabled());
    manager.setCITPEnabled(false);
    EXPECT_FALSE(manager.isCITPEnabled());
    EXPECT_EQ(s.journal, (Journal{"CITP start", "CITP start", "CITP stop"}));
    EXPECT_EQ(changes, 3);
    EXPECT_EQ(manager.activeInputService(), &s.artNet) << "CITP is no DMX input";
}
