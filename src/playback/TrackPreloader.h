#pragma once

#include "platform/media/MediaItem.h"
#include "playback/MediaTrack.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSize>
#include <QTimer>
#include <QUrl>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace orvelo {

class VideoEffectsCompositor;

// Keeps the tracks a console is likely to cue next loaded and paused on their first frame
// (decoders running, the first frame composed, audio prerolled), so that cueing one swaps it
// in at the next frame instead of waiting for a load. Main thread only.
class TrackPreloader : public QObject {
    Q_OBJECT
public:
    static constexpr int defaultCount = 2;
    static constexpr int maximumCount = 8;
    static constexpr int defaultBudgetMB = 400;
    static constexpr int minimumBudgetMB = 64;
    static constexpr int maximumBudgetMB = 16384;
    // Left to the rest of the machine: with less memory available than this, fewer tracks are
    // kept ready, down to none.
    static constexpr std::int64_t memoryReserveBytes = std::int64_t(512) * 1024 * 1024;

    struct Prepared {
        std::shared_ptr<MediaItem> item;
        // Attached from the start, so that the first frame is composed too.
        std::shared_ptr<VideoEffectsCompositor> compositor;
    };

    explicit TrackPreloader(QObject* parent = nullptr);
    ~TrackPreloader() override;

    // The tracks to keep ready, most wanted first. The first `count` of them whose files are
    // there are prepared while they fit the memory budget; every other prepared track is let
    // go. A track is the same one only with the same id and file: an edited entry is prepared
    // afresh. Applied a moment later (settleMs), once the cue that asked has its picture out:
    // setting up a pipeline holds the main thread for milliseconds.
    void want(const QList<MediaTrack>& tracks);
    static constexpr int settleMs = 50;
    // 0 prepares nothing; at most maximumCount.
    void setCount(int count);
    void setBudgetMB(int megabytes);
    // Where the machine's available memory is read from (the kernel's figure by default).
    void setAvailableMemory(std::function<std::optional<std::int64_t>()> source);

    // The prepared item of `track`, taken out of the preloader: ready, or still loading (the
    // caller then waits for it as for any load). Nothing when the track is not prepared or its
    // preparation failed: the caller loads it as usual.
    std::optional<Prepared> take(const MediaTrack& track);

    // The tracks prepared or being prepared, most wanted first.
    QList<QUuid> preparedIds() const;
    // Whether `track` is prepared and its first frame decoded.
    bool isReady(const MediaTrack& track) const;
    // What the prepared tracks are reckoned to hold in memory, in bytes.
    std::int64_t heldBytes() const;

    // The memory a prepared track holds: its decoder's reference frames, the frames queued
    // between decoder and sink and the composed first frame, reckoned from the picture size.
    static std::int64_t estimatedBytes(QSize pictureSize);

private:
    struct Entry {
        MediaTrack track;
        Prepared prepared;
    };
    void apply();
    void itemSettled(const MediaItem* item);
    // Players of a sync group start every track at a moment set on the group's clock, a lead
    // time ahead; a prepared pipeline started a few milliseconds off the group, so none is
    // prepared there.
    static bool inSyncGroup();
    // Reckoned from the size the file's picture had when it was last prepared; a file not
    // prepared before counts as a small picture until it is ready, and is let go then if it
    // does not fit after all.
    std::int64_t estimatedBytes(const QUrl& file) const;

    std::vector<Entry> entries_;
    QList<MediaTrack> wanted_;
    QHash<QUrl, QSize> pictureSizes_;
    QTimer settle_;
    int count_ = defaultCount;
    std::int64_t budgetBytes_ = std::int64_t(defaultBudgetMB) * 1024 * 1024;
    std::function<std::optional<std::int64_t>()> availableMemory_;
    bool memoryShort_ = false;
};

} // namespace orvelo
