#include "web/WebDocuments.h"

#include "core/DMXMode.h"
#include "core/TimecodeFrameRate.h"
#include "net/DMXProtocolType.h"
#include "net/NetworkManager.h"
#include "playback/AudioVisualPattern.h"
#include "settings/SyncSettings.h"
#include "web/WebJson.h"

namespace orvelo::WebDocuments {

namespace {

QString text(std::string_view raw)
{
    return QString::fromUtf8(raw.data(), static_cast<qsizetype>(raw.size()));
}

// Both DMX services publish the time of their last frame under this property.
bool receivedWithinOneSecond(const QObject& service, const QDateTime& now)
{
    const QDateTime last = service.property("lastPacketTime").toDateTime();
    return last.isValid() && last.msecsTo(now) < 1000;
}

QString idText(const QUuid& id)
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}

QJsonObject ltcOutStatus(const WebServices& services)
{
    const LtcSender* sender = services.ltcSender.data();
    return QJsonObject{
        {"sending", sender && sender->sending()},
        {"problem", sender ? sender->problem() : QString()},
    };
}

QJsonObject syncStatus(const WebServices& services)
{
    const SyncGroup* group = services.syncGroup.data();
    QJsonArray followers;
    if (const SyncLeader* leader = group ? group->leader() : nullptr)
        for (const auto& f : leader->followers())
            followers.append(QJsonObject{{"address", f.address},
                                         {"name", f.name},
                                         {"offsetMs", f.offsetMs},
                                         {"roundTripMs", f.roundTripMs},
                                         {"locked", f.locked},
                                         {"error", f.error}});
    return QJsonObject{
        {"role", group ? group->roleText() : QStringLiteral("off")},
        {"locked", !group || group->locked()},
        {"offsetMs", group ? group->offsetMs() : 0.0},
        {"problem", group ? group->problem() : QString()},
        {"followers", followers},
    };
}

} // namespace

std::optional<QJsonObject> status(const WebServices& services, const QDateTime& now)
{
    const PlaybackEngine* engine = services.playbackEngine.data();
    if (!engine)
        return std::nullopt;
    const DMXController* controller = services.dmxController.data();
    const ProtocolManager* protocols = services.protocolManager.data();
    const DMXProtocolService* input = protocols ? protocols->activeInputService() : nullptr;

    QJsonObject document;
    document["isPlaying"] = engine->isPlaying();
    document["state"] = text(rawValue(engine->state()));
    document["error"] = engine->error();
    document["playlistRevision"] = controller ? static_cast<double>(controller->playlist().revision()) : 0.0;
    document["trackName"] = engine->currentTrack() ? engine->currentTrack()->name : QStringLiteral("No Track");
    document["currentId"] = engine->currentTrack() ? idText(engine->currentTrack()->id) : QString();
    document["currentTime"] = engine->currentTime();
    document["duration"] = engine->duration();
    document["remainingTime"] = engine->remainingTime();
    document["ignoreDMX"] = controller && controller->ignoreDMX();
    document["isListening"] = input && input->isListening();
    document["frameRate"] = controller ? rawValue(controller->dmxConfig().frameRate) : 25.0;
    document["dmxValue"] = controller ? static_cast<int>(controller->currentDMXValue()) : 0;
    document["dmxChannel"] = controller ? static_cast<qint64>(controller->dmxConfig().startChannel) : qint64(1);
    document["artNetReceiving"] = protocols && receivedWithinOneSecond(protocols->artNetService(), now);
    document["sacnReceiving"] = protocols && receivedWithinOneSecond(protocols->sACNService(), now);
    document["inputNote"] = protocols ? protocols->inputNote() : QString();
    const TimecodeFollower* follower = services.timecodeFollower.data();
    document["timecode"] = QJsonObject{
        {"source",
         TimecodeSettings::text(services.timecode ? services.timecode->source() : TimecodeSettings::Source::console)},
        {"lock", follower ? follower->lockText() : QStringLiteral("off")},
        {"incoming", follower ? follower->incomingText() : QString()},
        {"errorFrames", follower ? follower->errorFrames() : 0.0},
        {"problem", follower ? follower->ltcProblem() : QString()},
        {"ltcOut", ltcOutStatus(services)},
    };
    document["sync"] = syncStatus(services);
    return document;
}

