// Protects the remote's JSON API behind the sockets: the documents it shows, what each POST
// body changes in the player, and the fixture downloads and their page.
#include "WebTestSupport.h"

#include "support/TestSupport.h"
#include "web/WebActions.h"
#include "web/WebDocuments.h"
#include "web/WebJson.h"
#include "web/WebPages.h"
#include "web/WebResources.h"

#include <QDir>
#include <QFile>
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

TEST(WebJson, ValuesCountOnlyWithTheirJsonType)
{
    const QJsonObject body = object(R"({"i":2,"f":2.0,"h":2.5,"s":"2","b":true,"big":9007199254740993,"o":{}})");
    EXPECT_EQ(webjson::integer(body, "i"), 2);
    EXPECT_EQ(webjson::integer(body, "f"), 2);
    EXPECT_EQ(webjson::integer(body, "h"), std::nullopt);
    EXPECT_EQ(webjson::integer(body, "s"), std::nullopt);
    EXPECT_EQ(webjson::integer(body, "b"), std::nullopt);
    EXPECT_EQ(webjson::integer(body, "big"), 9007199254740993LL);
    EXPECT_EQ(webjson::integer(body, "missing"), std::nullopt);
    EXPECT_EQ(webjson::boolean(body, "i"), std::nullopt);
    EXPECT_EQ(webjson::boolean(body, "b"), true);
    EXPECT_EQ(webjson::string(body, "i"), std::nullopt);
    EXPECT_TRUE(webjson::object(body, "o"));

    EXPECT_TRUE(webjson::parseObject(R"( {"a":1} )"));
    EXPECT_FALSE(webjson::parseObject("[1,2]"));
    EXPECT_FALSE(webjson::parseObject("\"text\""));
    EXPECT_FALSE(webjson::parseObject("{\"a\":1} trailing"));
    EXPECT_FALSE(webjson::parseObject(""));
    EXPECT_FALSE(webjson::parseObject("{\"a\":1e999}"));
}

TEST(WebJson, DocumentsWithANumberJsonCannotHoldAreNotWritten)
{
    EXPECT_EQ(compact(QJsonObject{{"a", webjson::floatValue(0.1f)}, {"b", 25.0}}), R"({"a":0.1,"b":25})");
    EXPECT_EQ(compact(QJsonObject{{"g", QJsonObject{{"x", webjson::floatValue(static_cast<float>(1e39))}}}}), "<unwritable>");
}

TEST(WebDocuments, StatusWhileNothingPlays)
{
    ServiceRig rig;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    rig.artNet.setLastPacketTime(now.addMSecs(-500));
    rig.sacn.setLastPacketTime(now.addMSecs(-1500));

    const auto status = WebDocuments::status(rig.services(), now);
    ASSERT_TRUE(status);
    EXPECT_EQ((*status)["trackName"].toString(), "No Track");
    EXPECT_EQ((*status)["isPlaying"], false);
    EXPECT_EQ((*status)["currentTime"].toDouble(), 0.0);
    EXPECT_EQ((*status)["frameRate"].toDouble(), 25.0);
    EXPECT_EQ((*status)["dmxValue"].toInt(), 0);
    EXPECT_EQ((*status)["dmxChannel"].toInt(), 1);
    EXPECT_EQ((*status)["ignoreDMX"], false);
    EXPECT_EQ((*status)["isListening"], true); // Art-Net was started with the protocol manager
    EXPECT_EQ((*status)["artNetReceiving"], true);
    EXPECT_EQ((*status)["sacnReceiving"], false);
    EXPECT_EQ(status->size(), 12);
}

