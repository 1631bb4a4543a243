// The remote's JSON API behind the sockets: its documents, what each POST changes, the fixture
// files and page, and a fixture profile that says for every value what the controller does.
#include "WebTestSupport.h"

#include "core/DMXDecoding.h"
#include "support/TestSupport.h"
#include "web/FixtureProfile.h"
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

// The capability whose range holds `value`; a channel must cover 0-255 without gap or overlap.
QJsonObject capabilityFor(const QJsonObject& channel, int value)
{
    for (const auto& item : channel["capabilities"].toArray()) {
        const QJsonArray range = item.toObject()["dmxRange"].toArray();
        if (range[0].toInt() <= value && value <= range[1].toInt())
            return item.toObject();
    }
    return {};
}

} // namespace

TEST(WebDocuments, StatusFollowsTheControllerAndNeedsTheEngine)
{
    ServiceRig rig;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    rig.sacn.setLastPacketTime(now.addMSecs(-1500)); // too long ago; Art-Net never received
    WebServices services = rig.services();
    const auto status = [&] { return WebDocuments::status(services, now).value_or(QJsonObject()); };
    EXPECT_EQ(
        compact(status()),
        R"({"artNetReceiving":false,"currentId":"","currentTime":0,"dmxChannel":1,"dmxValue":0,"duration":0,"error":"",)"
        R"("frameRate":25,"ignoreDMX":false,"inputNote":"","isListening":true,"isPlaying":false,"playlistRevision":1,)"
        R"("remainingTime":0,"sacnReceiving":false,"state":"stopped",)"
        R"("sync":{"followers":[],"locked":true,"offsetMs":0,"problem":"","role":"off"},)"
        R"("timecode":{"errorFrames":0,"incoming":"","lock":"off","ltcOut":{"problem":"","sending":false},"problem":"",)"
        R"("source":"console"},"trackName":"No Track"})");

    DMXConfig config;
    config.startChannel = 100;
    config.frameRate = TimecodeFrameRate::fps30;
    rig.controller->setDmxConfig(config);
    rig.controller->setIgnoreDMX(true);
    rig.artNet.stopListening();
    rig.artNet.setLastPacketTime(now.addMSecs(-500));
    const auto fields = [&](QStringList names) {
        QJsonObject picked;
        for (const QString& name : names)
            picked[name] = status()[name];
        return compact(picked);
    };
    EXPECT_EQ(fields({"artNetReceiving", "dmxChannel", "frameRate", "ignoreDMX", "isListening"}),
              R"({"artNetReceiving":true,"dmxChannel":100,"frameRate":30,"ignoreDMX":true,"isListening":false})");
    rig.controller.reset();
    EXPECT_EQ(fields({"dmxChannel", "frameRate", "ignoreDMX", "playlistRevision"}),
              R"({"dmxChannel":1,"frameRate":25,"ignoreDMX":false,"playlistRevision":0})");
    rig.engine.reset();
    EXPECT_FALSE(WebDocuments::status(services, now));
}

TEST(WebDocuments, SettingsShowEveryService)
{
    ServiceRig rig;
    WebServices services = rig.services();
    // The whole document but what comes from the machine and the run: interfaces, library folders.
    QJsonObject settings = WebDocuments::settings(services);
    settings.remove("library");
    QJsonObject web = settings.take("web").toObject();
    EXPECT_TRUE(web.take("interfaces").isArray());
    QJsonObject theme = settings.take("theme").toObject();
    EXPECT_EQ(theme.take("available").toArray()[0], QJsonObject({{"id", "onyx_dark"}, {"name", "Onyx Dark"}}));
    settings["web"] = web;
    settings["theme"] = theme;
    EXPECT_EQ(
        compact(settings),
        R"J({"defaultVideo":{"hasVideo":false,"url":"None"},"dmx":{"channel":1,"mode":"Standard (1 Ch)","net":0,)J"
        R"("startChannel":1,"subnet":0,"universe":0},"ndi":{"enabled":false,"fps":25,"scale":1},)"
        R"("network":{"interfaceBroadcast":"","interfaceIP":""},"playback":{"autoPlayNext":false,"frameRate":25,)"
        R"("ignoreDMX":false,"preloadBudgetMB":400,"preloadCount":2},)"
        R"("protocol":{"citpEnabled":false,"input":"Art-Net","output":"Art-Net"},)"
        R"("sync":{"clockPort":9650,"group":"","keySet":false,"leadTimeMs":150,"leader":"","role":"off"},)"
        R"("theme":{"current":"onyx_dark"},)"
        R"("timecode":{"followSelectedTrack":false,"freewheelFrames":10,"ltcIn":{"channel":1,"device":""},)"
        R"("ltcOut":{"channel":1,"device":"","enabled":false},"offset":"00:00:00:00","source":"console"},)"
        R"("web":{"hostNames":[],"interface":"","sessionIdleHours":12,"transportMinInterval":0.5}})");

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
}