std::optional<QJsonArray> playlist(const WebServices& services)
{
    const DMXController* controller = services.dmxController.data();
    if (!controller)
        return std::nullopt;
    const PlaybackEngine* engine = services.playbackEngine.data();
    const std::optional<QUuid> currentId =
        engine && engine->currentTrack() ? std::optional<QUuid>(engine->currentTrack()->id) : std::nullopt;

    QJsonArray document;
    const QList<MediaTrack>& tracks = controller->playlist().playlist();
    for (qsizetype i = 0; i < tracks.size(); ++i) {
        const MediaTrack& track = tracks[i];
        const QString problem = Playlist::problemWith(track);
        document.append(QJsonObject{
            {"index", static_cast<qint64>(i)},
            {"name", track.name},
            {"id", idText(track.id)},
            {"isCurrent", currentId == track.id},
            {"repeatCount", track.repeatCount},
            {"missing", !problem.isEmpty()},
            {"problem", problem},
        });
    }
    return document;
}

std::optional<QJsonObject> artNetConfig(const WebServices& services)
{
    const DMXController* controller = services.dmxController.data();
    if (!controller)
        return std::nullopt;
    const DMXConfig& config = controller->dmxConfig();
    return QJsonObject{
        {"universe", static_cast<qint64>(config.universe)},
        {"subnet", static_cast<qint64>(config.subnet)},
        {"net", static_cast<qint64>(config.net)},
        {"channel", static_cast<qint64>(config.startChannel)},
    };
}

QJsonObject settings(const WebServices& services)
{
    const DMXController* controller = services.dmxController.data();
    const ProtocolManager* protocols = services.protocolManager.data();
    const NDIControl* ndi = services.ndiService.data();
    const ThemeManager* themes = services.themeManager.data();
    const SettingsManager* store = services.settings;

    const DMXConfig config = controller ? controller->dmxConfig() : DMXConfig{};
    const QJsonObject dmx{
        {"universe", static_cast<qint64>(config.universe)},
        {"subnet", static_cast<qint64>(config.subnet)},
        {"net", static_cast<qint64>(config.net)},
        {"startChannel", static_cast<qint64>(config.startChannel)},
        {"mode", text(rawValue(config.mode))},
        {"channel", static_cast<qint64>(config.startChannel)},
    };
    const QJsonObject playback{
        {"ignoreDMX", controller && controller->ignoreDMX()},
        {"autoPlayNext", controller && controller->autoPlayNext()},
        {"frameRate", rawValue(config.frameRate)},
        {"preloadCount", store ? store->preloadCount() : TrackPreloader::defaultCount},
        {"preloadBudgetMB", store ? store->preloadBudgetMB() : TrackPreloader::defaultBudgetMB},
    };
    const QJsonObject ndiGroup{
        {"enabled", ndi && ndi->isBroadcasting()},
        {"fps", ndi ? ndi->fpsValue() : 25.0},
        {"scale", ndi ? ndi->resolutionScaleValue() : 1},
    };
    const QJsonObject protocol{
        {"input", text(rawValue(protocols ? protocols->inputProtocol() : DMXProtocolType::artNet))},
        {"output", text(rawValue(protocols ? protocols->outputProtocol() : DMXProtocolType::artNet))},
        {"citpEnabled", protocols && protocols->isCITPEnabled()},
    };
    const QJsonObject network{
        {"interfaceIP", store ? store->selectedInterfaceIP().value_or(QString()) : QString()},
        {"interfaceBroadcast", store ? store->selectedInterfaceBroadcast().value_or(QString()) : QString()},
    };
    QJsonArray available;
    for (const Theme& theme : Theme::allThemes())
        available.append(QJsonObject{{"id", theme.id}, {"name", theme.name}});
    const QJsonObject theme{
        {"current", themes ? themes->currentTheme().id : QStringLiteral("onyx_dark")},
        {"available", available},
    };
    const std::optional<QUrl> video = store ? store->defaultVideoURL() : std::nullopt;
    const QJsonObject defaultVideo{
        {"hasVideo", video.has_value()},
        {"url", video ? video->fileName() : QStringLiteral("None")},
    };
    const WebRemoteSettings* remote = services.remote;
    const QJsonObject library{
        {"mediaFolder", store ? store->mediaFolder() : SettingsManager::defaultMediaFolder()},
        {"uploadSizeLimit",
         static_cast<double>(store ? store->uploadSizeLimit() : SettingsManager::defaultUploadSizeLimit)},
        {"roots", QJsonArray::fromStringList(remote ? remote->allLibraryRoots() : QStringList())},
    };
    QJsonArray interfaces;
    for (const NetworkInterface& interface : NetworkManager::getAvailableInterfaces())
        interfaces.append(QJsonObject{{"name", QString::fromStdString(interface.name)},
                                      {"address", QString::fromStdString(interface.ipAddress)}});
    const QJsonObject web{
        {"interface", remote ? remote->interfaceName() : QString()},
        {"interfaces", interfaces},
        {"hostNames", QJsonArray::fromStringList(remote ? remote->hostNames() : QStringList())},
        {"sessionIdleHours", remote ? remote->sessionIdleHours() : WebRemoteSettings::defaultSessionIdleHours},
        {"transportMinInterval",
         remote ? remote->transportMinInterval() : WebRemoteSettings::defaultTransportMinInterval},
    };
    const SyncSettings* sync = services.sync;
    // The key is never sent back: only whether one is set.
    const QJsonObject syncGroup{
        {"role", SyncSettings::text(sync ? sync->role() : SyncSettings::Role::off)},
        {"leader", sync ? sync->leader() : QString()},
        {"group", sync ? sync->group() : QString()},
        {"keySet", sync && sync->hasKey()},
        {"clockPort", sync ? static_cast<int>(sync->clockPort()) : int{SyncSettings::defaultClockPort}},
        {"leadTimeMs", sync ? sync->leadTimeMs() : SyncSettings::defaultLeadTimeMs},
    };
    const TimecodeSettings* timecode = services.timecode;
    const QJsonObject timecodeGroup{
        {"source", TimecodeSettings::text(timecode ? timecode->source() : TimecodeSettings::Source::console)},
        {"offset", timecode ? timecode->offset().text() : TimecodeSettings::Offset{}.text()},
        {"followSelectedTrack", timecode && timecode->followSelectedTrack()},
        {"freewheelFrames", timecode ? timecode->freewheelFrames() : TimecodeSettings::defaultFreewheelFrames},
        {"ltcIn", QJsonObject{{"device", timecode ? timecode->ltcInDevice() : QString()},
                              {"channel", timecode ? timecode->ltcInChannel() : 1}}},
        {"ltcOut", QJsonObject{{"enabled", timecode && timecode->ltcOutEnabled()},
                               {"device", timecode ? timecode->ltcOutDevice() : QString()},
                               {"channel", timecode ? timecode->ltcOutChannel() : 1}}},
    };
    return QJsonObject{
        {"dmx", dmx},
        {"playback", playback},
        {"ndi", ndiGroup},
        {"protocol", protocol},
        {"network", network},
        {"theme", theme},
        {"defaultVideo", defaultVideo},
        {"library", library},
        {"web", web},
        {"timecode", timecodeGroup},
        {"sync", syncGroup},
    };
}

