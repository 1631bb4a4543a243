#include "playback/TrackPreloader.h"

#include "platform/Log.h"
#include "platform/MainThread.h"
#include "platform/SystemMemory.h"
#include "platform/media/GroupClock.h"
#include "playback/VideoComposition.h"
#include "playback/VideoEffectsCompositor.h"

#include <QFileInfo>

#include <algorithm>
#include <string>

namespace orvelo {

namespace {
bool sameTrack(const MediaTrack& a, const MediaTrack& b)
{
    return a.id == b.id && a.url == b.url;
}

bool fileIsThere(const MediaTrack& track)
{
    return track.url.isLocalFile() && QFileInfo(track.url.toLocalFile()).isFile();
}
} // namespace

bool TrackPreloader::inSyncGroup()
{
    return GroupClock::shared().role() != GroupClock::Role::alone;
}

TrackPreloader::TrackPreloader(QObject* parent) : QObject(parent), availableMemory_(&availableMemoryBytes)
{
    settle_.setSingleShot(true);
    settle_.setInterval(settleMs);
    connect(&settle_, &QTimer::timeout, this, &TrackPreloader::apply);
}

TrackPreloader::~TrackPreloader() = default;

void TrackPreloader::want(const QList<MediaTrack>& tracks)
{
    assertMainThread();
    wanted_ = tracks;
    settle_.start();
}

void TrackPreloader::setCount(int count)
{
    assertMainThread();
    count_ = std::clamp(count, 0, maximumCount);
    apply();
}

void TrackPreloader::setBudgetMB(int megabytes)
{
    assertMainThread();
    budgetBytes_ = std::int64_t(std::clamp(megabytes, minimumBudgetMB, maximumBudgetMB)) * 1024 * 1024;
    apply();
}

void TrackPreloader::setAvailableMemory(std::function<std::optional<std::int64_t>()> source)
{
    assertMainThread();
    availableMemory_ = std::move(source);
}

std::int64_t TrackPreloader::estimatedBytes(const QUrl& file) const
{
    return estimatedBytes(pictureSizes_.value(file));
}

std::int64_t TrackPreloader::estimatedBytes(QSize size)
{
    const std::int64_t pixels = std::int64_t(std::max(0, size.width())) * std::max(0, size.height());
    // 4:2:0 reference frames (up to 16 for H.264), four frames of 32 bits a pixel in flight
    // and composed, and a fixed part for demuxer, audio and queues.
    return pixels * 3 / 2 * 16 + pixels * 4 * 4 + std::int64_t(8) * 1024 * 1024;
}

void TrackPreloader::apply()
{
    // A machine short of memory keeps fewer tracks ready rather than push the playing one into
    // swap: what is held now could be given back, the reserve is not to be touched.
    const std::optional<std::int64_t> available = availableMemory_ ? availableMemory_() : std::nullopt;
    const std::int64_t room = available ? heldBytes() + *available - memoryReserveBytes : budgetBytes_;
    const bool isShort = room < budgetBytes_;
    const std::int64_t budget = isShort ? std::max<std::int64_t>(0, room) : budgetBytes_;
    if (isShort != memoryShort_)
        logLine(isShort ? "TrackPreloader: Memory is short (" + std::to_string(*available >> 20) +
                              " MB available): fewer tracks are kept ready"
                        : std::string("TrackPreloader: Memory is no longer short"));
    memoryShort_ = isShort;

    std::vector<Entry> kept;
    std::int64_t held = 0;
    int taken = 0;
    for (const MediaTrack& track : wanted_) {
        if (taken == count_ || inSyncGroup())
            break;
        if (std::any_of(kept.begin(), kept.end(), [&](const Entry& e) { return e.track.id == track.id; }) ||
            !fileIsThere(track))
            continue;
        // One prepared before a change of clock is prepared again.
        auto existing = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) {
            return sameTrack(e.track, track) && e.prepared.item->runsOnTheGroupClock();
        });
        const std::int64_t cost = estimatedBytes(track.url);
        if (held + cost > budget)
            break;
        held += cost;
        ++taken;
        if (existing != entries_.end()) {
            kept.push_back(std::move(*existing));
            entries_.erase(existing);
            continue;
        }
        Prepared prepared;
        prepared.item = MediaItem::load(track.url.toLocalFile(), VideoComposition::sourceFormat());
        prepared.compositor = VideoComposition::attach(*prepared.item);
        const MediaItem* raw = prepared.item.get();
        connect(raw, &MediaItem::statusChanged, this, [this, raw] { itemSettled(raw); });
        kept.push_back({track, std::move(prepared)});
    }
    // What is no longer wanted goes; its pipeline is torn down with the last reference.
    for (Entry& gone : entries_)
        disconnect(gone.prepared.item.get(), nullptr, this, nullptr);
    entries_ = std::move(kept);
}

void TrackPreloader::itemSettled(const MediaItem* item)
{
    const auto entry =
        std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.prepared.item.get() == item; });
    if (entry == entries_.end() || item->status() == MediaItem::Status::loading)
        return;
    if (item->status() == MediaItem::Status::failed) {
        // Cueing it loads it as usual, which reports the failure where a cue's failures go.
        logLine("TrackPreloader: Could not prepare " + entry->track.name.toStdString() + ": " +
                item->errorText().toStdString());
        disconnect(item, nullptr, this, nullptr);
        entries_.erase(entry);
        return;
    }
    // Its real size is known now: a large picture may no longer fit beside the others.
    pictureSizes_.insert(entry->track.url, item->videoSize());
    apply();
}

std::optional<TrackPreloader::Prepared> TrackPreloader::take(const MediaTrack& track)
{
    assertMainThread();
    const auto entry =
        std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return sameTrack(e.track, track); });
    if (entry == entries_.end() || entry->prepared.item->status() == MediaItem::Status::failed ||
        !entry->prepared.item->runsOnTheGroupClock() || inSyncGroup())
        return std::nullopt;
    disconnect(entry->prepared.item.get(), nullptr, this, nullptr);
    Prepared prepared = std::move(entry->prepared);
    entries_.erase(entry);
    return prepared;
}

QList<QUuid> TrackPreloader::preparedIds() const
{
    QList<QUuid> ids;
    for (const Entry& e : entries_)
        ids << e.track.id;
    return ids;
}

std::int64_t TrackPreloader::heldBytes() const
{
    std::int64_t held = 0;
    for (const Entry& e : entries_)
        held += estimatedBytes(e.track.url);
    return held;
}

bool TrackPreloader::isReady(const MediaTrack& track) const
{
    return std::any_of(entries_.begin(), entries_.end(), [&](const Entry& e) {
        return sameTrack(e.track, track) && e.prepared.item->status() == MediaItem::Status::readyToPlay;
    });
}

} // namespace orvelo
