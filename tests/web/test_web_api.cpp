// Protects the remote's JSON API behind the sockets: the documents it shows, what each POST
// body changes in the player, and the fixture downloads and their page.
#include "WebTestSupport.h"

#include "support/TestSupport.h"
#include "web/SettingsValidator.h"
#include "web/WebActions.h"
#include "web/WebDocuments.h"
#include "web/WebJson.h"
#include "web/WebPages.h"
#include "web/WebResources.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace orvelo;
using namespace std::chrono_literals;
using test::ServiceRig;

namespace {

QJsonObject object(const char* json)
{
    return QJsonDocument::fromJson(json).object();
}

std::string compact(const QJsonObject& o)
{
    return webjson::compactText(QJsonDocument(o)).value_or("<unwritable>");
}

} // namespace

TEST(WebDocuments, StatusFollowsTheControllerAndNeedsTheEngine)
{
    ServiceRig rig;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    rig.sacn.setLastPacketTime(now.addMSecs(-1500)); // too long ago; Art-Net never received
    WebServices services = rig.services();
    EXPECT_EQ(
        compact(WebDocuments::status(services, now).value_or(QJsonObject())),
        R"({"artNetReceiving":false,"currentId":"","currentTime":0,"dmxChannel":1,"dmxValue":0,"duration":0,"error":"",)"
        R"("frameRate":25,"ignoreDMX":false,"inputNote":"","isListening":true,"isPlaying":false,"playlistRevision":1,)"
        R"("remainingTime":0,"sacnReceiving":false,"state":"stopped","trackName":"No Track"})");

    DMXConfig config;
    config.startChannel = 100;
    config.frameRate = TimecodeFrameRate::fps30;
    rig.controller->setDmxConfig(config);
    rig.controller->setIgnoreDMX(true);
    rig.controller->handleDMXInput(std::vector<std::uint8_t>(512, 0));
    rig.artNet.stopListening();
    rig.artNet.setLastPacketTime(now.addMSecs(-500));
    EXPECT_EQ(
        compact(WebDocuments::status(services, now).value_or(QJsonObject())),
        R"({"artNetReceiving":true,"currentId":"","currentTime":0,"dmxChannel":100,"dmxValue":0,"duration":0,"error":"",)"
        R"("frameRate":30,"ignoreDMX":true,"inputNote":"","isListening":false,"isPlaying":false,"playlistRevision":1,)"
        R"("remainingTime":0,"sacnReceiving":false,"state":"stopped","trackName":"No Track"})");

    rig.controller.reset();
    EXPECT_EQ(
        compact(WebDocuments::status(services, now).value_or(QJsonObject())),
        R"({"artNetReceiving":true,"currentId":"","currentTime":0,"dmxChannel":1,"dmxValue":0,"duration":0,"error":"",)"
        R"("frameRate":25,"ignoreDMX":false,"inputNote":"","isListening":false,"isPlaying":false,"playlistRevision":0,)"
        R"("remainingTime":0,"sacnReceiving":false,"state":"stopped","trackName":"No Track"})");
    rig.engine.reset();
    EXPECT_FALSE(WebDocuments::status(services, now));
}

TEST(WebDocuments, SettingsShowEveryService)
{
    ServiceRig rig;
    WebServices services = rig.services();
    QJsonObject settings = WebDocuments::settings(services);
    EXPECT_EQ(compact(settings["theme"].toObject()["available"].toArray()[0].toObject()),
              R"({"id":"onyx_dark","name":"Onyx Dark"})");
    settings.remove("theme");
    settings.remove("library"); // its folder is the run's own
    QJsonObject web = settings.take("web").toObject();
    EXPECT_TRUE(web.take("interfaces").isArray()); // the machine's own
    EXPECT_EQ(compact(web), R"({"hostNames":[],"interface":"","sessionIdleHours":12,"transportMinInterval":0.5})");
    EXPECT_EQ(settings.keys(), (QStringList{"defaultVideo", "dmx", "ndi", "network", "playback", "protocol"}));
    EXPECT_EQ(compact(settings["dmx"].toObject()),
              R"J({"channel":1,"mode":"Standard (1 Ch)","net":0,"startChannel":1,"subnet":0,"universe":0})J");

    rig.ndi->broadcasting = true;
    rig.ndi->fps = 50;
    rig.ndi->scale = 3;
    rig.themes->setTheme("midnight");
    rig.settings.setDefaultVideoURL(QUrl::fromLocalFile("/shows/loops/Blue Haze.mov"));
    settings = WebDocuments::settings(services);
    EXPECT_EQ(compact(settings["ndi"].toObject()), R"({"enabled":true,"fps":50,"scale":3})");
    EXPECT_EQ(settings["theme"].toObject()["current"].toString(), "midnight");
    EXPECT_EQ(compact(settings["defaultVideo"].toObject()), R"({"hasVideo":true,"url":"Blue Haze.mov"})");

    // Gone services show their defaults.
    rig.ndi.reset();
    rig.themes.reset();
    rig.protocols.reset();
    rig.controller.reset();
    settings = WebDocuments::settings(services);
    EXPECT_EQ(compact(settings["ndi"].toObject()), R"({"enabled":false,"fps":25,"scale":1})");
    EXPECT_EQ(settings["theme"].toObject()["current"].toString(), "onyx_dark");
    EXPECT_EQ(settings["protocol"].toObject()["input"].toString(), "Art-Net");
    EXPECT_EQ(settings["dmx"].toObject()["startChannel"].toInt(), 1);
    rig.settings.setDefaultVideoURL(std::nullopt);
}

