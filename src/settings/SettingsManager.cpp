#include "settings/SettingsManager.h"

#include "platform/FileBookmark.h"
#include "platform/Log.h"
#include "playback/PlaybackEngine.h"
#include "playback/VideoComposition.h"
#include "playback/VideoEffectsManager.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

namespace orvelo {

namespace {

void log(const QString& line)
{
    logLine(line.toStdString());
}

} // namespace

SettingsManager& SettingsManager::shared()
{
    // Deliberately leaked: it lives as long as the process, past the application object.
    static auto* instance = new SettingsManager;
    return *instance;
}

SettingsManager::SettingsManager(QObject* parent)
    : QObject(parent)
{
    // A stored value of the wrong kind is read as the default and left in the store, so that
    // nothing is overwritten before the operator changes the setting.
    const auto show = store_.boolean(showDefaultVideoInPlayerKey);
    showDefaultVideoInPlayer_ = show.value_or(true);
    if (!store_.contains(showDefaultVideoInPlayerKey))
        store_.setBool(showDefaultVideoInPlayerKey, showDefaultVideoInPlayer_);
    store_.sync();

    selectedInterfaceIP_ = store_.text(selectedInterfaceIPKey);
    selectedInterfaceBroadcast_ = store_.text(selectedInterfaceBroadcastKey);

    const auto folder = store_.text(mediaFolderKey);
    mediaFolder_ = folder && QDir::isAbsolutePath(*folder) ? QDir::cleanPath(*folder) : defaultMediaFolder();
    bool limitValid = false;
    const qint64 limit = store_.text(uploadSizeLimitKey).value_or(QString()).toLongLong(&limitValid);
    if (limitValid && limit > 0)
        uploadSizeLimit_ = limit;

    loadPatternSettings();
    patternSave_.setSingleShot(true);
    patternSave_.setInterval(1000);
    connect(&patternSave_, &QTimer::timeout, this, &SettingsManager::savePatternSettings);
    for (const auto signal : {&SettingsManager::patternSpeedChanged, &SettingsManager::patternSizeChanged,
                              &SettingsManager::patternGapChanged, &SettingsManager::patternRotateIntervalChanged})
        connect(this, signal, &patternSave_, qOverload<>(&QTimer::start));
    for (const auto signal : {&SettingsManager::patternAutoRotateChanged, &SettingsManager::audioReactiveEnabledChanged})
        connect(this, signal, &patternSave_, qOverload<>(&QTimer::start));
    for (const auto signal : {&SettingsManager::patternColor1Changed, &SettingsManager::patternColor2Changed})
        connect(this, signal, &patternSave_, qOverload<>(&QTimer::start));
    connect(this, &SettingsManager::selectedPatternChanged, &patternSave_, qOverload<>(&QTimer::start));

    loadDefaultVideoURL();
}

SettingsManager::~SettingsManager()
{
    // A change still waiting for its write is not lost when the program ends.
    if (patternSave_.isActive())
        savePatternSettings();
}

void SettingsManager::loadPatternSettings()
{
    const QJsonObject stored = QJsonDocument::fromJson(store_.text(patternSettingsKey).value_or(QString()).toUtf8()).object();
    const auto number = [&](const char* key, double& field) {
        if (const QJsonValue value = stored.value(QLatin1String(key)); value.isDouble() && std::isfinite(value.toDouble()))
            field = value.toDouble();
    };
    const auto flag = [&](const char* key, bool& field) {
        if (const QJsonValue value = stored.value(QLatin1String(key)); value.isBool())
            field = value.toBool();
    };
    const auto colour = [&](const char* key, QColor& field) {
        if (const QColor value(stored.value(QLatin1String(key)).toString()); value.isValid())
            field = value;
    };
    if (const auto pattern = audioVisualPatternFromRawValue(stored.value("selected").toString().toStdString()))
        selectedPattern_ = *pattern;
    number("speed", patternSpeed_);
    number("size", patternSize_);
    number("gap", patternGap_);
    number("rotateInterval", patternRotateInterval_);
    flag("autoRotate", patternAutoRotate_);
    flag("audioReactive", audioReactiveEnabled_);
    colour("color1", patternColor1_);
    colour("color2", patternColor2_);
}

void SettingsManager::savePatternSettings()
{
    const QJsonObject settings{
        {"selected", QString::fromUtf8(rawValue(selectedPattern_))},
        {"speed", patternSpeed_},
        {"size", patternSize_},
        {"gap", patternGap_},
        {"rotateInterval", patternRotateInterval_},
        {"autoRotate", patternAutoRotate_},
        {"audioReactive", audioReactiveEnabled_},
        {"color1", patternColor1_.name()},
        {"color2", patternColor2_.name()},
    };
    store_.setText(patternSettingsKey, QString::fromUtf8(QJsonDocument(settings).toJson(QJsonDocument::Compact)));
    store_.sync();
}

void SettingsManager::loadDefaultVideoURL()
{
    const auto bookmark = store_.bytes(defaultVideoURLKey);
    if (!bookmark) {
        log("SettingsManager: No saved default video bookmark found");
        return;
    }
    log("SettingsManager: Found bookmark data, attempting to resolve...");
    const auto resolved = FileBookmark::resolve(*bookmark);
    if (!resolved) {
        log("SettingsManager: Failed to resolve bookmark data");
        return;
    }
    const QString path = resolved->url.toLocalFile();
    log("SettingsManager: Resolved URL: " + path + ", isStale: " + (resolved->isStale ? "true" : "false"));
    // Access is a readability check here, which a missing file would fail as well: look for
    // the file first, so that a deleted video clears its bookmark instead of failing at
    // every start.
    if (!FileBookmark::fileExists(resolved->url)) {
        log("SettingsManager: Default video file not found at " + path + ", clearing setting");
        store_.remove(defaultVideoURLKey);
        store_.sync();
        return;
    }
    if (!FileBookmark::startAccessing(resolved->url)) {
        log("SettingsManager: Failed to access security scoped resource");
        return;
    }
    log("SettingsManager: Default video loaded successfully: " + resolved->url.fileName());
    setDefaultVideoURL(resolved->url);
    setupDefaultVideoPlayer();
}

void SettingsManager::setDefaultVideoURL(std::optional<QUrl> url)
{
    defaultVideoURL_ = std::move(url);
    emit defaultVideoURLChanged();
    if (!defaultVideoURL_) {
        store_.remove(defaultVideoURLKey);
    } else if (const auto bookmark = FileBookmark::create(*defaultVideoURL_)) {
        store_.setBytes(defaultVideoURLKey, *bookmark);
    }
    store_.sync();
}

void SettingsManager::selectDefaultVideo(const QUrl& file)
{
    setDefaultVideoURL(file);
    setupDefaultVideoPlayer();
}

void SettingsManager::clearDefaultVideo()
{
    setDefaultVideoURL(std::nullopt);
    releaseDefaultVideoPlayer();
    disconnect(endObserver_);
    emit defaultVideoPlayerChanged();
}

void SettingsManager::setupDefaultVideoPlayer()
{
    if (!defaultVideoURL_)
        return;
    auto item = MediaItem::load(defaultVideoURL_->toLocalFile(), VideoComposition::sourceFormat());
    VideoComposition::attach(*item);
    // A file without a usable picture plays without effects, as does one that fails.
    connect(
        item.get(), &MediaItem::statusChanged, item.get(),
        [raw = item.get()] {
            if (!VideoComposition::hasRenderablePicture(*raw))
                VideoComposition::detach(*raw);
        },
        Qt::SingleShotConnection);

    releaseDefaultVideoPlayer();
    auto* player = new MediaPlayer(this);
    player->setMuted(true);
    player->replaceCurrentItem(std::move(item));
    disconnect(endObserver_);
    // The player stays on its last frame at the end; this starts it again, endlessly.
    endObserver_ = connect(player, &MediaPlayer::itemDidPlayToEnd, this, [player] {
        player->seekToZero();
        player->setRate(VideoEffectsManager::shared().playbackSpeed());
    });
    defaultVideoPlayer_ = player;
    emit defaultVideoPlayerChanged();
}

void SettingsManager::releaseDefaultVideoPlayer()
{
    if (!defaultVideoPlayer_)
        return;
    defaultVideoPlayer_->pause();
    // Later, so that a view handed the player in this turn of the event loop can let go first.
    defaultVideoPlayer_->deleteLater();
    defaultVideoPlayer_.clear();
}

void SettingsManager::playDefaultVideo()
{
    if (!defaultVideoPlayer_)
        return;
    defaultVideoPlayer_->seekToZero();
    defaultVideoPlayer_->setRate(VideoEffectsManager::shared().playbackSpeed());
}

void SettingsManager::bindToPlaybackEngine(PlaybackEngine& engine)
{
    for (const auto& connection : cancellables_)
        disconnect(connection);
    cancellables_.clear();

    cancellables_.push_back(connect(&engine, &PlaybackEngine::isPlayingChanged, this, [this](bool playing) {
        if (!playing && defaultVideoPlayer_)
            defaultVideoPlayer_->pause();
    }));
    cancellables_.push_back(connect(&engine, &PlaybackEngine::currentTrackChanged, this, [this] {
        if (defaultVideoPlayer_)
            defaultVideoPlayer_->seekToZero();
    }));
    auto& effects = VideoEffectsManager::shared();
    QPointer<PlaybackEngine> weakEngine(&engine);
    cancellables_.push_back(
        connect(&effects, &VideoEffectsManager::playbackSpeedChanged, this, [this, weakEngine](float speed) {
            if (defaultVideoPlayer_)
                defaultVideoPlayer_->setRate(speed);
            if (!weakEngine)
                return;
            weakEngine->setPlaybackRate(speed);
            if (weakEngine->isPlaying() && weakEngine->player())
                weakEngine->player()->setRate(speed);
        }));
    // The engine starts out at the effects speed. The background player is not touched here:
    // only playDefaultVideo() and later speed changes start it.
    engine.setPlaybackRate(effects.playbackSpeed());
}

void SettingsManager::setShowDefaultVideoInPlayer(bool show)
{
    showDefaultVideoInPlayer_ = show;
    emit showDefaultVideoInPlayerChanged(show);
    store_.setBool(showDefaultVideoInPlayerKey, show);
    store_.sync();
}

void SettingsManager::storeText(const QString& key, const std::optional<QString>& value)
{
    if (value)
        store_.setText(key, *value);
    else
        store_.remove(key);
    store_.sync();
}

void SettingsManager::setSelectedInterfaceIP(std::optional<QString> address)
{
    selectedInterfaceIP_ = std::move(address);
    emit selectedInterfaceIPChanged();
    storeText(selectedInterfaceIPKey, selectedInterfaceIP_);
}

void SettingsManager::setSelectedInterfaceBroadcast(std::optional<QString> address)
{
    selectedInterfaceBroadcast_ = std::move(address);
    emit selectedInterfaceBroadcastChanged();
    storeText(selectedInterfaceBroadcastKey, selectedInterfaceBroadcast_);
}

QString SettingsManager::defaultMediaFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Orvelo/Media");
}

