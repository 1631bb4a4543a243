// Protects the choice of DMX input and timecode output: which services are stopped and started
// on a switch, where timecode goes, and that the CITP switch acts on every assignment.
#include "net/ProtocolManager.h"
#include "net/SACNService.h"

#include "support/TestSupport.h"

using namespace orvelo;

namespace {

using Journal = std::vector<std::string>;

// Records every call in a journal shared by all fakes, so the order across services shows; CITP's
// fake is one of these too.
class FakeService : public DMXProtocolService, public ListeningService {
public:
    FakeService(std::string name, Journal& journal) : name_(std::move(name)), journal_(journal) {}

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
    void sendTimecode(std::uint8_t, std::uint8_t, std::uint8_t, std::uint8_t f, std::uint8_t) override
    {
        journal_.push_back(name_ + " timecode " + std::to_string(f));
    }

private:
    std::string name_;
    Journal& journal_;
};

struct Services {
    Journal journal;
    FakeService artNet{"Art-Net", journal};
    FakeService sacn{"sACN", journal};
    FakeService citp{"CITP", journal};
    // Everything the services were told so far, forgotten once read.
    Journal told() { return std::exchange(journal, {}); }
};

} // namespace

TEST(ProtocolManager, InputSwitchRestartsServicesAndTimecodeGoesToTheOutputAlone)
{
    Services s;
    ProtocolManager manager(s.artNet, s.sacn, s.citp);
    EXPECT_EQ(manager.activeOutputService(), &s.artNet);
    EXPECT_EQ(s.told(), (Journal{"Art-Net start"})) << "Art-Net in and out from the start";
    std::vector<DMXProtocolService*> inputs;
    std::vector<DMXProtocolService*> outputs;
    QObject::connect(&manager, &ProtocolManager::activeInputServiceChanged,
                     [&](DMXProtocolService* service) { inputs.push_back(service); });
    QObject::connect(&manager, &ProtocolManager::activeOutputServiceChanged,
                     [&](DMXProtocolService* service) { outputs.push_back(service); });

    manager.setInputProtocol(DMXProtocolType::sACN);
    EXPECT_EQ(manager.property("inputProtocol").value<DMXProtocolType>(), DMXProtocolType::sACN);
    EXPECT_TRUE(s.told().empty()) << "a choice alone changes no service";
    manager.updateServices();
    EXPECT_EQ(s.told(), (Journal{"Art-Net stop", "sACN start"}));
    EXPECT_EQ(inputs, std::vector<DMXProtocolService*>{&s.sacn});
    EXPECT_TRUE(s.sacn.isListening());
    manager.activeOutputService()->sendTimecode(1, 2, 3, 4, 1);
    EXPECT_EQ(s.told(), (Journal{"Art-Net timecode 4"})) << "Art-Net sends even while not listening";

    manager.setOutputProtocol(DMXProtocolType::sACN);
    manager.updateServices();
    EXPECT_EQ(s.told(), (Journal{"sACN stop", "sACN start"})) << "the same input again restarts it";
    EXPECT_EQ(outputs.back(), &s.sacn);
    manager.activeOutputService()->sendTimecode(0, 0, 10, 24, 1);
    EXPECT_EQ(s.told(), (Journal{"sACN timecode 24"})) << "the output is never started or stopped";

    // The choices are stored; the real sACN service as the output only logs and opens no receiver.
    manager.setInputProtocol(DMXProtocolType::artNet);
    SACNService sacn;
    ProtocolManager real(s.artNet, sacn, s.citp);
    ASSERT_EQ(real.activeOutputService(), &sacn);
    ASSERT_EQ(real.activeInputService(), &s.artNet);
    test::LogCapture log;
    real.activeOutputService()->sendTimecode(1, 2, 3, 4, 1);
    EXPECT_EQ(log.lines(),
              std::vector<std::string>{"sACN Timecode sending not implemented (Use Art-Net for Timecode)"});
    EXPECT_EQ(test::threadsNamed("sACNReceiver"), 0);
}

TEST(ProtocolManager, CITPSwitchActsOnEveryAssignment)
{
    Services s;
    ProtocolManager manager(s.artNet, s.sacn, s.citp);
    int changes = 0;
    QObject::connect(&manager, &ProtocolManager::isCITPEnabledChanged, [&] { ++changes; });
    s.told();
    for (const bool enabled : {true, true, false})
        manager.setCITPEnabled(enabled);
    EXPECT_FALSE(manager.isCITPEnabled());
    EXPECT_EQ(s.told(), (Journal{"CITP start", "CITP start", "CITP stop"}));
    EXPECT_EQ(changes, 3);
    EXPECT_EQ(manager.activeInputService(), &s.artNet) << "CITP is no DMX input";
}