namespace {

class WebSettingsTest : public ::testing::Test {
protected:
    void apply(const char* json, QObject* context = nullptr)
    {
        WebActions::applySettings(rig.services(), object(json), context ? context : rig.engine.get());
    }
    const DMXConfig& dmx() const { return rig.controller->dmxConfig(); }

    ServiceRig rig;
};

} // namespace

TEST_F(WebSettingsTest, DmxGroupTakesOnlyIntegersAndKnownModes)
{
    // "channel" wins over "startChannel"; a value of the wrong JSON type is ignored.
    for (const auto& [json, start] :
         std::vector<std::pair<const char*, int>>{{R"({"dmx":{"startChannel":5,"channel":9}})", 5},
                                                  {R"({"dmx":{"channel":9}})", 9},
                                                  {R"({"dmx":{"startChannel":"7","channel":11}})", 11}}) {
        apply(json);
        EXPECT_EQ(dmx().startChannel, start) << json;
    }

    int changes = 0;
    QObject::connect(rig.controller.get(), &DMXController::dmxConfigChanged, [&] { ++changes; });
    apply(R"J({"dmx":{"universe":2,"subnet":"3","net":4,"mode":"Extended (18 Ch)"}})J");
    EXPECT_EQ(changes, 3);
    EXPECT_EQ(dmx().universe, 2);
    EXPECT_EQ(dmx().subnet, 0);
    EXPECT_EQ(dmx().net, 4);
    EXPECT_EQ(dmx().mode, DMXMode::extended);
    apply(R"J({"dmx":{"mode":"extended (18 ch)"}})J");
    EXPECT_EQ(dmx().mode, DMXMode::extended);
    apply(R"({"dmx":[1,2]})");
    EXPECT_EQ(dmx().universe, 2);
}

TEST_F(WebSettingsTest, PlaybackGroup)
{
    apply(R"({"playback":{"ignoreDMX":true,"autoPlayNext":true,"frameRate":30}})");
    EXPECT_TRUE(rig.controller->ignoreDMX());
    EXPECT_TRUE(rig.controller->autoPlayNext());
    EXPECT_EQ(dmx().frameRate, TimecodeFrameRate::fps30);
    apply(R"({"playback":{"ignoreDMX":1,"frameRate":29.97}})");
    EXPECT_TRUE(rig.controller->ignoreDMX());
    EXPECT_EQ(dmx().frameRate, TimecodeFrameRate::fps30);
    apply(R"({"playback":{"frameRate":24.0}})");
    EXPECT_EQ(dmx().frameRate, TimecodeFrameRate::fps24);

    ASSERT_TRUE(rig.artNet.isListening());
    apply(R"({"playback":{"isListening":false}})");
    EXPECT_FALSE(rig.artNet.isListening());
    apply(R"({"playback":{"isListening":true}})");
    EXPECT_TRUE(rig.artNet.isListening());
}

TEST_F(WebSettingsTest, NdiGroupStartsAndStopsOnlyOnChange)
{
    apply(R"({"ndi":{"enabled":true,"fps":50,"scale":3}})");
    apply(R"({"ndi":{"enabled":true}})");
    apply(R"({"ndi":{"fps":29.97,"scale":5}})");
    apply(R"({"ndi":{"fps":"60","scale":2.5}})");
    EXPECT_EQ(rig.ndi->calls, std::vector<std::string>{"start"});
    EXPECT_EQ(rig.ndi->fps, 50);
    EXPECT_EQ(rig.ndi->scale, 3);
    apply(R"({"ndi":{"enabled":false}})");
    apply(R"({"ndi":{"enabled":false}})");
    EXPECT_EQ(rig.ndi->calls, (std::vector<std::string>{"start", "stop"}));

    rig.ndi.reset();
    apply(R"({"ndi":{"enabled":true}})"); // no NDI service: nothing to do
}

