#pragma once

#include "platform/media/LtcDecoder.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>

namespace orvelo {

// Linear timecode read from an audio input or a file: the audio is captured or decoded,
// converted to 48 kHz floats, one of its channels is run through an LtcDecoder, and each frame
// found is reported as soon as its last sample has arrived.
class LtcInput {
public:
    static constexpr int sampleRate = 48000;

    enum class SourceKind {
        defaultDevice, // the system's default audio input
        alsaDevice,    // an ALSA device by name ("hw:1,0", "default")
        file,          // an audio file, read as fast as it decodes
        recording,     // an audio file played in real time, as a device would deliver it (rehearsals, tests)
    };

    struct Options {
        SourceKind source = SourceKind::defaultDevice;
        // The ALSA device's name (empty: "default"), or the file's path.
        std::string location;
        // Channels the input is converted to, and which of them (from 0) carries the timecode.
        int channels = 1;
        int channel = 0;
        // Only tunes the detection of the first frame; see LtcDecoder.
        int expectedFps = 25;
    };

    enum class Error {
        invalidOptions, // channels outside 1..64, a channel not among them, a file without a path
        noDevice,       // the device does not exist or cannot be opened, or there is no audio hardware
        cannotRead,     // the file is missing, is no media or holds no audio
        noAudio,        // the source opened but delivered nothing within startTimeout
        failed,         // GStreamer's elements are missing, or the source failed after it had started
    };

    struct Failure {
        Error error;
        std::string message; // for the operator
    };

    // Called on a GStreamer streaming thread for every frame found, in stream order, with when
    // the frame began on the steady clock (meaningless for a file read faster than real time).
    // Sample positions count at `sampleRate` from the start of the pipeline's running time (0 at
    // the first sample of a file); see timeOf.
    using FrameCallback = std::function<void(const LtcDecoder::Frame&, std::chrono::steady_clock::time_point began)>;
    // Called once on a GStreamer thread when the input ends: nothing at the end of a file, the
    // failure when the source fails after start returned it.
    using EndCallback = std::function<void(const std::optional<Failure>&)>;

    // start waits at most this long for the first audio or a failure.
    static constexpr std::chrono::milliseconds startTimeout{5000};

    // Opens the source and starts reading. Returns once audio arrives (or a file ends at once),
    // or with the failure, at the latest after about startTimeout. Blocks, so call it off the
    // main thread where that matters. Callbacks may already run before it returns (a file reads
    // ahead). They hold up the reading while they run, so keep them short; they must not throw
    // or destroy the input.
    static std::variant<std::unique_ptr<LtcInput>, Failure> start(const Options& options, FrameCallback onFrame,
                                                                  EndCallback onEnd = {});

    // Stops reading; no callback runs once this has returned. Any thread but a callback's.
    ~LtcInput();
    LtcInput(const LtcInput&) = delete;
    LtcInput& operator=(const LtcInput&) = delete;

    // When the sample at `samplePosition` was captured or played, on the steady clock.
    // Meaningful for a device or a recording; a file is read faster than real time.
    std::chrono::steady_clock::time_point timeOf(std::int64_t samplePosition) const;

private:
    struct Pipeline;

    explicit LtcInput(std::unique_ptr<Pipeline> pipeline);

    std::unique_ptr<Pipeline> pipeline_;
};

} // namespace orvelo