namespace {

class WebSettingsTest : public ::testing::Test {
protected:
    void apply(const char* json, QObject* context = nullptr)
    {
        WebActions::applySettings(rig.services(), object(json), context ? context : rig.engine.get());
    }
    const DMXConfig& dmx() const { return rig.controller->dmxConfig(); }
    std::string address() { return compact(*WebDocuments::artNetConfig(rig.services())); }

    ServiceRig rig;
};

} // namespace

TEST_F(WebSettingsTest, GroupsTakeOnlyValuesOfTheirKindAndNdiStartsAndStopsOnlyOnChange)
{
    apply(R"J({"dmx":{"universe":2,"subnet":"3","net":4,"startChannel":"7","channel":11,"mode":"Extended (18 Ch)"},)J"
          R"("playback":{"ignoreDMX":true,"autoPlayNext":true,"frameRate":30,"isListening":false,"preloadCount":3,)"
          R"("preloadBudgetMB":1000},"ndi":{"enabled":true,"fps":50,"scale":3},)"
          R"("web":{"hostNames":["Player.Local."],"transportMinInterval":0}})");
    EXPECT_EQ(std::tuple(rig.settings.preloadCount(), rig.settings.preloadBudgetMB()), std::tuple(3, 1000));
    EXPECT_EQ(address(), R"({"channel":11,"net":4,"subnet":0,"universe":2})");
    EXPECT_EQ(dmx().mode, DMXMode::extended);
    EXPECT_TRUE(rig.controller->ignoreDMX());
    EXPECT_TRUE(rig.controller->autoPlayNext());
    EXPECT_EQ(dmx().frameRate, TimecodeFrameRate::fps30);
    EXPECT_FALSE(rig.artNet.isListening());
    EXPECT_EQ(rig.remote.hostNames(), QStringList{"player.local"});
    EXPECT_EQ(rig.remote.transportMinInterval(), 0.0);

    // "startChannel" wins over "channel"; nothing else here is of a kind or value taken.
    apply(
        R"({"dmx":{"startChannel":5,"channel":9,"mode":"Huge"},"playback":{"ignoreDMX":1,"frameRate":29.97,)"
        R"("isListening":true,"preloadCount":9,"preloadBudgetMB":10},"ndi":{"enabled":true,"fps":29.97,"scale":2.5}})");
    EXPECT_EQ(std::tuple(rig.settings.preloadCount(), rig.settings.preloadBudgetMB()), std::tuple(3, 1000));
    EXPECT_EQ(dmx().startChannel, 5);
    EXPECT_EQ(dmx().mode, DMXMode::extended);
    EXPECT_TRUE(rig.controller->ignoreDMX());
    EXPECT_EQ(dmx().frameRate, TimecodeFrameRate::fps30);
    EXPECT_TRUE(rig.artNet.isListening());
    EXPECT_EQ(std::tuple(rig.ndi->fps, rig.ndi->scale), std::tuple(50.0, 3));

    apply(R"({"dmx":[1,2],"ndi":{"enabled":false}})");
    apply(R"({"ndi":{"enabled":false}})");
    EXPECT_EQ(dmx().universe, 2);
    EXPECT_EQ(rig.ndi->calls, (std::vector<std::string>{"start", "stop"}));
    rig.ndi.reset();
    apply(R"({"ndi":{"enabled":true}})"); // no NDI service: nothing to do
}

