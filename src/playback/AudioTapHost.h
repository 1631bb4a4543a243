#pragma once

#include <functional>
#include <span>
#include <string>

namespace orvelo {

// Receives every decoded audio buffer of an item as 32-bit float samples of its first channel
// (-1..1). Runs on the media layer's real-time audio thread: it must not block.
using AudioSampleSink = std::function<void(std::span<const float> samples)>;

// How installing an audio tap ended.
struct AudioTapSetup {
    enum class Status {
        attached,
        loadFailed, // the item's tracks could not be loaded; `error` says why
        noAudioTrack,
        createFailed, // the tap could not be made; `status` is the media layer's code
    };
    Status status = Status::attached;
    std::string error;
    int statusCode = 0;
};

// A player item as the audio analyser sees it; the playback engine adapts the media layer's
// item to it. The analyser holds it weakly, so it never keeps an item alive.
class AudioTapHost {
public:
    virtual ~AudioTapHost() = default;

    // Asynchronously loads the item's audio tracks and installs `sink` on the first one, ahead
    // of any effect, leaving the audio itself unaltered. `done` runs once, on any thread.
    virtual void installAudioTap(AudioSampleSink sink, std::function<void(const AudioTapSetup&)> done) = 0;
};

} // namespace orvelo
