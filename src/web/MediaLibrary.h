#pragma once

#include <QByteArray>
#include <QString>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace orvelo {

// One media file of the library, playable or not.
struct MediaEntry {
    QString name; // path relative to the library folder, '/'-separated
    std::int64_t size = 0;
    std::optional<double> duration; // seconds
    bool hasVideo = false;
    bool hasAudio = false;
    bool playable = true;
    QString reason; // why it cannot play; empty when it can
};

// The media folder of a player prepared without a screen, as the web remote lists it: the
// audio and video files of the folder and its sub-folders, with what discovery says of each,
// and thumbnails. Discovery and thumbnails are kept per file as long as its size and
// modification time stay the same. The slow work (scans, decoding) runs on the library's
// own worker thread, never on the main thread or the server's threads. Any thread may call.
class MediaLibrary {
public:
    static constexpr int thumbnailWidth = 160;
    static constexpr int thumbnailHeight = 160;

    explicit MediaLibrary(QString folder);
    ~MediaLibrary();
    MediaLibrary(const MediaLibrary&) = delete;
    MediaLibrary& operator=(const MediaLibrary&) = delete;

    // Audio and video by the file name's ending alone: reading every file's bytes to guess
    // would make a large folder slow, and discovery rejects what only looks like media.
    static bool isMediaName(const QString& name);

    QString folder() const;
    void setFolder(const QString& folder);

    // Runs the job on the worker thread, after those queued before it.
    void run(std::function<void()> job);

    // The media files by name, those that cannot play flagged with the reason (so that a
    // broken export can be seen and deleted). Creates the folder when it is missing. Blocks
    // while new or changed files are discovered: call it on the worker.
    std::vector<MediaEntry> list();
    // A JPEG at most thumbnailWidth wide of the file's first picture (a drawn picture for
    // sound alone); nothing when the name is not a playable file inside the folder. Blocks
    // while decoding: call it on the worker.
    std::optional<QByteArray> thumbnail(const QString& name);

private:
    struct Stamp {
        std::int64_t size = 0;
        std::int64_t modified = 0; // ms since the epoch
        friend bool operator==(const Stamp&, const Stamp&) = default;
    };
    struct Facts {
        Stamp stamp;
        bool playable = false;
        std::optional<double> duration;
        bool hasVideo = false;
        bool hasAudio = false;
        QString error;
    };
    struct Picture {
        Stamp stamp;
        QByteArray jpeg;
    };

    static Stamp stampOf(const QString& path);
    static MediaEntry entryFor(const QString& name, const Stamp& stamp, const Facts& facts);
    Facts factsFor(const QString& path);
    void work();

    mutable std::mutex mutex_;
    QString folder_;
    // Caches, keyed by absolute path; touched on the worker only.
    std::map<QString, Facts> facts_;
    std::map<QString, Picture> pictures_;

    std::mutex queueMutex_;
    std::condition_variable queueReady_;
    std::deque<std::function<void()>> queue_;
    bool stopping_ = false;
    std::thread worker_;
};

} // namespace orvelo
