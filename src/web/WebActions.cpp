#include "web/WebActions.h"

#include "core/DMXMode.h"
#include "core/TimecodeFrameRate.h"
#include "ndi/NDIFPS.h"
#include "ndi/NDIResolutionScale.h"
#include "net/DMXProtocolType.h"
#include "platform/Log.h"
#include "platform/MainThread.h"
#include "playback/AudioVisualPattern.h"
#include "web/HttpRequest.h"
#include "web/WebJson.h"

#include <QDir>
#include <QJsonArray>

#include <algorithm>
#include <array>
#include <limits>
#include <optional>

namespace orvelo::WebActions {

namespace {

using webjson::boolean;
using webjson::integer;
using webjson::number;
using webjson::string;

// The NDI sender's rates and resolution divisors; other values name nothing.

std::optional<int> asInt(std::optional<std::int64_t> value)
{
    if (!value || *value < std::numeric_limits<int>::min() || *value > std::numeric_limits<int>::max())
        return std::nullopt;
    return static_cast<int>(*value);
}

// One observable write of the DMX configuration.
template <typename Change> void updateConfig(DMXController& controller, Change change)
{
    DMXConfig config = controller.dmxConfig();
    change(config);
    controller.setDmxConfig(config);
}

void applyDmx(DMXController& controller, const QJsonObject& dmx)
{
    if (const auto universe = integer(dmx, "universe"))
        updateConfig(controller, [&](DMXConfig& c) { c.universe = *universe; });
    if (const auto subnet = integer(dmx, "subnet"))
        updateConfig(controller, [&](DMXConfig& c) { c.subnet = *subnet; });
    if (const auto net = integer(dmx, "net"))
        updateConfig(controller, [&](DMXConfig& c) { c.net = *net; });
    // `channel` is the older name of the same field: it counts only without `startChannel`.
    auto start = integer(dmx, "startChannel");
    if (!start)
        start = integer(dmx, "channel");
    if (start)
        updateConfig(controller, [&](DMXConfig& c) { c.startChannel = *start; });
    if (const auto modeText = string(dmx, "mode"))
        if (const auto mode = dmxModeFromRawValue(modeText->toStdString()))
            updateConfig(controller, [&](DMXConfig& c) { c.mode = *mode; });
}

void applyPlayback(const WebServices& services, const QJsonObject& playback)
{
    if (DMXController* controller = services.dmxController.data()) {
        if (const auto ignore = boolean(playback, "ignoreDMX"))
            controller->setIgnoreDMX(*ignore);
        if (const auto autoPlay = boolean(playback, "autoPlayNext"))
            controller->setAutoPlayNext(*autoPlay);
        if (const auto fps = integer(playback, "frameRate"))
            if (const auto rate = timecodeFrameRateFromRawValue(static_cast<double>(*fps)))
                updateConfig(*controller, [&](DMXConfig& c) { c.frameRate = *rate; });
    }
    if (const auto count = integer(playback, "preloadCount"))
        services.settings->setPreloadCount(static_cast<int>(*count));
    if (const auto budget = integer(playback, "preloadBudgetMB"))
        services.settings->setPreloadBudgetMB(static_cast<int>(*budget));
    if (const auto listening = boolean(playback, "isListening")) {
        ProtocolManager* protocols = services.protocolManager.data();
        if (DMXProtocolService* input = protocols ? protocols->activeInputService() : nullptr) {
            if (*listening)
                input->startListening();
            else
                input->stopListening();
        }
    }
}

void applyNdi(const WebServices& services, const QJsonObject& ndiGroup)
{
    NDIControl* ndi = services.ndiService.data();
    if (!ndi)
        return;
    if (const auto enabled = boolean(ndiGroup, "enabled")) {
        if (*enabled && !ndi->isBroadcasting()) {
            PlaybackEngine* engine = services.playbackEngine.data();
            ndi->startBroadcasting(engine ? engine->player() : nullptr);
        } else if (!*enabled && ndi->isBroadcasting()) {
            ndi->stopBroadcasting();
        }
    }
    if (const auto fps = number(ndiGroup, "fps"))
        if (ndiFPSFromRawValue(*fps))
            ndi->setFpsValue(*fps);
    if (const auto scale = asInt(integer(ndiGroup, "scale")))
        if (ndiResolutionScaleFromRawValue(*scale))
            ndi->setResolutionScaleValue(*scale);
}

// Only what changed is restarted: a Save of the whole settings page mid-show must not leave a
// gap in the console's DMX.
void applyProtocol(ProtocolManager& protocols, const QJsonObject& protocol)
{
    bool servicesChanged = false;
    if (const auto input = string(protocol, "input"))
        if (const auto type = dmxProtocolTypeFromRawValue(input->toStdString());
            type && *type != protocols.inputProtocol()) {
            protocols.setInputProtocol(*type);
            servicesChanged = true;
        }
    if (const auto output = string(protocol, "output"))
        if (const auto type = dmxProtocolTypeFromRawValue(output->toStdString());
            type && *type != protocols.outputProtocol()) {
            protocols.setOutputProtocol(*type);
            servicesChanged = true;
        }
    if (const auto citp = boolean(protocol, "citpEnabled"); citp && *citp != protocols.isCITPEnabled())
        protocols.setCITPEnabled(*citp);
    if (servicesChanged)
        protocols.updateServices();
}

void applyPattern(SettingsManager& store, const QJsonObject& pattern)
{
    if (const auto selected = string(pattern, "selected"))
        if (const auto value = audioVisualPatternFromRawValue(selected->toStdString()))
            store.setSelectedPattern(*value);
    if (const auto speed = number(pattern, "speed"))
        store.setPatternSpeed(*speed);
    if (const auto size = number(pattern, "size"))
        store.setPatternSize(*size);
    if (const auto gap = number(pattern, "gap"))
        store.setPatternGap(*gap);
    if (const auto autoRotate = boolean(pattern, "autoRotate"))
        store.setPatternAutoRotate(*autoRotate);
    if (const auto interval = number(pattern, "rotateInterval"))
        store.setPatternRotateInterval(*interval);
    if (const auto reactive = boolean(pattern, "audioReactive"))
        store.setAudioReactiveEnabled(*reactive);
}

void applyVideo(VideoEffectsManager& fx, const QJsonObject& video)
{
    if (const auto speed = number(video, "playbackSpeed"))
        fx.setPlaybackSpeed(static_cast<float>(*speed));
    if (const auto brightness = number(video, "brightness"))
        fx.setBrightness(static_cast<float>(*brightness));
    if (const auto saturation = number(video, "saturation"))
        fx.setSaturation(static_cast<float>(*saturation));
    if (const auto alpha = number(video, "alpha"))
        fx.setAlpha(static_cast<float>(*alpha));
    if (const auto inverted = boolean(video, "inverted"))
        fx.setIsInverted(*inverted);
}

void applyRgb(VideoEffectsManager& fx, const QJsonObject& rgb)
{
    if (const auto on = boolean(rgb, "redEnabled"))
        fx.setRedEnabled(*on);
    if (const auto on = boolean(rgb, "greenEnabled"))
        fx.setGreenEnabled(*on);
    if (const auto on = boolean(rgb, "blueEnabled"))
        fx.setBlueEnabled(*on);
    if (const auto shift = asInt(integer(rgb, "redTimeShift")))
        fx.setRedTimeShift(*shift);
    if (const auto shift = asInt(integer(rgb, "greenTimeShift")))
        fx.setGreenTimeShift(*shift);
    if (const auto shift = asInt(integer(rgb, "blueTimeShift")))
        fx.setBlueTimeShift(*shift);
    if (const auto offset = number(rgb, "redHOffset"))
        fx.setRedHorizontalOffset(*offset);
    if (const auto offset = number(rgb, "redVOffset"))
        fx.setRedVerticalOffset(*offset);
    if (const auto offset = number(rgb, "greenHOffset"))
        fx.setGreenHorizontalOffset(*offset);
    if (const auto offset = number(rgb, "greenVOffset"))
        fx.setGreenVerticalOffset(*offset);
    if (const auto offset = number(rgb, "blueHOffset"))
        fx.setBlueHorizontalOffset(*offset);
    if (const auto offset = number(rgb, "blueVOffset"))
        fx.setBlueVerticalOffset(*offset);
}

// Checked beforehand by settingsRefusal().
void applyWeb(WebRemoteSettings& remote, const QJsonObject& web)
{
    if (const auto name = string(web, "interface"))
        remote.setInterfaceName(*name);
    if (web.value("hostNames").isArray()) {
        QStringList names;
        for (const QJsonValue& name : web.value("hostNames").toArray())
            names.append(name.toString());
        remote.setHostNames(names);
    }
    if (const auto hours = number(web, "sessionIdleHours"))
        remote.setSessionIdleHours(*hours);
    if (const auto interval = number(web, "transportMinInterval"))
        remote.setTransportMinInterval(*interval);
}

// The values were checked before: what does not read is left as it is.
void applyTimecode(TimecodeSettings& settings, const QJsonObject& timecode)
{
    if (const auto text = string(timecode, "offset"))
        if (const auto offset = TimecodeSettings::parseOffset(*text))
            settings.setOffset(*offset);
    if (const auto follow = boolean(timecode, "followSelectedTrack"))
        settings.setFollowSelectedTrack(*follow);
    if (const auto frames = asInt(integer(timecode, "freewheelFrames")))
        settings.setFreewheelFrames(*frames);
    if (const auto ltcIn = webjson::object(timecode, "ltcIn")) {
        if (const auto device = string(*ltcIn, "device"))
            settings.setLtcInDevice(*device);
        if (const auto channel = asInt(integer(*ltcIn, "channel")))
            settings.setLtcInChannel(*channel);
    }
    if (const auto ltcOut = webjson::object(timecode, "ltcOut")) {
        if (const auto device = string(*ltcOut, "device"))
            settings.setLtcOutDevice(*device);
        if (const auto channel = asInt(integer(*ltcOut, "channel")))
            settings.setLtcOutChannel(*channel);
        if (const auto enabled = boolean(*ltcOut, "enabled"))
            settings.setLtcOutEnabled(*enabled);
    }
    // Last, so the player starts following with the offset given alongside.
    if (const auto text = string(timecode, "source"))
        if (const auto source = TimecodeSettings::sourceFromText(*text))
            settings.setSource(*source);
}

void applySync(SyncSettings& settings, const QJsonObject& sync)
{
    if (const auto leader = string(sync, "leader"))
        settings.setLeader(*leader);
    if (const auto group = string(sync, "group"))
        settings.setGroup(*group);
    if (const auto key = string(sync, "key"))
        settings.setKey(*key);
    if (const auto port = asInt(integer(sync, "clockPort")))
        settings.setClockPort(*port);
    if (const auto lead = asInt(integer(sync, "leadTimeMs")))
        settings.setLeadTimeMs(*lead);
    // Last, so the player joins with everything given alongside.
    if (const auto text = string(sync, "role"))
        if (const auto role = SyncSettings::roleFromText(*text))
            settings.setRole(*role);
}

} // namespace

void executeCommand(const WebServices& services, const QString& command, std::optional<double> position)
{
    assertMainThread();
    logLine("WebServer: Executing command " + printableForLog(command.toStdString()));
    if (DMXController* controller = services.dmxController.data();
        controller && !controller->acceptsTransportFrom("the web"))
        return;
    PlaybackEngine* engine = services.playbackEngine.data();
    if (command == QLatin1String("play")) {
        if (engine)
            engine->play();
    } else if (command == QLatin1String("pause")) {
        if (engine)
            engine->pause();
    } else if (command == QLatin1String("stop") || command == QLatin1String("prev")) {
        if (engine)
            engine->stop();
    } else if (command == QLatin1String("seek")) {
        if (engine && position)
            engine->seek(*position);
    } else if (command == QLatin1String("next")) {
        if (DMXController* controller = services.dmxController.data())
            controller->playNextTrack();
    }
}

void updateArtNetConfig(const WebServices& services, std::int64_t universe, std::int64_t subnet, std::int64_t net,
                        std::int64_t channel)
{
    assertMainThread();
    DMXController* controller = services.dmxController.data();
    if (!controller)
        return;
    updateConfig(*controller, [&](DMXConfig& c) { c.universe = universe; });
    updateConfig(*controller, [&](DMXConfig& c) { c.subnet = subnet; });
    updateConfig(*controller, [&](DMXConfig& c) { c.net = net; });
    updateConfig(*controller, [&](DMXConfig& c) { c.startChannel = channel; });
}

void applySettings(const WebServices& services, const QJsonObject& document, QObject* context)
{
    assertMainThread();
    if (const auto dmx = webjson::object(document, "dmx"))
        if (DMXController* controller = services.dmxController.data())
            applyDmx(*controller, *dmx);
    if (const auto playback = webjson::object(document, "playback"))
        applyPlayback(services, *playback);
    if (const auto ndi = webjson::object(document, "ndi"))
        applyNdi(services, *ndi);
    if (const auto protocol = webjson::object(document, "protocol"))
        if (ProtocolManager* protocols = services.protocolManager.data())
            applyProtocol(*protocols, *protocol);
    if (const auto timecode = webjson::object(document, "timecode"))
        if (services.timecode)
            applyTimecode(*services.timecode, *timecode);
    if (const auto sync = webjson::object(document, "sync"))
        if (services.sync)
            applySync(*services.sync, *sync);
    if (const auto network = webjson::object(document, "network")) {
        if (const auto ip = string(*network, "interfaceIP"))
            services.settings->setSelectedInterfaceIP(*ip);
        if (const auto broadcast = string(*network, "interfaceBroadcast"))
            services.settings->setSelectedInterfaceBroadcast(*broadcast);
    }
    if (const auto theme = webjson::object(document, "theme")) {
        if (const auto id = string(*theme, "current")) {
            postToMain(context, [themes = services.themeManager, id = *id] {
                if (themes)
                    themes->setTheme(id);
            });
        }
    }
    if (const auto video = webjson::object(document, "defaultVideo")) {
        if (boolean(*video, "clear") == true)
            postToMain(context, [store = services.settings] { store->clearDefaultVideo(); });
    }
    if (const auto library = webjson::object(document, "library")) {
        if (const auto folder = string(*library, "mediaFolder"))
            services.settings->setMediaFolder(*folder);
        if (const auto limit = integer(*library, "uploadSizeLimit"))
            services.settings->setUploadSizeLimit(*limit);
    }
    if (const auto web = webjson::object(document, "web"); web && services.remote)
        applyWeb(*services.remote, *web);
}

void applyEffectsSettings(const WebServices& services, const QJsonObject& document)
{
    assertMainThread();
    if (const auto pattern = webjson::object(document, "pattern"))
        applyPattern(*services.settings, *pattern);
    if (const auto video = webjson::object(document, "video"))
        applyVideo(*services.effects, *video);
    if (const auto rgb = webjson::object(document, "rgb"))
        applyRgb(*services.effects, *rgb);
    if (boolean(document, "reset") == true)
        services.effects->resetAll();
}

} // namespace orvelo::WebActions