QString SettingsManager::playlistsFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Orvelo/Playlists");
}

void SettingsManager::setMediaFolder(const QString& path)
{
    const bool usable = !path.isEmpty() && QDir::isAbsolutePath(path);
    mediaFolder_ = usable ? QDir::cleanPath(path) : defaultMediaFolder();
    emit mediaFolderChanged(mediaFolder_);
    storeText(mediaFolderKey, usable ? std::optional<QString>(mediaFolder_) : std::nullopt);
}

void SettingsManager::setUploadSizeLimit(qint64 bytes)
{
    if (bytes < 1) {
        log("SettingsManager: Ignoring upload size limit " + QString::number(bytes));
        return;
    }
    uploadSizeLimit_ = bytes;
    emit uploadSizeLimitChanged(bytes);
    storeText(uploadSizeLimitKey, QString::number(bytes));
}

void SettingsManager::setSelectedPattern(AudioVisualPattern pattern)
{
    selectedPattern_ = pattern;
    emit selectedPatternChanged(pattern);
}

void SettingsManager::setPatternSpeed(double speed)
{
    patternSpeed_ = speed;
    emit patternSpeedChanged(speed);
}

void SettingsManager::setPatternSize(double size)
{
    patternSize_ = size;
    emit patternSizeChanged(size);
}

void SettingsManager::setPatternGap(double gap)
{
    patternGap_ = gap;
    emit patternGapChanged(gap);
}

void SettingsManager::setPatternColor1(const QColor& color)
{
    patternColor1_ = color;
    emit patternColor1Changed(color);
}

void SettingsManager::setPatternColor2(const QColor& color)
{
    patternColor2_ = color;
    emit patternColor2Changed(color);
}

void SettingsManager::setPatternAutoRotate(bool enabled)
{
    patternAutoRotate_ = enabled;
    emit patternAutoRotateChanged(enabled);
}

void SettingsManager::setPatternRotateInterval(double seconds)
{
    patternRotateInterval_ = seconds;
    emit patternRotateIntervalChanged(seconds);
}

void SettingsManager::setAudioReactiveEnabled(bool enabled)
{
    audioReactiveEnabled_ = enabled;
    emit audioReactiveEnabledChanged(enabled);
}

} // namespace orvelo