TEST(WebDocuments, StatusFollowsTheControllerAndNeedsTheEngine)
{
    ServiceRig rig;
    DMXConfig config;
    config.startChannel = 100;
    config.frameRate = TimecodeFrameRate::fps30;
    rig.controller->setDmxConfig(config);
    rig.controller->setIgnoreDMX(true);
    rig.controller->handleDMXInput(std::vector<std::uint8_t>(512, 0));
    rig.artNet.stopListening();

    WebServices services = rig.services();
    auto status = WebDocuments::status(services, QDateTime::currentDateTimeUtc());
    ASSERT_TRUE(status);
    EXPECT_EQ((*status)["frameRate"].toDouble(), 30.0);
    EXPECT_EQ((*status)["dmxChannel"].toInt(), 100);
    EXPECT_EQ((*status)["ignoreDMX"], true);
    EXPECT_EQ((*status)["isListening"], false);
    EXPECT_EQ((*status)["artNetReceiving"], false); // never received anything

    rig.controller.reset();
    status = WebDocuments::status(services, QDateTime::currentDateTimeUtc());
    ASSERT_TRUE(status);
    EXPECT_EQ((*status)["frameRate"].toDouble(), 25.0);
    EXPECT_EQ((*status)["dmxChannel"].toInt(), 1);
    EXPECT_EQ((*status)["ignoreDMX"], false);

    rig.engine.reset();
    EXPECT_FALSE(WebDocuments::status(services, QDateTime::currentDateTimeUtc()));
}

TEST(WebDocuments, PlaylistListsTracksInOrder)
{
    ServiceRig rig;
    rig.setTracks({"Intro", "Café Müller", "Finale"});
    WebServices services = rig.services();
    const auto playlist = WebDocuments::playlist(services);
    ASSERT_TRUE(playlist);
    ASSERT_EQ(playlist->size(), 3);
    for (int i = 0; i < 3; ++i) {
        const QJsonObject entry = (*playlist)[i].toObject();
        EXPECT_EQ(entry["index"].toInt(), i);
        EXPECT_EQ(entry["name"].toString(), rig.trackNames()[i]);
        EXPECT_EQ(entry["id"].toString(), rig.controller->playlist().playlist()[i].id.toString(QUuid::WithoutBraces).toUpper());
        EXPECT_EQ(entry["isCurrent"], false);
    }
    rig.controller.reset();
    EXPECT_FALSE(WebDocuments::playlist(services));
    EXPECT_FALSE(WebDocuments::artNetConfig(services));
}

TEST(WebActions, ArtNetAddressIsWrittenAsFourChanges)
{
    ServiceRig rig;
    DMXConfig config;
    config.universe = 3;
    config.subnet = 4;
    config.net = 5;
    config.startChannel = 200;
    rig.controller->setDmxConfig(config);
    int changes = 0;
    QObject::connect(rig.controller.get(), &DMXController::dmxConfigChanged, [&] { ++changes; });

    WebActions::updateArtNetConfig(rig.services(), 0, 0, 0, 1);
    EXPECT_EQ(changes, 4);
    EXPECT_EQ(compact(*WebDocuments::artNetConfig(rig.services())), R"({"channel":1,"net":0,"subnet":0,"universe":0})");

    WebActions::updateArtNetConfig(rig.services(), 15, 2, 127, 512);
    EXPECT_EQ(compact(*WebDocuments::artNetConfig(rig.services())),
              R"({"channel":512,"net":127,"subnet":2,"universe":15})");
}