TEST_F(WebSettingsTest, ProtocolGroupSwitchesAtTheEnd)
{
    apply(R"({"protocol":{"input":"sACN","output":"sacn","citpEnabled":true}})");
    EXPECT_EQ(rig.protocols->inputProtocol(), DMXProtocolType::sACN);
    EXPECT_EQ(rig.protocols->outputProtocol(), DMXProtocolType::artNet);
    EXPECT_EQ(rig.protocols->activeInputService(), &rig.sacn);
    EXPECT_TRUE(rig.sacn.isListening());
    EXPECT_FALSE(rig.artNet.isListening());
    EXPECT_EQ(rig.citp.starts, 1);

    // Saving the same choices again restarts nothing: no gap in the console's DMX.
    const int sacnStarts = rig.sacn.starts;
    apply(R"({"protocol":{}})");
    apply(R"({"protocol":{"input":"sACN","output":"Art-Net","citpEnabled":true}})");
    EXPECT_EQ(rig.sacn.starts, sacnStarts);
    EXPECT_EQ(rig.citp.starts, 1);
}

TEST_F(WebSettingsTest, NetworkThemeAndDefaultVideo)
{
    QObject context;
    apply(R"({"network":{"interfaceIP":"10.254.0.2","interfaceBroadcast":""},)"
          R"("theme":{"current":"daylight"},"defaultVideo":{"clear":true}})",
          &context);
    EXPECT_EQ(rig.settings.selectedInterfaceIP(), QStringLiteral("10.254.0.2"));
    EXPECT_EQ(rig.settings.selectedInterfaceBroadcast(), QString());

    rig.settings.setDefaultVideoURL(QUrl::fromLocalFile("/shows/loop.mov"));
    // The theme and the clearing are queued once more, behind what is already waiting.
    EXPECT_EQ(rig.themes->currentTheme().id, "onyx_dark");
    EXPECT_TRUE(test::waitUntil([&] { return rig.themes->currentTheme().id == "daylight"; }));
    EXPECT_TRUE(test::waitUntil([&] { return !rig.settings.defaultVideoURL(); }));

    apply(R"({"theme":{"current":"Midnight"}})", &context);
    test::spinFor(50ms);
    EXPECT_EQ(rig.themes->currentTheme().id, "daylight");
    rig.settings.setSelectedInterfaceIP(std::nullopt);
    rig.settings.setSelectedInterfaceBroadcast(std::nullopt);
}

TEST(WebActions, EffectsAreWrittenUnclampedAndResetWins)
{
    ServiceRig rig;
    WebServices services = rig.services();
    WebActions::applyEffectsSettings(
        services,
        object(
            R"({"pattern":{"selected":"Spectrum Bars","speed":2.5,"size":40,"gap":3,"autoRotate":true,)"
            R"("rotateInterval":4,"audioReactive":false},)"
            R"("video":{"playbackSpeed":1.5,"brightness":-0.3,"saturation":7,"alpha":0.1,"inverted":true},)"
            R"("rgb":{"redEnabled":false,"greenTimeShift":4,"blueTimeShift":2.5,"redHOffset":-12.5,"blueVOffset":3}})"));
    // Read back through the document, which comes from the settings and the effects manager.
    const QJsonObject document = WebDocuments::effects(services);
    QJsonObject pattern = document["pattern"].toObject();
    pattern.remove("available");
    EXPECT_EQ(compact(pattern), R"({"audioReactive":false,"autoRotate":true,"gap":3,"rotateInterval":4,)"
                                R"("selected":"Spectrum Bars","size":40,"speed":2.5})");
    EXPECT_EQ(compact(document["video"].toObject()),
              R"({"alpha":0.1,"brightness":-0.3,"inverted":true,"playbackSpeed":1.5,"saturation":7})");
    EXPECT_EQ(compact(document["rgb"].toObject()),
              R"({"blueEnabled":true,"blueHOffset":0,"blueTimeShift":0,"blueVOffset":3,"greenEnabled":true,)"
              R"("greenHOffset":0,"greenTimeShift":4,"greenVOffset":0,"redEnabled":false,"redHOffset":-12.5,)"
              R"("redTimeShift":0,"redVOffset":0})");

    WebActions::applyEffectsSettings(services, object(R"({"pattern":{"selected":"Laser Show"}})"));
    EXPECT_EQ(rig.settings.selectedPattern(), AudioVisualPattern::spectrumBars);

    WebActions::applyEffectsSettings(services, object(R"({"video":{"brightness":0.8},"reset":true})"));
    EXPECT_EQ(rig.effects.brightness(), 0.0f);
    EXPECT_EQ(rig.effects.saturation(), 1.0f);
    EXPECT_TRUE(rig.effects.redEnabled());
}

