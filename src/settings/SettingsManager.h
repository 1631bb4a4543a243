#pragma once

#include "platform/SettingsStore.h"
#include "playback/BackgroundVideo.h"
#include "playback/PatternState.h"
#include "playback/TrackPreloader.h"

#include <QColor>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <optional>

namespace orvelo {

// Application-wide settings outside the DMX configuration and the playlist. All survive a
// restart: the background video (as a file bookmark), whether it shows in the in-app player,
// the chosen interface's address and broadcast address, the media library and upload limit
// are written the moment they are assigned; the pattern settings, which a console may sweep
// many times a second, are written within a second of their last change. The pattern settings
// are published in patterns(), the chosen background video's player in backgroundVideo(), for
// the playback side to read.
// One process-wide instance, `shared()`; main thread only.
class SettingsManager : public QObject {
    Q_OBJECT
    Q_PROPERTY(
        std::optional<QUrl> defaultVideoURL READ defaultVideoURL WRITE setDefaultVideoURL NOTIFY defaultVideoURLChanged)
    Q_PROPERTY(bool showDefaultVideoInPlayer READ showDefaultVideoInPlayer WRITE setShowDefaultVideoInPlayer NOTIFY
                   showDefaultVideoInPlayerChanged)
    Q_PROPERTY(std::optional<QString> selectedInterfaceIP READ selectedInterfaceIP WRITE setSelectedInterfaceIP NOTIFY
                   selectedInterfaceIPChanged)
    Q_PROPERTY(std::optional<QString> selectedInterfaceBroadcast READ selectedInterfaceBroadcast WRITE
                   setSelectedInterfaceBroadcast NOTIFY selectedInterfaceBroadcastChanged)
    Q_PROPERTY(orvelo::AudioVisualPattern selectedPattern READ selectedPattern WRITE setSelectedPattern NOTIFY
                   selectedPatternChanged)
    Q_PROPERTY(double patternSpeed READ patternSpeed WRITE setPatternSpeed NOTIFY patternSpeedChanged)
    Q_PROPERTY(double patternSize READ patternSize WRITE setPatternSize NOTIFY patternSizeChanged)
    Q_PROPERTY(double patternGap READ patternGap WRITE setPatternGap NOTIFY patternGapChanged)
    Q_PROPERTY(QColor patternColor1 READ patternColor1 WRITE setPatternColor1 NOTIFY patternColor1Changed)
    Q_PROPERTY(QColor patternColor2 READ patternColor2 WRITE setPatternColor2 NOTIFY patternColor2Changed)
    Q_PROPERTY(bool patternAutoRotate READ patternAutoRotate WRITE setPatternAutoRotate NOTIFY patternAutoRotateChanged)
    Q_PROPERTY(double patternRotateInterval READ patternRotateInterval WRITE setPatternRotateInterval NOTIFY
                   patternRotateIntervalChanged)
    Q_PROPERTY(bool audioReactiveEnabled READ audioReactiveEnabled WRITE setAudioReactiveEnabled NOTIFY
                   audioReactiveEnabledChanged)
    Q_PROPERTY(QString mediaFolder READ mediaFolder WRITE setMediaFolder NOTIFY mediaFolderChanged)
    Q_PROPERTY(qint64 uploadSizeLimit READ uploadSizeLimit WRITE setUploadSizeLimit NOTIFY uploadSizeLimitChanged)
public:
    static inline const QString defaultVideoURLKey = QStringLiteral("defaultVideoURL");
    static inline const QString showDefaultVideoInPlayerKey = QStringLiteral("showDefaultVideoInPlayer");
    static inline const QString selectedInterfaceIPKey = QStringLiteral("selectedInterfaceIP");
    static inline const QString selectedInterfaceBroadcastKey = QStringLiteral("selectedInterfaceBroadcast");
    static inline const QString mediaFolderKey = QStringLiteral("mediaFolder");
    static inline const QString uploadSizeLimitKey = QStringLiteral("uploadSizeLimit");
    static inline const QString deviceLabelKey = QStringLiteral("deviceLabel");
    static inline const QString preloadCountKey = QStringLiteral("preloadCount");
    static inline const QString preloadBudgetMBKey = QStringLiteral("preloadBudgetMB");
    static inline const QString patternSettingsKey = QStringLiteral("patternSettings");
    static constexpr qint64 defaultUploadSizeLimit = 20LL * 1024 * 1024 * 1024;

    // Created on first use and never destroyed.
    static SettingsManager& shared();

    // Reads the persisted values from the store and reopens the background video. Only
    // shared() makes one in the program; tests make their own to play a restart.
    explicit SettingsManager(QObject* parent = nullptr);
    ~SettingsManager() override;

    const std::optional<QUrl>& defaultVideoURL() const { return defaultVideoURL_; }
    // Stores a bookmark of the file, or removes it for none. A file that cannot be
    // bookmarked is used for this run but not remembered. The player is left as it is.
    void setDefaultVideoURL(std::optional<QUrl> url);
    // The file the operator chose as the background video: remembered, and backgroundVideo()
    // opens it (not started), replacing the previous player.
    void selectDefaultVideo(const QUrl& file);
    // Forgets the background video and lets its player go.
    void clearDefaultVideo();