TEST_F(WebSettingsTest, ProtocolGroupSwitchesAtTheEnd)
{
    apply(R"({"protocol":{"input":"sACN","output":"sacn","citpEnabled":true}})");
    EXPECT_EQ(rig.protocols->outputProtocol(), DMXProtocolType::artNet);
    EXPECT_EQ(rig.protocols->activeInputService(), &rig.sacn);
    EXPECT_TRUE(rig.sacn.isListening());
    EXPECT_FALSE(rig.artNet.isListening());
    EXPECT_EQ(rig.citp.starts, 1);

    // Saving the same choices again restarts nothing: no gap in the console's DMX.
    const int sacnStarts = rig.sacn.starts;
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
    EXPECT_TRUE(test::waitUntil([&] { return !rig.settings.defaultVideoURL(); }));
    EXPECT_EQ(rig.themes->currentTheme().id, "daylight");
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
            R"("rgb":{"redEnabled":false,"greenEnabled":false,"blueEnabled":false,"redTimeShift":1,"greenTimeShift":4,)"
            R"("blueTimeShift":2.5,"redHOffset":-12.5,"redVOffset":1,"greenHOffset":2,"greenVOffset":3,)"
            R"("blueHOffset":4,"blueVOffset":5}})"));
    // Read back through the document, which comes from the settings and the effects manager.
    QJsonObject document = WebDocuments::effects(services);
    QJsonObject pattern = document.take("pattern").toObject();
    pattern.remove("available");
    document["pattern"] = pattern;
    EXPECT_EQ(compact(document),
              R"({"pattern":{"audioReactive":false,"autoRotate":true,"gap":3,"rotateInterval":4,)"
              R"("selected":"Spectrum Bars","size":40,"speed":2.5},)"
              R"("rgb":{"blueEnabled":false,"blueHOffset":4,"blueTimeShift":0,"blueVOffset":5,"greenEnabled":false,)"
              R"("greenHOffset":2,"greenTimeShift":4,"greenVOffset":3,"redEnabled":false,"redHOffset":-12.5,)"
              R"("redTimeShift":1,"redVOffset":1},)"
              R"("video":{"alpha":0.1,"brightness":-0.3,"inverted":true,"playbackSpeed":1.5,"saturation":7}})");

    WebActions::applyEffectsSettings(services, object(R"({"pattern":{"selected":"Laser Show"}})"));
    EXPECT_EQ(rig.settings.selectedPattern(), AudioVisualPattern::spectrumBars);
    WebActions::applyEffectsSettings(services, object(R"({"video":{"brightness":0.8},"reset":true})"));
    EXPECT_EQ(rig.effects.brightness(), 0.0f);
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
    EXPECT_TRUE(log.contains("WebServer: Executing command dance?WebServer: forged"));
}