TEST(WebActions, CommandsDriveTheEngineAndController)
{
    ServiceRig rig;
    test::LogCapture log;
    for (const char* command : {"prev", "pause"}) {
        rig.engine->setIsPlaying(true);
        WebActions::executeCommand(rig.services(), command);
        EXPECT_FALSE(rig.engine->isPlaying()) << command;
    }

    WebActions::executeCommand(rig.services(), "dance\nWebServer: forged");
    EXPECT_TRUE(log.contains("WebServer: Executing command prev"));
    EXPECT_TRUE(log.contains("WebServer: Executing command dance?WebServer: forged"));
}

TEST(WebResources, FixturePageListsConsoleFilesOnly)
{
    QTemporaryDir resources;
    for (const char* name : {"Orvelo V2.Fixture", "Orvelo V4.1.Fixture", "My Profile.xml", "Shouting.XML", "notes.txt",
                             "Avo & Co.r66", "desk.cha", "<b>bold<i>.r20"})
        ASSERT_TRUE(test::writeFile(resources.path() + "/Fixtures/" + name, name));
    const WebResources library({resources.path()});
    EXPECT_EQ(library.fixtureFileNames(), (QStringList{"<b>bold<i>.r20", "Avo & Co.r66", "My Profile.xml",
                                                       "Orvelo V2.Fixture", "Orvelo V4.1.Fixture", "desk.cha"}));

    const std::string page = WebPages::fixtures(library.fixtureFileNames());
    for (const char* shown :
         {"<title>Fixture Profiles - Orvelo</title>", R"(href="/fixtures/My%20Profile.xml" download)",
          R"(href="/fixtures/Avo%20&amp;%20Co.r66")", "&lt;b&gt;bold&lt;i&gt;.r20",
          "📺 18 Channels</span><span>🎬 Extended Mode", "📺 1 Channel</span><span>🎬 Standard Mode",
          "📺 DMX Fixture</span><span>🎬 See documentation", R"(href="/fixtures/orvelo.json" download)",
          "<td>241 - 245</td><td>Track 24</td>", "Channel 18: Blue Offset Y (Extended)"})
        EXPECT_NE(page.find(shown), std::string::npos) << shown;
    for (const char* absent : {"<b>bold<i>", "Shouting", "No fixture files available yet"})
        EXPECT_EQ(page.find(absent), std::string::npos) << absent;
}

TEST(WebResources, FixtureFilesAreReadFromTheirFolderOnly)
{
    QTemporaryDir resources;
    for (const auto& [relative, bytes] : {std::pair{"Fixtures/desk.cha", "patch"},
                                          {"Fixtures/sub/inner.xml", "inner"},
                                          {"secret.txt", "secret"},
                                          {"digital-7.ttf", "font"}})
        ASSERT_TRUE(test::writeFile(resources.path() + "/" + relative, bytes));

    const WebResources library({resources.path()});
    EXPECT_EQ(library.fixtureFile("desk.cha"), QByteArray("patch"));
    for (const char* name : {"../secret.txt", "..", ".", "", "sub/inner.xml", "sub\\inner.xml", "..secret.txt", "sub",
                             "/etc/hostname", "missing.xml"})
        EXPECT_FALSE(library.fixtureFile(name)) << name;
    EXPECT_EQ(library.font(), QByteArray("font"));

    // Later folders are looked in when earlier ones lack the file.
    QTemporaryDir empty;
    const WebResources chain({empty.path(), resources.path()});
    EXPECT_EQ(chain.font(), QByteArray("font"));
    EXPECT_EQ(chain.fixtureFile("desk.cha"), QByteArray("patch"));
    EXPECT_FALSE(WebResources({empty.path()}).font());
}

