#include "web/MediaLibrary.h"

#include "citp/CITPThumbnailMaker.h"
#include "platform/media/MediaDiscovery.h"
#include "platform/media/VideoSnapshot.h"
#include "web/MediaPath.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QMimeDatabase>

#include <pthread.h>

#include <algorithm>
#include <atomic>

namespace orvelo {

namespace {

// Discovery of many new files at once: two at a time, as many as the player's small machines
// have cores to spare.
constexpr int discoveryThreads = 2;

} // namespace

bool MediaLibrary::isMediaName(const QString& name)
{
    const QString type = QMimeDatabase().mimeTypeForFile(name, QMimeDatabase::MatchExtension).name();
    return type.startsWith(QLatin1String("video/")) || type.startsWith(QLatin1String("audio/"));
}

MediaLibrary::MediaLibrary(QString folder) : folder_(std::move(folder))
{
    worker_ = std::thread([this] {
        pthread_setname_np(pthread_self(), "MediaLibrary");
        work();
    });
}

MediaLibrary::~MediaLibrary()
{
    {
        std::lock_guard lock(queueMutex_);
        stopping_ = true;
    }
    queueReady_.notify_all();
    worker_.join();
}

QString MediaLibrary::folder() const
{
    std::lock_guard lock(mutex_);
    return folder_;
}

void MediaLibrary::setFolder(const QString& folder)
{
    std::lock_guard lock(mutex_);
    folder_ = folder;
}

void MediaLibrary::run(std::function<void()> job)
{
    {
        std::lock_guard lock(queueMutex_);
        queue_.push_back(std::move(job));
    }
    queueReady_.notify_one();
}

void MediaLibrary::work()
{
    while (true) {
        std::function<void()> job;
        {
            std::unique_lock lock(queueMutex_);
            queueReady_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            // Jobs still queued at the end answer clients of a server that is going away.
            if (stopping_)
                return;
            job = std::move(queue_.front());
            queue_.pop_front();
        }
        job();
    }
}

MediaLibrary::Stamp MediaLibrary::stampOf(const QString& path)
{
    const QFileInfo info(path);
    return {info.size(), info.lastModified().toMSecsSinceEpoch()};
}

MediaLibrary::Facts MediaLibrary::factsFor(const QString& path)
{
    const MediaDiscovery found = MediaDiscovery::discover(path);
    Facts facts;
    facts.playable = found.playable();
    facts.duration = found.duration;
    facts.hasVideo = found.hasVideo;
    facts.hasAudio = found.hasAudio;
    facts.error = found.error;
    return facts;
}

MediaEntry MediaLibrary::entryFor(const QString& name, const Stamp& stamp, const Facts& facts)
{
    return {name, stamp.size, facts.duration, facts.hasVideo, facts.hasAudio, facts.playable, facts.error};
}

std::vector<MediaEntry> MediaLibrary::list()
{
    const QString root = folder();
    QDir().mkpath(root);

    struct Candidate {
        QString name;
        QString path;
        Stamp stamp;
    };
    std::vector<Candidate> candidates;
    // Links are followed only where they stay inside the folder.
    QDirIterator it(root, QDir::Files | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories | QDirIterator::FollowSymlinks);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString name = path.mid(root.size() + 1);
        if (!MediaPath::checked(name) || !isMediaName(name))
            continue;
        if (it.fileInfo().isSymLink() || name.contains(QLatin1Char('/')))
            if (!MediaPath::isInside(root, path))
                continue;
        candidates.push_back({name, path, stampOf(path)});
    }
    std::sort(candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
        return QString::compare(a.name, b.name, Qt::CaseInsensitive) < 0;
    });

    std::vector<const Candidate*> unknown;
    for (const Candidate& c : candidates) {
        const auto cached = facts_.find(c.path);
        if (cached == facts_.end() || !(cached->second.stamp == c.stamp))
            unknown.push_back(&c);
    }
    std::vector<Facts> discovered(unknown.size());
    std::atomic<std::size_t> next{0};
    const auto discoverSome = [&] {
        for (std::size_t i = next++; i < unknown.size(); i = next++) {
            discovered[i] = factsFor(unknown[i]->path);
            discovered[i].stamp = unknown[i]->stamp;
        }
    };
    std::vector<std::thread> helpers;
    for (int i = 1; i < discoveryThreads && unknown.size() > 1; ++i)
        helpers.emplace_back(discoverSome);
    discoverSome();
    for (std::thread& helper : helpers)
        helper.join();

    std::map<QString, Facts> kept; // files that are gone leave the cache
    for (std::size_t i = 0; i < unknown.size(); ++i)
        facts_[unknown[i]->path] = discovered[i];
    std::vector<MediaEntry> entries;
    for (const Candidate& c : candidates) {
        const Facts& facts = facts_.at(c.path);
        kept.emplace(c.path, facts);
        entries.push_back(entryFor(c.name, c.stamp, facts));
    }
    facts_ = std::move(kept);
    std::erase_if(pictures_, [&](const auto& picture) { return !facts_.contains(picture.first); });
    return entries;
}

std::optional<QByteArray> MediaLibrary::thumbnail(const QString& name)
{
    const QString root = folder();
    const auto path = MediaPath::existingFile(root, name);
    if (!path || !isMediaName(name))
        return std::nullopt;
    const Stamp stamp = stampOf(*path);
    if (const auto cached = pictures_.find(*path); cached != pictures_.end() && cached->second.stamp == stamp)
        return cached->second.jpeg;

    auto facts = facts_.find(*path);
    if (facts == facts_.end() || !(facts->second.stamp == stamp)) {
        Facts found = factsFor(*path);
        found.stamp = stamp;
        facts = facts_.insert_or_assign(*path, found).first;
    }
    if (!facts->second.playable)
        return std::nullopt;
    const QSize bounds(thumbnailWidth, thumbnailHeight);
    QImage picture;
    if (facts->second.hasVideo)
        picture = VideoSnapshot::firstFrame(*path, bounds).image;
    if (picture.isNull()) {
        // Sound alone (or a picture that would not decode): the drawn tile consoles see too.
        MediaTrack track;
        track.name = QFileInfo(name).fileName();
        picture = CITPThumbnailMaker::drawnArtwork(track, QSize(thumbnailWidth, thumbnailWidth * 9 / 16));
    }
    if (picture.width() > thumbnailWidth || picture.height() > thumbnailHeight)
        picture = picture.scaled(bounds, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QByteArray jpeg = CITPThumbnailMaker::encodeJpeg(picture);
    if (jpeg.isEmpty())
        return std::nullopt;
    pictures_.insert_or_assign(*path, Picture{stamp, jpeg});
    return jpeg;
}

} // namespace orvelo
