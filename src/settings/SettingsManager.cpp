#include "settings/SettingsManager.h"

#include "platform/MainThread.h"

#include "platform/FileBookmark.h"
#include "platform/Log.h"

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

SettingsManager::SettingsManager(QObject* parent) : QObject(parent)
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
    deviceLabel_ = store_.text(deviceLabelKey);

    const auto folder = store_.text(mediaFolderKey);
    mediaFolder_ = folder && QDir::isAbsolutePath(*folder) ? QDir::cleanPath(*folder) : defaultMediaFolder();
    bool limitValid = false;
    const qint64 limit = store_.text(uploadSizeLimitKey).value_or(QString()).toLongLong(&limitValid);
    if (limitValid && limit > 0)
        uploadSizeLimit_ = limit;
    bool countValid = false, budgetValid = false;
    const int count = store_.text(preloadCountKey).value_or(QString()).toInt(&countValid);
    if (countValid && count >= 0 && count <= TrackPreloader::maximumCount)
        preloadCount_ = count;
    const int budget = store_.text(preloadBudgetMBKey).value_or(QString()).toInt(&budgetValid);
    if (budgetValid && budget >= TrackPreloader::minimumBudgetMB && budget <= TrackPreloader::maximumBudgetMB)
        preloadBudgetMB_ = budget;

    loadPatternSettings();
    patternSave_.setSingleShot(true);
    patternSave_.setInterval(1000);
    connect(&patternSave_, &QTimer::timeout, this, &SettingsManager::savePatternSettings);
    // Whoever changed them (a setter here or the auto-rotation), the stored copy follows.
    connect(&patterns_, &PatternState::parametersChanged, &patternSave_, qOverload<>(&QTimer::start));
    connect(&patterns_, &PatternState::selectedPatternChanged, this, &SettingsManager::selectedPatternChanged);

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
    const QJsonObject stored =
        QJsonDocument::fromJson(store_.text(patternSettingsKey).value_or(QString()).toUtf8()).object();
    const auto number = [&](const char* key, double& field) {
        if (const QJsonValue value = stored.value(QLatin1String(key));
            value.isDouble() && std::isfinite(value.toDouble()))
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
    PatternParameters loaded;
    if (const auto pattern = audioVisualPatternFromRawValue(stored.value("selected").toString().toStdString()))
        loaded.selected = *pattern;
    number("speed", loaded.speed);
    number("size", loaded.size);
    number("gap", loaded.gap);
    number("rotateInterval", loaded.rotateInterval);
    flag("autoRotate", loaded.autoRotate);
    flag("audioReactive", loaded.audioReactive);
    colour("color1", loaded.color1);
    colour("color2", loaded.color2);
    patterns_.setParameters(loaded);
}