TEST(WebResources, FixturePageListsConsoleFilesOnlyReadFromTheirFolder)
{
    QTemporaryDir resources, empty;
    for (const char* name : {"Orvelo V2.Fixture", "Orvelo V4.1.Fixture", "My Profile.xml", "Shouting.XML", "notes.txt",
                             "Avo & Co.r66", "desk.cha", "<b>bold<i>.r20", "sub/inner.xml"})
        ASSERT_TRUE(test::writeFile(resources.path() + "/Fixtures/" + name, name));
    ASSERT_TRUE(test::writeFile(resources.path() + "/digital-7.ttf", "font"));
    const WebResources library({empty.path(), resources.path()}); // later folders fill in for earlier ones
    EXPECT_EQ(library.fixtureFileNames(), (QStringList{"<b>bold<i>.r20", "Avo & Co.r66", "My Profile.xml",
                                                       "Orvelo V2.Fixture", "Orvelo V4.1.Fixture", "desk.cha"}));
    const std::string page = WebPages::fixtures(library.fixtureFileNames());
    for (const char* shown : {R"(href="/fixtures/Avo%20&amp;%20Co.r66" download)", "&lt;b&gt;bold&lt;i&gt;.r20",
                              "📺 18 Channels</span><span>🎬 Extended Mode", "📺 1 Channel</span><span>🎬 Standard Mode",
                              "📺 DMX Fixture</span><span>🎬 See documentation", "<td>241 - 245</td><td>Track 24</td>"})
        EXPECT_NE(page.find(shown), std::string::npos) << shown;
    EXPECT_EQ(page.find("No fixture files available yet"), std::string::npos);

    EXPECT_EQ(library.fixtureFile("desk.cha"), QByteArray("desk.cha"));
    EXPECT_EQ(library.font(), QByteArray("font"));
    for (const char* name : {"../digital-7.ttf", ".", "", "sub/inner.xml", "sub\\inner.xml", "missing.xml"})
        EXPECT_FALSE(library.fixtureFile(name)) << name;
    EXPECT_FALSE(WebResources({empty.path()}).font());
}

TEST(SettingsValidator, AnyValueOfTheWrongKindOrOutOfRangeRefusesTheWholeDocument)
{
    QTemporaryDir outside;
    const QString root = QFileInfo(SettingsManager::defaultMediaFolder()).path();
    ASSERT_TRUE(QDir().mkpath(root));
    ASSERT_TRUE(QFile::link(outside.path(), root + "/escape"));
    const QStringList roots{root, outside.path() + "/show"};
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
        {R"({"network":{"interfaceIP":"10.0.0"}})", "network.interfaceIP"},
        {R"({"theme":{"current":"Midnight"}})", "theme.current"},
        {R"({"library":{"mediaFolder":"show/media"}})", "library.mediaFolder"},
        {R"({"library":{"mediaFolder":")" + root + R"(/escape/x"}})", "library.mediaFolder"},
        {R"({"web":{"sessionIdleHours":0}})", "web.sessionIdleHours"},
        {R"({"web":{"transportMinInterval":11}})", "web.transportMinInterval"},
        {R"({"web":{"hostNames":["ok.example","bad name"]}})", "web.hostNames"},
        {R"({"timecode":{"source":"LTC"}})", "timecode.source"},
        {R"({"timecode":{"ltcIn":{"channel":0}}})", "timecode.ltcIn"},
        {R"({"timecode":{"ltcIn":{"enabled":true}}})", "timecode.ltcIn"},
        {R"({"timecode":{"ltcOut":{"enabled":"yes"}}})", "timecode.ltcOut"},
        {R"({"timecode":{"ltcOut":{"channel":65}}})", "timecode.ltcOut"},
        {R"({"timecode":{"offset":"01:00:00"}})", "timecode.offset"},
        {R"({"timecode":{"freewheelFrames":251}})", "timecode.freewheelFrames"},
        {R"({"sync":{"role":"master"}})", "sync.role"},
        {R"({"sync":{"leader":"stage-leader"}})", "sync.leader"},
        {R"({"sync":{"leader":"10.0.0.300"}})", "sync.leader"},
        {R"({"sync":{"leadTimeMs":10}})", "sync.leadTimeMs"},
        // Texts the system would read only up to a zero character, or a name that would break a log line.
        {R"({"network":{"interfaceIP":"10.0.0.5\u0000junk"}})", "network.interfaceIP"},
        {R"({"web":{"interface":"eth0\nWebServer: forged"}})", "web.interface"},
        // Every page's own Save; the default folder is asked for with an empty text.
        {R"J({"dmx":{"universe":15,"subnet":15,"net":127,"startChannel":512,"mode":"Extended (18 Ch)"},)J"
         R"("playback":{"ignoreDMX":false,"autoPlayNext":true,"frameRate":30},"ndi":{"enabled":false,"fps":25,"scale":1},)"
         R"("protocol":{"input":"sACN","output":"Art-Net","citpEnabled":true},"theme":{"current":"daylight"},)"
         R"("network":{"interfaceIP":"","interfaceBroadcast":"10.0.0.255"},"library":{"mediaFolder":"","uploadSizeLimit":5},)"
         R"("web":{"interface":"","hostNames":["Player.Local."],"sessionIdleHours":0.5,"transportMinInterval":0},"future":1,)"
         R"("timecode":{"source":"ltc","offset":"-01:00:00:00","followSelectedTrack":true,"freewheelFrames":0,)"
         R"("ltcIn":{"device":"hw:1,0","channel":2},"ltcOut":{"enabled":true,"device":"hw:2,0","channel":3}},)"
         R"("sync":{"role":"follower","leader":"10.0.0.5:9700","group":"stage","key":"k","clockPort":9650,"leadTimeMs":200}})",
         ""},
        {R"({"library":{"mediaFolder":")" + outside.path() + R"(/show/media"}})", ""},
    };
    for (const auto& [json, field] : cases) {
        const auto found = SettingsValidator::check(object(json.toStdString().c_str()), roots);
        EXPECT_EQ(found ? found->field : QString(), field) << json.toStdString();
    }
    EXPECT_EQ(SettingsValidator::check(object(R"({"dmx":{"startChannel":600}})"), {})->reason,
              "dmx.startChannel must be a whole number from 1 to 512");
    EXPECT_EQ(SettingsValidator::checkAddress(object(R"({"universe":16})"))->field, "dmx.universe");
}