TEST(SettingsValidator, AnyValueOfTheWrongKindOrOutOfRangeRefusesTheWholeDocument)
{
    QTemporaryDir outside;
    const QString root = QFileInfo(SettingsManager::defaultMediaFolder()).path();
    ASSERT_TRUE(QDir().mkpath(root));
    ASSERT_TRUE(QFile::link(outside.path(), root + "/escape"));
    const QStringList roots{root, outside.path() + "/show"};
    const auto refusal = [&](const QString& json) {
        const auto found = SettingsValidator::check(object(json.toStdString().c_str()), roots);
        return found ? found->field : QString();
    };
    const std::vector<std::pair<QString, QString>> cases{
        {R"({"dmx":{"startChannel":600}})", "dmx.startChannel"},
        {R"({"dmx":{"universe":-3}})", "dmx.universe"},
        {R"({"dmx":{"subnet":"3"}})", "dmx.subnet"},
        {R"({"dmx":{"net":1.5}})", "dmx.net"},
        {R"J({"dmx":{"mode":"Huge (99 Ch)"}})J", "dmx.mode"},
        {R"({"dmx":[1,2]})", "dmx"},
        {R"({"playback":{"ignoreDMX":1}})", "playback.ignoreDMX"},
        {R"({"playback":{"frameRate":29.97}})", "playback.frameRate"},
        {R"({"ndi":{"fps":"60"}})", "ndi.fps"},
        {R"({"ndi":{"scale":2.5}})", "ndi.scale"},
        {R"({"protocol":{"input":"DMX512"}})", "protocol.input"},
        {R"({"network":{"interfaceIP":"10.0.0"}})", "network.interfaceIP"},
        {R"({"theme":{"current":"Midnight"}})", "theme.current"},
        {R"({"library":{"mediaFolder":"show/media"}})", "library.mediaFolder"},
        {R"({"library":{"uploadSizeLimit":0}})", "library.uploadSizeLimit"},
        {R"({"library":{"mediaFolder":"/"}})", "library.mediaFolder"},
        {R"({"library":{"mediaFolder":")" + root + R"(/escape/x"}})", "library.mediaFolder"},
        {R"({"library":{"mediaFolder":")" + root + R"(/../Other"}})", "library.mediaFolder"},
        {R"({"web":{"sessionIdleHours":0}})", "web.sessionIdleHours"},
        {R"({"web":{"transportMinInterval":11}})", "web.transportMinInterval"},
        {R"({"web":{"hostNames":["ok.example","bad name"]}})", "web.hostNames"},
        // Texts the system would read only up to a zero character, or a name that would break a log line.
        {R"({"network":{"interfaceIP":"10.0.0.5\u0000junk"}})", "network.interfaceIP"},
        {R"({"library":{"mediaFolder":")" + root + R"(/Show\u0000"}})", "library.mediaFolder"},
        {R"({"web":{"interface":"eth0\nWebServer: forged"}})", "web.interface"},
        // Every page's own Save; the default folder is asked for with an empty text.
        {R"J({"dmx":{"universe":15,"subnet":15,"net":127,"startChannel":512,"mode":"Extended (18 Ch)"},)J"
         R"("playback":{"ignoreDMX":false,"autoPlayNext":true,"frameRate":30},"ndi":{"enabled":false,"fps":25,"scale":1},)"
         R"("protocol":{"input":"sACN","output":"Art-Net","citpEnabled":true},"theme":{"current":"daylight"},)"
         R"("network":{"interfaceIP":"","interfaceBroadcast":"10.0.0.255"},"library":{"mediaFolder":"","uploadSizeLimit":5},)"
         R"("web":{"interface":"","hostNames":["Player.Local."],"sessionIdleHours":0.5,"transportMinInterval":0},"future":1})",
         ""},
        {R"({"library":{"mediaFolder":")" + root + R"(/New Show"}})", ""},
        {R"({"library":{"mediaFolder":")" + outside.path() + R"(/show/media"}})", ""},
    };
    for (const auto& [json, field] : cases)
        EXPECT_EQ(refusal(json), field) << json.toStdString();
    EXPECT_EQ(SettingsValidator::check(object(R"({"dmx":{"startChannel":600}})"), {})->reason,
              "dmx.startChannel must be a whole number from 1 to 512");
    EXPECT_EQ(SettingsValidator::checkAddress(object(R"({"universe":16})"))->field, "dmx.universe");

    ServiceRig rig;
    WebActions::applySettings(rig.services(),
                              object(R"({"web":{"hostNames":["Player.Local."],"transportMinInterval":0}})"), nullptr);
    EXPECT_EQ(rig.remote.hostNames(), QStringList{"player.local"});
    EXPECT_EQ(rig.remote.transportMinInterval(), 0.0);
}
