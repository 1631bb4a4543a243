#pragma once

#include <QAbstractListModel>
#include <QHash>
#include <QList>
#include <QUrl>
#include <QUuid>

namespace orvelo {

class DMXController;
class PlaybackEngine;

// The playlist as the playlist view lists it, one row per track in playlist order, and the
// view's edits passed straight to the playlist (which saves every change). Durations are
// probed once per file in the background. Main thread.
class PlaylistModel : public QAbstractListModel {
    Q_OBJECT
    Q_PROPERTY(int count READ count NOTIFY countChanged)
    Q_PROPERTY(bool autoPlayNext READ autoPlayNext WRITE setAutoPlayNext NOTIFY autoPlayNextChanged)
    Q_PROPERTY(QString status READ status NOTIFY statusChanged)
    Q_PROPERTY(bool statusIsError READ statusIsError NOTIFY statusChanged)
public:
    enum Role {
        numberRole = Qt::UserRole + 1,
        nameRole,
        durationRole,
        loopRole,
        repeatCountRole,
        currentRole,
        problemRole
    };

    PlaylistModel(DMXController& controller, PlaybackEngine& engine, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    int count() const { return rowCount(); }
    bool autoPlayNext() const;
    void setAutoPlayNext(bool enabled);
    const QString& status() const { return status_; }
    bool statusIsError() const { return statusIsError_; }

    Q_INVOKABLE void moveUp(int index);
    Q_INVOKABLE void moveDown(int index);
    Q_INVOKABLE void remove(int index);
    Q_INVOKABLE void setRepeatCount(int index, int count);
    Q_INVOKABLE void play(int index);
    // Files chosen in the importer or dropped on the list; anything but local files is refused.
    Q_INVOKABLE void addFiles(const QList<QUrl>& urls);
    Q_INVOKABLE void savePlaylist(const QUrl& file);
    Q_INVOKABLE void loadPlaylist(const QUrl& file);

    // "m:ss" (or "h:mm:ss") of a length in seconds; "--:--" while unknown.
    static QString durationText(double seconds);

signals:
    void countChanged();
    void autoPlayNextChanged();
    void statusChanged();

private:
    void reload();
    void probeDurations();
    void setStatus(QString text, bool isError);

    DMXController& controller_;
    PlaybackEngine& engine_;
    QHash<QString, double> durations_; // by local path; negative: probe failed
    QSet<QString> probing_;
    QString status_;
    bool statusIsError_ = false;
};

} // namespace orvelo