TEST(FixtureProfile, ModesAndBandsFollowTheControllersDecoding)
{
    const QJsonObject profile = FixtureProfile::openFixtureLibrary();
    const QJsonObject channels = profile["availableChannels"].toObject();
    const QJsonArray modes = profile["modes"].toArray();
    ASSERT_EQ(modes.size(), 3);
    for (int m = 0; m < 3; ++m) {
        const int width = std::array{1, 2, 18}[m];
        EXPECT_EQ(modes[m]["channels"].toArray().size(), width);
        EXPECT_EQ(modes[m]["shortName"].toString(), QString::number(width) + "ch");
        EXPECT_FALSE(modes[m]["name"].toString().contains("ode")) << "the format refuses the word mode";
    }
    const QJsonArray extended = modes[2].toObject()["channels"].toArray();
    for (const auto& name : extended) {
        int next = 0;
        for (const auto& item : channels[name.toString()]["capabilities"].toArray()) {
            const QJsonArray range = item.toObject()["dmxRange"].toArray();
            EXPECT_EQ(range[0].toInt(), next) << name.toString().toStdString();
            next = range[1].toInt() + 1;
        }
        EXPECT_EQ(next, 256) << name.toString().toStdString();
    }

    const QJsonObject control = channels[extended[0].toString()].toObject();
    const QJsonObject loop = channels[extended[1].toString()].toObject();
    const QJsonObject effect = channels[extended[4].toString()].toObject();
    for (int v = 0; v <= 255; ++v) {
        const auto value = static_cast<std::uint8_t>(v);
        const QString said = capabilityFor(control, v)["comment"].toString();
        const dmx::ControlAction action = dmx::decodeControl(value);
        if (action.kind == dmx::ControlKind::selectTrack)
            EXPECT_EQ(said, QString("Track %1: Playlist entry %1").arg(action.trackIndex + 1)) << v;
        else
            EXPECT_EQ(said.startsWith("Stop"), action.kind != dmx::ControlKind::pause) << v;
        const auto times = dmx::decodeLoopOverride(value);
        EXPECT_EQ(capabilityFor(loop, v)["comment"].toString().startsWith(!times ? "Program"
                                                                          : *times == 0
                                                                              ? "Loop"
                                                                              : QString("Play %1x").arg(*times)),
                  true)
            << v;
        EXPECT_EQ(capabilityFor(effect, v)["type"].toString() == "NoFunction",
                  dmx::effectBand(value) == dmx::EffectBand::unchanged)
            << v;
    }
    EXPECT_EQ(capabilityFor(effect, 7)["comment"].toString(), "Reset: 0") << "brightness resets to 0";
}
