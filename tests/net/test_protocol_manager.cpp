// Protects the choice of DMX input and timecode output: which services are stopped and started
// on a switch, where timecode goes, and that the CITP switch acts on every assignment.
#include "net/DMXProtocolType.h"
#include "net/ProtocolManager.h"
#include "net/SACNService.h"

#include "support/TestSupport.h"

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
    // Everything the services were told so far, forgotten once read.
    Journal told() { return std::exchange(journal, {}); }
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
    EXPECT_EQ(s.told(), (Journal{"Art-Net start"})) << "Art-Net in and out from the start";
    std::vector<DMXProtocolService*> inputs;
    int choices = 0;
    QObject::connect(&manager, &ProtocolManager::activeInputServiceChanged,
                     [&](DMXProtocolService* service) { inputs.push_back(service); });
    QObject::connect(&manager, &ProtocolManager::inputProtocolChanged, [&] { ++choices; });

    manager.setInputProtocol(DMXProtocolType::sACN);
    manager.setInputProtocol(DMXProtocolType::sACN);
    EXPECT_EQ(choices, 2) << "every assignment is published";
    EXPECT_EQ(manager.property("inputProtocol").value<DMXProtocolType>(), DMXProtocolType::sACN);
    EXPECT_TRUE(s.told().empty()) << "a choice alone changes no service";
    EXPECT_EQ(manager.activeInputService(), &s.artNet);

    manager.updateServices();
    EXPECT_EQ(s.told(), (Journal{"Art-Net stop", "sACN start"}));
    EXPECT_EQ(inputs, std::vector<DMXProtocolService*>{&s.sacn});
    EXPECT_FALSE(s.artNet.isListening());
    EXPECT_TRUE(s.sacn.isListening());
    EXPECT_EQ(manager.activeOutputService(), &s.artNet) << "the output follows its own choice";

    manager.updateServices();
    EXPECT_EQ(s.told(), (Journal{"sACN stop", "sACN start"})) << "the same input again restarts it";
    EXPECT_EQ(inputs.size(), 2u) << "every assignment is published";

    manager.setInputProtocol(DMXProtocolType::artNet);
    manager.updateServices();
    EXPECT_EQ(s.told(), (Journal{"sACN stop", "Art-Net start"}));
}

TEST(ProtocolManager, TimecodeGoesToTheChosenOutputWhichIsNeverStartedOrStopped)
{
    Services s;
    ProtocolManager manager(s.artNet, s.sacn, s.citp);
    manager.setInputProtocol(DMXProtocolType::sACN);
    manager.updateServices();
    s.told();
    manager.activeOutputService()->sendTimecode(1, 2, 3, 4, 1);
    EXPECT_EQ(s.told(), (Journal{"Art-Net timecode 1:2:3:4/1"})) << "Art-Net sends even while not listening";

    std::vector<DMXProtocolService*> outputs;
    QObject::connect(&manager, &ProtocolManager::activeOutputServiceChanged,
                     [&](DMXProtocolService* service) { outputs.push_back(service); });
    manager.setOutputProtocol(DMXProtocolType::sACN);
    manager.updateServices();
    EXPECT_EQ(outputs, std::vector<DMXProtocolService*>{&s.sacn});
    s.told();
    manager.activeOutputService()->sendTimecode(0, 0, 10, 24, 1);
    EXPECT_EQ(s.told(), (Journal{"sACN timecode 0:0:10:24/1"}));

    // The real sACN service as the output only logs; being the output does not open its receiver.
    manager.setInputProtocol(DMXProtocolType::artNet);
    SACNService sacn;
    ProtocolManager real(s.artNet, sacn, s.citp);
    ASSERT_EQ(real.activeOutputService(), &sacn) << "the stored choices";
    ASSERT_EQ(real.activeInputService(), &s.artNet);
    test::LogCapture log;
    for (std::uint8_t frame : {4, 5})
        sacn.sendTimecode(1, 2, 3, frame, 1);
    const std::string line = "sACN Timecode sending not implemented (Use Art-Net for Timecode)";
    EXPECT_EQ(log.lines(), (std::vector<std::string>{line, line}));
    EXPECT_EQ(test::threadsNamed("sACNReceiver"), 0);
}

TEST(ProtocolManager, CITPSwitchActsOnEveryAssignment)
{
    Services s;
    ProtocolManager manager(s.artNet, s.sacn, s.citp);
    int changes = 0;
    QObject::connect(&manager, &ProtocolManager::isCITPEnabledChanged, [&] { ++changes; });
    s.told();
    for (const bool enabled : {true, true, false}) {
        manager.setCITPEnabled(enabled);
        EXPECT_EQ(manager.isCITPEnabled(), enabled);
    }
    EXPECT_EQ(s.told(), (Journal{"CITP start", "CITP start", "CITP stop"}));
    EXPECT_EQ(changes, 3);
    EXPECT_EQ(manager.activeInputService(), &s.artNet) << "CITP is no DMX input";
}