QJsonObject effects(const WebServices& services)
{
    const SettingsManager& store = *services.settings;
    const VideoEffectsManager& fx = *services.effects;

    QJsonArray available;
    for (const AudioVisualPattern pattern : allAudioVisualPatterns)
        available.append(QJsonObject{{"id", text(rawValue(pattern))}, {"name", text(rawValue(pattern))}});
    const QJsonObject pattern{
        {"selected", text(rawValue(store.selectedPattern()))},
        {"available", available},
        {"speed", store.patternSpeed()},
        {"size", store.patternSize()},
        {"gap", store.patternGap()},
        {"autoRotate", store.patternAutoRotate()},
        {"rotateInterval", store.patternRotateInterval()},
        {"audioReactive", store.audioReactiveEnabled()},
    };
    const QJsonObject video{
        {"playbackSpeed", webjson::floatValue(fx.playbackSpeed())},
        {"brightness", webjson::floatValue(fx.brightness())},
        {"saturation", webjson::floatValue(fx.saturation())},
        {"alpha", webjson::floatValue(fx.alpha())},
        {"inverted", fx.isInverted()},
    };
    const QJsonObject rgb{
        {"redEnabled", fx.redEnabled()},
        {"greenEnabled", fx.greenEnabled()},
        {"blueEnabled", fx.blueEnabled()},
        {"redTimeShift", fx.redTimeShift()},
        {"greenTimeShift", fx.greenTimeShift()},
        {"blueTimeShift", fx.blueTimeShift()},
        {"redHOffset", fx.redHorizontalOffset()},
        {"redVOffset", fx.redVerticalOffset()},
        {"greenHOffset", fx.greenHorizontalOffset()},
        {"greenVOffset", fx.greenVerticalOffset()},
        {"blueHOffset", fx.blueHorizontalOffset()},
        {"blueVOffset", fx.blueVerticalOffset()},
    };
    return QJsonObject{{"pattern", pattern}, {"video", video}, {"rgb", rgb}};
}

} // namespace orvelo::WebDocuments