    // The player of the remembered background video, opened at start-up.
    BackgroundVideo& backgroundVideo() { return backgroundVideo_; }

    bool showDefaultVideoInPlayer() const { return showDefaultVideoInPlayer_; }
    void setShowDefaultVideoInPlayer(bool show);

    // Stored verbatim, without validation; none removes the key.
    const std::optional<QString>& selectedInterfaceIP() const { return selectedInterfaceIP_; }
    void setSelectedInterfaceIP(std::optional<QString> address);
    const std::optional<QString>& selectedInterfaceBroadcast() const { return selectedInterfaceBroadcast_; }
    void setSelectedInterfaceBroadcast(std::optional<QString> address);

    // The pattern settings as they stand; a selection the auto-rotation stores there counts
    // as the operator's, notified and written like one.
    PatternState& patterns() { return patterns_; }
    const PatternState& patterns() const { return patterns_; }
    AudioVisualPattern selectedPattern() const { return patterns_.parameters().selected; }
    void setSelectedPattern(AudioVisualPattern pattern);
    double patternSpeed() const { return patterns_.parameters().speed; }
    void setPatternSpeed(double speed);
    double patternSize() const { return patterns_.parameters().size; }
    void setPatternSize(double size);
    double patternGap() const { return patterns_.parameters().gap; }
    void setPatternGap(double gap);
    QColor patternColor1() const { return patterns_.parameters().color1; }
    void setPatternColor1(const QColor& color);
    QColor patternColor2() const { return patterns_.parameters().color2; }
    void setPatternColor2(const QColor& color);
    bool patternAutoRotate() const { return patterns_.parameters().autoRotate; }
    void setPatternAutoRotate(bool enabled);
    double patternRotateInterval() const { return patterns_.parameters().rotateInterval; }
    void setPatternRotateInterval(double seconds);
    bool audioReactiveEnabled() const { return patterns_.parameters().audioReactive; }
    void setAudioReactiveEnabled(bool enabled);

    // The media library of a player prepared without a screen. Defaults to
    // $XDG_DATA_HOME/Orvelo/Media; an empty or relative path restores the default. The folder
    // is created by whoever first uses it, not here, so a mistyped path creates nothing.
    const QString& mediaFolder() const { return mediaFolder_; }
    void setMediaFolder(const QString& path);
    // Given on the command line: used for this run, the stored folder left as it is.
    void useMediaFolderForThisRun(const QString& path);
    static QString defaultMediaFolder();
    // Saved playlists live beside the default library, whatever folder the media come from.
    static QString playlistsFolder();

    // The largest file an upload may write, in bytes; values below 1 are refused.
    qint64 uploadSizeLimit() const { return uploadSizeLimit_; }
    void setUploadSizeLimit(qint64 bytes);

    // How many tracks the player keeps ready to start (0 to TrackPreloader::maximumCount), and
    // the memory they may hold in MB; values out of range are refused.
    int preloadCount() const { return preloadCount_; }
    void setPreloadCount(int count);
    int preloadBudgetMB() const { return preloadBudgetMB_; }
    void setPreloadBudgetMB(int megabytes);

    // The node's name as a console set it over RDM; none until then. Stored verbatim (the
    // responder keeps it printable).
    const std::optional<QString>& deviceLabel() const { return deviceLabel_; }
    void setDeviceLabel(std::optional<QString> label);

signals:
    void defaultVideoURLChanged();
    void showDefaultVideoInPlayerChanged(bool show);
    void selectedInterfaceIPChanged();
    void selectedInterfaceBroadcastChanged();
    void selectedPatternChanged(orvelo::AudioVisualPattern pattern);
    void patternSpeedChanged(double speed);
    void patternSizeChanged(double size);
    void patternGapChanged(double gap);
    void patternColor1Changed(const QColor& color);
    void patternColor2Changed(const QColor& color);
    void patternAutoRotateChanged(bool enabled);
    void patternRotateIntervalChanged(double seconds);
    void audioReactiveEnabledChanged(bool enabled);
    void mediaFolderChanged(const QString& path);
    void uploadSizeLimitChanged(qint64 bytes);
    void preloadChanged();
    void deviceLabelChanged();

private:
    void loadDefaultVideoURL();
    void loadPatternSettings();
    void savePatternSettings();
    template <typename Field> bool setPatternField(Field PatternParameters::*field, const Field& value);
    void storeText(const QString& key, const std::optional<QString>& value);

    SettingsStore store_;
    std::optional<QUrl> defaultVideoURL_;
    bool showDefaultVideoInPlayer_ = true;
    std::optional<QString> selectedInterfaceIP_;
    std::optional<QString> selectedInterfaceBroadcast_;
    QString mediaFolder_;
    qint64 uploadSizeLimit_ = defaultUploadSizeLimit;
    int preloadCount_ = TrackPreloader::defaultCount;
    int preloadBudgetMB_ = TrackPreloader::defaultBudgetMB;
    std::optional<QString> deviceLabel_;
    PatternState patterns_;
    QTimer patternSave_;
    BackgroundVideo backgroundVideo_;
};

} // namespace orvelo
