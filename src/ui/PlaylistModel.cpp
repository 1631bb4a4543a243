#include "ui/PlaylistModel.h"

#include "core/DMXController.h"
#include "platform/MainThread.h"
#include "playback/PlaybackEngine.h"
#include "ui/MediaDurationProbe.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPointer>
#include <QThreadPool>

#include <cmath>

namespace orvelo {

PlaylistModel::PlaylistModel(DMXController& controller, PlaybackEngine& engine, QObject* parent)
    : QAbstractListModel(parent), controller_(controller), engine_(engine)
{
    connect(&controller_.playlist(), &Playlist::playlistChanged, this, &PlaylistModel::reload);
    connect(&engine_, &PlaybackEngine::currentTrackChanged, this, [this] {
        if (rowCount() > 0)
            emit dataChanged(index(0), index(rowCount() - 1), {currentRole});
    });
    connect(&controller_, &DMXController::autoPlayNextChanged, this, &PlaylistModel::autoPlayNextChanged);
    probeDurations();
}

int PlaylistModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(controller_.playlist().playlist().size());
}

QVariant PlaylistModel::data(const QModelIndex& index, int role) const
{
    const auto& list = controller_.playlist().playlist();
    if (!index.isValid() || index.row() >= list.size())
        return {};
    const MediaTrack& track = list[index.row()];
    switch (role) {
    case numberRole:
        return index.row() + 1;
    case nameRole:
        return track.name;
    case durationRole: {
        const auto known = durations_.find(track.url.toLocalFile());
        return durationText(known == durations_.end() ? -1.0 : *known);
    }
    case loopRole:
        return track.repeatCount == 0 ? QStringLiteral("Infinite") : QStringLiteral("%1x").arg(track.repeatCount);
    case repeatCountRole:
        return track.repeatCount;
    case currentRole:
        return engine_.currentTrack() && engine_.currentTrack()->id == track.id;
    case problemRole:
        return Playlist::problemWith(track);
    default:
        return {};
    }
}

QHash<int, QByteArray> PlaylistModel::roleNames() const
{
    return {{numberRole, "number"},           {nameRole, "name"},
            {durationRole, "duration"},       {loopRole, "loopText"},
            {repeatCountRole, "repeatCount"}, {currentRole, "isCurrent"},
            {problemRole, "problem"}};
}

bool PlaylistModel::autoPlayNext() const
{
    return controller_.autoPlayNext();
}
void PlaylistModel::setAutoPlayNext(bool enabled)
{
    controller_.setAutoPlayNext(enabled);
}

void PlaylistModel::moveUp(int index)
{
    controller_.playlist().moveTrackUp(index);
}
void PlaylistModel::moveDown(int index)
{
    controller_.playlist().moveTrackDown(index);
}
void PlaylistModel::remove(int index)
{
    controller_.playlist().removeTracks({index});
}
void PlaylistModel::setRepeatCount(int index, int count)
{
    assertMainThread();
    if (count >= 0)
        controller_.playlist().setRepeatCount(index, count);
}
void PlaylistModel::play(int index)
{
    controller_.playTrack(index);
}

void PlaylistModel::addFiles(const QList<QUrl>& urls)
{
    assertMainThread();
    QList<QUrl> files;
    QStringList refused;
    for (const QUrl& url : urls) {
        if (url.isLocalFile() && QFileInfo(url.toLocalFile()).isFile())
            files << url;
        else
            refused << url.toDisplayString();
    }
    const auto before = controller_.playlist().playlist().size();
    controller_.playlist().addTracks(files);
    const auto added = controller_.playlist().playlist().size() - before;
    if (!refused.isEmpty() || added < files.size())
        setStatus(QStringLiteral("Import failed: ") +
                      (refused.isEmpty()
                           ? QStringLiteral("some files could not be opened")
                           : QStringLiteral("not a readable file: ") + refused.join(QStringLiteral(", "))),
                  true);
    else
        setStatus({}, false);
}

void PlaylistModel::savePlaylist(const QUrl& file)
{
    assertMainThread();
    if (controller_.playlist().savePlaylist(file))
        setStatus(QStringLiteral("Playlist saved to ") + file.toLocalFile(), false);
    else
        setStatus(QStringLiteral("Save failed: ") + QStringLiteral("could not write ") + file.toLocalFile(), true);
}

void PlaylistModel::loadPlaylist(const QUrl& file)
{
    assertMainThread();
    // The playlist logs why a file is refused; the view needs a sentence of its own.
    const auto before = controller_.playlist().playlist();
    QFileInfo info(file.toLocalFile());
    if (!file.isLocalFile() || !info.isReadable()) {
        setStatus(QStringLiteral("Playlist load failed: ") + QStringLiteral("cannot read ") + file.toDisplayString(),
                  true);
        return;
    }
    bool changed = false;
    const auto connection =
        connect(&controller_.playlist(), &Playlist::playlistChanged, this, [&changed] { changed = true; });
    controller_.playlist().loadPlaylist(file);
    disconnect(connection);
    if (changed)
        setStatus({}, false);
    else
        setStatus(QStringLiteral("Playlist load failed: ") + QStringLiteral("not a playlist file: ") + info.fileName(),
                  true);
}

QString PlaylistModel::durationText(double seconds)
{
    if (!std::isfinite(seconds) || seconds < 0.0)
        return QStringLiteral("--:--");
    const int total = static_cast<int>(std::round(seconds));
    if (total >= 3600)
        return QString::asprintf("%d:%02d:%02d", total / 3600, (total % 3600) / 60, total % 60);
    return QString::asprintf("%d:%02d", total / 60, total % 60);
}

void PlaylistModel::reload()
{
    beginResetModel();
    endResetModel();
    emit countChanged();
    probeDurations();
}

void PlaylistModel::probeDurations()
{
    for (const MediaTrack& track : controller_.playlist().playlist()) {
        const QString path = track.url.toLocalFile();
        if (path.isEmpty() || durations_.contains(path) || probing_.contains(path))
            continue;
        probing_.insert(path);
        QPointer<PlaylistModel> self(this);
        QThreadPool::globalInstance()->start([self, path] {
            const double seconds = probeMediaDuration(path).value_or(-1.0);
            // The application object outlives every view; the model is checked on the main thread.
            postToMain(QCoreApplication::instance(), [self, path, seconds] {
                if (!self)
                    return;
                self->probing_.remove(path);
                self->durations_.insert(path, seconds);
                if (self->rowCount() > 0)
                    emit self->dataChanged(self->index(0), self->index(self->rowCount() - 1), {durationRole});
            });
        });
    }
}

void PlaylistModel::setStatus(QString text, bool isError)
{
    status_ = std::move(text);
    statusIsError_ = isError;
    emit statusChanged();
}

} // namespace orvelo