void SettingsManager::savePatternSettings()
{
    const PatternParameters& current = patterns_.parameters();
    const QJsonObject settings{
        {"selected", QString::fromUtf8(rawValue(current.selected))},
        {"speed", current.speed},
        {"size", current.size},
        {"gap", current.gap},
        {"rotateInterval", current.rotateInterval},
        {"autoRotate", current.autoRotate},
        {"audioReactive", current.audioReactive},
        {"color1", current.color1.name()},
        {"color2", current.color2.name()},
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
    backgroundVideo_.open(resolved->url);
}

void SettingsManager::setDefaultVideoURL(std::optional<QUrl> url)
{
    assertMainThread();
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
    assertMainThread();
    setDefaultVideoURL(file);
    backgroundVideo_.open(file);
}

void SettingsManager::clearDefaultVideo()
{
    assertMainThread();
    setDefaultVideoURL(std::nullopt);
    backgroundVideo_.close();
}

void SettingsManager::setShowDefaultVideoInPlayer(bool show)
{
    assertMainThread();
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

void SettingsManager::setDeviceLabel(std::optional<QString> label)
{
    assertMainThread();
    if (label == deviceLabel_)
        return;
    deviceLabel_ = std::move(label);
    emit deviceLabelChanged();
    storeText(deviceLabelKey, deviceLabel_);
}

void SettingsManager::setSelectedInterfaceIP(std::optional<QString> address)
{
    assertMainThread();
    selectedInterfaceIP_ = std::move(address);
    emit selectedInterfaceIPChanged();
    storeText(selectedInterfaceIPKey, selectedInterfaceIP_);
}

void SettingsManager::setSelectedInterfaceBroadcast(std::optional<QString> address)
{
    assertMainThread();
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
    assertMainThread();
    const bool usable = !path.isEmpty() && QDir::isAbsolutePath(path);
    mediaFolder_ = usable ? QDir::cleanPath(path) : defaultMediaFolder();
    emit mediaFolderChanged(mediaFolder_);
    storeText(mediaFolderKey, usable ? std::optional<QString>(mediaFolder_) : std::nullopt);
}

void SettingsManager::useMediaFolderForThisRun(const QString& path)
{
    assertMainThread();
    mediaFolder_ = QDir::cleanPath(path);
    emit mediaFolderChanged(mediaFolder_);
}

void SettingsManager::setUploadSizeLimit(qint64 bytes)
{
    assertMainThread();
    if (bytes < 1) {
        log("SettingsManager: Ignoring upload size limit " + QString::number(bytes));
        return;
    }
    uploadSizeLimit_ = bytes;
    emit uploadSizeLimitChanged(bytes);
    storeText(uploadSizeLimitKey, QString::number(bytes));
}

void SettingsManager::setPreloadCount(int count)
{
    assertMainThread();
    if (count < 0 || count > TrackPreloader::maximumCount) {
        log("SettingsManager: Ignoring preload count " + QString::number(count));
        return;
    }
    preloadCount_ = count;
    emit preloadChanged();
    storeText(preloadCountKey, QString::number(count));
}

void SettingsManager::setPreloadBudgetMB(int megabytes)
{
    assertMainThread();
    if (megabytes < TrackPreloader::minimumBudgetMB || megabytes > TrackPreloader::maximumBudgetMB) {
        log("SettingsManager: Ignoring preload budget " + QString::number(megabytes) + " MB");
        return;
    }
    preloadBudgetMB_ = megabytes;
    emit preloadChanged();
    storeText(preloadBudgetMBKey, QString::number(megabytes));
}

template <typename Field> bool SettingsManager::setPatternField(Field PatternParameters::*field, const Field& value)
{
    PatternParameters changed = patterns_.parameters();
    changed.*field = value;
    if (changed == patterns_.parameters())
        return false; // a held console value
    patterns_.setParameters(changed);
    return true;
}

void SettingsManager::setSelectedPattern(AudioVisualPattern pattern)
{
    assertMainThread();
    // Notified through the published state, as a rotation is.
    patterns_.setSelectedPattern(pattern);
}

void SettingsManager::setPatternSpeed(double speed)
{
    assertMainThread();
    if (setPatternField(&PatternParameters::speed, speed))
        emit patternSpeedChanged(speed);
}

void SettingsManager::setPatternSize(double size)
{
    assertMainThread();
    if (setPatternField(&PatternParameters::size, size))
        emit patternSizeChanged(size);
}

void SettingsManager::setPatternGap(double gap)
{
    assertMainThread();
    if (setPatternField(&PatternParameters::gap, gap))
        emit patternGapChanged(gap);
}

void SettingsManager::setPatternColor1(const QColor& color)
{
    assertMainThread();
    if (setPatternField(&PatternParameters::color1, color))
        emit patternColor1Changed(color);
}

void SettingsManager::setPatternColor2(const QColor& color)
{
    assertMainThread();
    if (setPatternField(&PatternParameters::color2, color))
        emit patternColor2Changed(color);
}

void SettingsManager::setPatternAutoRotate(bool enabled)
{
    assertMainThread();
    if (setPatternField(&PatternParameters::autoRotate, enabled))
        emit patternAutoRotateChanged(enabled);
}

void SettingsManager::setPatternRotateInterval(double seconds)
{
    assertMainThread();
    if (setPatternField(&PatternParameters::rotateInterval, seconds))
        emit patternRotateIntervalChanged(seconds);
}

void SettingsManager::setAudioReactiveEnabled(bool enabled)
{
    assertMainThread();
    if (setPatternField(&PatternParameters::audioReactive, enabled))
        emit audioReactiveEnabledChanged(enabled);
}

} // namespace orvelo