TEST(WebDocuments, SettingsShowEveryService)
{
    ServiceRig rig;
    WebServices services = rig.services();
    QJsonObject settings = WebDocuments::settings(services);
    EXPECT_EQ(compact(settings["dmx"].toObject()),
              R"J({"channel":1,"mode":"Standard (1 Ch)","net":0,"startChannel":1,"subnet":0,"universe":0})J");
    EXPECT_EQ(compact(settings["playback"].toObject()), R"({"autoPlayNext":false,"frameRate":25,"ignoreDMX":false})");
    EXPECT_EQ(compact(settings["ndi"].toObject()), R"({"enabled":false,"fps":25,"scale":1})");
    EXPECT_EQ(compact(settings["protocol"].toObject()), R"({"citpEnabled":false,"input":"Art-Net","output":"Art-Net"})");
    EXPECT_EQ(compact(settings["network"].toObject()), R"({"interfaceBroadcast":"","interfaceIP":""})");
    EXPECT_EQ(compact(settings["defaultVideo"].toObject()), R"({"hasVideo":false,"url":"None"})");
    EXPECT_EQ(compact(settings["theme"].toObject()),
              R"({"available":[{"id":"onyx_dark","name":"Onyx Dark"},{"id":"midnight","name":"Midnight"},)"
              R"({"id":"daylight","name":"Daylight"},{"id":"soft_white","name":"Soft White"}],"current":"onyx_dark"})");

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

TEST(WebActions, SettingsDmxGroup)
{
    ServiceRig rig;
    WebActions::applySettings(rig.services(), object(R"({"dmx":{"startChannel":5,"channel":9}})"), rig.engine.get());
    EXPECT_EQ(rig.controller->dmxConfig().startChannel, 5);
    WebActions::applySettings(rig.services(), object(R"({"dmx":{"channel":9}})"), rig.engine.get());
    EXPECT_EQ(rig.controller->dmxConfig().startChannel, 9);
    WebActions::applySettings(rig.services(), object(R"({"dmx":{"startChannel":"7","channel":11}})"), rig.engine.get());
    EXPECT_EQ(rig.controller->dmxConfig().startChannel, 11);

    int changes = 0;
    QObject::connect(rig.controller.get(), &DMXController::dmxConfigChanged, [&] { ++changes; });
    WebActions::applySettings(rig.services(),
                              object(R"J({"dmx":{"universe":2,"subnet":"3","net":4,"mode":"Extended (18 Ch)"}})J"),
                              rig.engine.get());
    EXPECT_EQ(changes, 3);
    EXPECT_EQ(rig.controller->dmxConfig().universe, 2);
    EXPECT_EQ(rig.controller->dmxConfig().subnet, 0);
    EXPECT_EQ(rig.controller->dmxConfig().net, 4);
    EXPECT_EQ(rig.controller->dmxConfig().mode, DMXMode::extended);

    WebActions::applySettings(rig.services(), object(R"J({"dmx":{"mode":"extended (18 ch)"}})J"), rig.engine.get());
    EXPECT_EQ(rig.controller->dmxConfig().mode, DMXMode::extended);
    WebActions::applySettings(rig.services(), object(R"({"dmx":[1,2]})"), rig.engine.get());
    EXPECT_EQ(rig.controller->dmxConfig().universe, 2);
}

TEST(WebActions, SettingsPlaybackGroup)
{
    ServiceRig rig;
    WebActions::applySettings(rig.services(),
                              object(R"({"playback":{"ignoreDMX":true,"autoPlayNext":true,"frameRate":30}})"),
                              rig.engine.get());
    EXPECT_TRUE(rig.controller->ignoreDMX());
    EXPECT_TRUE(rig.controller->autoPlayNext());
    EXPECT_EQ(rig.controller->dmxConfig().frameRate, TimecodeFrameRate::fps30);

    WebActions::applySettings(rig.services(), object(R"({"playback":{"ignoreDMX":1,"frameRate":29.97}})"),
                              rig.engine.get());
    EXPECT_TRUE(rig.controller->ignoreDMX());
    EXPECT_EQ(rig.controller->dmxConfig().frameRate, TimecodeFrameRate::fps30);
    WebActions::applySettings(rig.services(), object(R"({"playback":{"frameRate":24.0}})"), rig.engine.get());
    EXPECT_EQ(rig.controller->dmxConfig().frameRate, TimecodeFrameRate::fps24);

    ASSERT_TRUE(rig.artNet.isListening());
    WebActions::applySettings(rig.services(), object(R"({"playback":{"isListening":false}})"), rig.engine.get());
    EXPECT_FALSE(rig.artNet.isListening());
    WebActions::applySettings(rig.services(), object(R"({"playback":{"isListening":true}})"), rig.engine.get());
    EXPECT_TRUE(rig.artNet.isListening());
}

TEST(WebActions, SettingsNdiGroup)
{
    ServiceRig rig;
    const auto apply = [&](const char* json) { WebActions::applySettings(rig.services(), object(json), rig.engine.get()); };
    apply(R"({"ndi":{"enabled":true,"fps":50,"scale":3}})");
    apply(R"({"ndi":{"enabled":true}})");
    EXPECT_EQ(rig.ndi->calls, std::vector<std::string>{"start"});
    EXPECT_EQ(rig.ndi->fps, 50);
    EXPECT_EQ(rig.ndi->scale, 3);

    apply(R"({"ndi":{"fps":29.97,"scale":5}})");
    apply(R"({"ndi":{"fps":"60","scale":2.5}})");
    EXPECT_EQ(rig.ndi->fps, 50);
    EXPECT_EQ(rig.ndi->scale, 3);

    apply(R"({"ndi":{"enabled":false}})");
    apply(R"({"ndi":{"enabled":false}})");
    EXPECT_EQ(rig.ndi->calls, (std::vector<std::string>{"start", "stop"}));

    rig.ndi.reset();
    apply(R"({"ndi":{"enabled":true}})"); // no NDI service: nothing to do
}

TEST(WebActions, SettingsProtocolGroupSwitchesAtTheEnd)
{
    ServiceRig rig;
    WebActions::applySettings(rig.services(), object(R"({"protocol":{"input":"sACN","output":"sacn","citpEnabled":true}})"),
                              rig.engine.get());
    EXPECT_EQ(rig.protocols->inputProtocol(), DMXProtocolType::sACN);
    EXPECT_EQ(rig.protocols->outputProtocol(), DMXProtocolType::artNet);
    EXPECT_EQ(rig.protocols->activeInputService(), &rig.sacn);
    EXPECT_TRUE(rig.sacn.isListening());
    EXPECT_FALSE(rig.artNet.isListening());
    EXPECT_EQ(rig.citp.starts, 1);

    // An empty group still re-evaluates the services: the same input restarts.
    const int sacnStarts = rig.sacn.starts;
    WebActions::applySettings(rig.services(), object(R"({"protocol":{}})"), rig.engine.get());
    EXPECT_EQ(rig.sacn.starts, sacnStarts + 1);
}

TEST(WebActions, SettingsNetworkThemeAndDefaultVideo)
{
    ServiceRig rig;
    QObject context;
    WebActions::applySettings(rig.services(),
                              object(R"({"network":{"interfaceIP":"10.254.0.2","interfaceBroadcast":""},)"
                                     R"("theme":{"current":"daylight"},"defaultVideo":{"clear":true}})"),
                              &context);
    EXPECT_EQ(rig.settings.selectedInterfaceIP(), QStringLiteral("10.254.0.2"));
    EXPECT_EQ(rig.settings.selectedInterfaceBroadcast(), QString());

    rig.settings.setDefaultVideoURL(QUrl::fromLocalFile("/shows/loop.mov"));
    // The theme and the clearing are queued once more, behind what is already waiting.
    EXPECT_EQ(rig.themes->currentTheme().id, "onyx_dark");
    EXPECT_TRUE(test::waitUntil([&] { return rig.themes->currentTheme().id == "daylight"; }));
    EXPECT_TRUE(test::waitUntil([&] { return !rig.settings.defaultVideoURL(); }));

    WebActions::applySettings(rig.services(), object(R"({"theme":{"current":"Midnight"}})"), &context);
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
        services, object(R"({"pattern":{"selected":"Spectrum Bars","speed":2.5,"size":40,"gap":3,"autoRotate":true,)"
                         R"("rotateInterval":4,"audioReactive":false},)"
                         R"("video":{"playbackSpeed":1.5,"brightness":-0.3,"saturation":7,"alpha":0.1,"inverted":true},)"
                         R"("rgb":{"redEnabled":false,"greenTimeShift":4,"blueTimeShift":2.5,"redHOffset":-12.5,"blueVOffset":3}})"));
    EXPECT_EQ(rig.settings.selectedPattern(), AudioVisualPattern::spectrumBars);
    EXPECT_EQ(rig.settings.patternSpeed(), 2.5);
    EXPECT_EQ(rig.settings.patternSize(), 40);
    EXPECT_EQ(rig.settings.patternGap(), 3);
    EXPECT_TRUE(rig.settings.patternAutoRotate());
    EXPECT_EQ(rig.settings.patternRotateInterval(), 4);
    EXPECT_FALSE(rig.settings.audioReactiveEnabled());
    EXPECT_EQ(rig.effects.saturation(), 7.0f);
    EXPECT_TRUE(rig.effects.isInverted());
    EXPECT_FALSE(rig.effects.redEnabled());
    EXPECT_EQ(rig.effects.greenTimeShift(), 4);
    EXPECT_EQ(rig.effects.blueTimeShift(), 0);
    EXPECT_EQ(rig.effects.redHorizontalOffset(), -12.5);

    const QJsonObject document = WebDocuments::effects(services);
    EXPECT_EQ(compact(document["video"].toObject()),
              R"({"alpha":0.1,"brightness":-0.3,"inverted":true,"playbackSpeed":1.5,"saturation":7})");
    EXPECT_EQ(document["pattern"].toObject()["selected"].toString(), "Spectrum Bars");
    const QJsonArray available = document["pattern"].toObject()["available"].toArray();
    ASSERT_EQ(available.size(), 10);
    EXPECT_EQ(compact(available[1].toObject()), R"({"id":"Abstract Colors","name":"Abstract Colors"})");
    EXPECT_EQ(document["rgb"].toObject().size(), 12);

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
    rig.engine->setIsPlaying(true);
    WebActions::executeCommand(rig.services(), "prev");
    EXPECT_FALSE(rig.engine->isPlaying());

    rig.engine->setIsPlaying(true);
    WebActions::executeCommand(rig.services(), "pause");
    EXPECT_FALSE(rig.engine->isPlaying());

    WebActions::executeCommand(rig.services(), "dance\nWebServer: forged");
    EXPECT_TRUE(log.contains("WebServer: Executing command prev"));
    EXPECT_TRUE(log.contains("WebServer: Executing command dance?WebServer: forged"));
}

TEST(WebActions, ReorderAndPlayIgnoreWhatIsOutOfRange)
{
    ServiceRig rig;
    rig.setTracks({"A", "B", "C"});
    WebServices services = rig.services();
    WebActions::reorderTrack(services, 0, "down");
    EXPECT_EQ(rig.trackNames(), (QStringList{"B", "A", "C"}));
    WebActions::reorderTrack(services, 2, "up");
    EXPECT_EQ(rig.trackNames(), (QStringList{"B", "C", "A"}));
    WebActions::reorderTrack(services, 0, "up");
    WebActions::reorderTrack(services, 2, "down");
    WebActions::reorderTrack(services, 1, "sideways");
    WebActions::reorderTrack(services, 4294967297LL, "up");
    WebActions::playTrack(services, 3);
    WebActions::playTrack(services, -1);
    WebActions::playTrack(services, 4294967296LL);
    EXPECT_EQ(rig.trackNames(), (QStringList{"B", "C", "A"}));
    EXPECT_FALSE(rig.engine->currentTrack());
}

TEST(WebResources, FixturePageListsConsoleFilesOnly)
{
    QTemporaryDir resources;
    ASSERT_TRUE(QDir(resources.path()).mkpath("Fixtures"));
    for (const char* name : {"Orvelo V2.Fixture", "Orvelo V4.1.Fixture", "My Profile.xml", "Shouting.XML", "notes.txt",
                             "Avo & Co.r66", "desk.cha", "<b>bold<i>.r20"}) {
        QFile file(resources.path() + "/Fixtures/" + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(name);
    }
    const WebResources library({resources.path()});
    EXPECT_EQ(library.fixtureFileNames(), (QStringList{"<b>bold<i>.r20", "Avo & Co.r66", "My Profile.xml",
                                                        "Orvelo V2.Fixture", "Orvelo V4.1.Fixture", "desk.cha"}));

    const std::string page = WebPages::fixtures(library.fixtureFileNames());
    EXPECT_NE(page.find("<title>Fixture Profiles - Orvelo</title>"), std::string::npos);
    EXPECT_NE(page.find(R"(href="/fixtures/My%20Profile.xml" download)"), std::string::npos);
    EXPECT_NE(page.find(R"(href="/fixtures/Avo%20&amp;%20Co.r66")"), std::string::npos);
    EXPECT_NE(page.find("&lt;b&gt;bold&lt;i&gt;.r20"), std::string::npos);
    EXPECT_EQ(page.find("<b>bold<i>"), std::string::npos);
    EXPECT_NE(page.find("📺 18 Channels</span><span>🎬 Extended Mode"), std::string::npos);
    EXPECT_NE(page.find("📺 1 Channel</span><span>🎬 Standard Mode"), std::string::npos);
    EXPECT_NE(page.find("📺 DMX Fixture</span><span>🎬 See documentation"), std::string::npos);
    EXPECT_NE(page.find("MA2 / MA3"), std::string::npos);
    EXPECT_NE(page.find("ChamSys"), std::string::npos);
    EXPECT_EQ(page.find("Shouting"), std::string::npos);
    EXPECT_EQ(page.find("No fixture files available yet"), std::string::npos);
    EXPECT_NE(page.find("Hog 4"), std::string::npos);

    const std::string empty = WebPages::fixtures({});
    EXPECT_NE(empty.find("📁"), std::string::npos);
    EXPECT_NE(empty.find("No fixture files available yet"), std::string::npos);
}

TEST(WebResources, FixtureFilesAreReadFromTheirFolderOnly)
{
    QTemporaryDir resources;
    ASSERT_TRUE(QDir(resources.path()).mkpath("Fixtures/sub"));
    const auto write = [&](const QString& relative, const QByteArray& bytes) {
        QFile file(resources.path() + "/" + relative);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    };
    write("Fixtures/desk.cha", "patch");
    write("Fixtures/sub/inner.xml", "inner");
    write("secret.txt", "secret");
    write("digital-7.ttf", "font");

    const WebResources library({resources.path()});
    EXPECT_EQ(library.fixtureFile("desk.cha"), QByteArray("patch"));
    for (const char* name : {"../secret.txt", "..", ".", "", "sub/inner.xml", "sub\\inner.xml", "..secret.txt",
                             "sub", "/etc/hostname", "missing.xml"})
        EXPECT_FALSE(library.fixtureFile(name)) << name;
    EXPECT_EQ(library.font(), QByteArray("font"));

    // Later folders are looked in when earlier ones lack the file.
    QTemporaryDir empty;
    const WebResources chain({empty.path(), resources.path()});
    EXPECT_EQ(chain.font(), QByteArray("font"));
    EXPECT_EQ(chain.fixtureFile("desk.cha"), QByteArray("patch"));
    EXPECT_FALSE(WebResources({empty.path()}).font());
}

TEST(WebActions, SettingsThatWouldBeSilentlyReplacedAreRefused)
{
    EXPECT_EQ(WebActions::settingsRefusal(object(R"({"library":{"mediaFolder":"show/media"}})")),
              QString("mediaFolder must be an absolute path"));
    EXPECT_EQ(WebActions::settingsRefusal(object(R"({"library":{"uploadSizeLimit":0}})")),
              QString("uploadSizeLimit must be at least 1 byte"));
    // The default folder is asked for with an empty text; other groups are not examined here.
    EXPECT_EQ(WebActions::settingsRefusal(object(R"({"library":{"mediaFolder":"","uploadSizeLimit":5}})")), std::nullopt);
    EXPECT_EQ(WebActions::settingsRefusal(object(R"({"library":{"mediaFolder":"/srv/show"}})")), std::nullopt);
    EXPECT_EQ(WebActions::settingsRefusal(object(R"({"dmx":{"startChannel":"x"}})")), std::nullopt);
}
