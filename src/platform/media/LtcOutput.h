#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>

namespace orvelo {

// Linear timecode written to one channel of an audio output, or to a WAV file: a frame of
// signal at a time, each carrying the timecode that is due at the moment its first sample
// plays. Silent while the timecode is held, as a tape machine's output is when it stops. The
// other channels of the output stay silent; the media's own audio goes elsewhere.
class LtcOutput {
public:
    static constexpr int sampleRate = 48000;
    using Clock = std::chrono::steady_clock;

    enum class SinkKind {
        defaultDevice, // the system's default audio output
        alsaDevice,    // an ALSA device by name ("hw:1,0")
        file,          // a WAV file, written in real time (tests, recordings)
    };

    struct Options {
        SinkKind sink = SinkKind::defaultDevice;
        // The ALSA device's name (empty: "default"), or the file's path.
        std::string location;
        // Channels the output is opened with, and which of them (from 0) carries the timecode.
        int channels = 1;
        int channel = 0;
        int fps = 25; // 24, 25 or 30
    };

    // Where the timecode is and how it moves: at `at`, frame `frame` (fractional, counted from
    // 00:00:00:00) and advancing `framesPerSecond` (the frame rate times the speed; 0 holds).
    struct Motion {
        double frame = 0;
        double framesPerSecond = 0;
        Clock::time_point at{};
    };

    enum class Error {
        invalidOptions, // a rate other than 24, 25, 30, a channel not among 1..64, a file without a path
        noDevice,       // the device does not exist or cannot be opened, or there is no audio hardware
        cannotWrite,    // the file cannot be written
        failed,         // GStreamer's elements are missing, or the output failed after it had started
    };

    struct Failure {
        Error error;
        std::string message; // for the operator
    };

    // Called once on a GStreamer thread when the output fails after start returned it.
    using FailureCallback = std::function<void(const Failure&)>;

    static constexpr std::chrono::milliseconds startTimeout{5000};

    // Opens the output and starts writing silence. Blocks up to about startTimeout, so call it
    // off the main thread where that matters.
    static std::variant<std::unique_ptr<LtcOutput>, Failure> start(const Options& options,
                                                                   FailureCallback onFailure = {});

    // Ends the output; a file is completed first. Any thread but the callback's.
    ~LtcOutput();
    LtcOutput(const LtcOutput&) = delete;
    LtcOutput& operator=(const LtcOutput&) = delete;

    // From the next frame of signal on; any thread. Nothing at all (the default) is silence.
    void setMotion(const std::optional<Motion>& motion);

    // When the sample at `samplePosition` (from 0, the first sample written) plays.
    Clock::time_point timeOf(std::int64_t samplePosition) const;

private:
    struct Pipeline;

    explicit LtcOutput(std::unique_ptr<Pipeline> pipeline);

    std::unique_ptr<Pipeline> pipeline_;
};

} // namespace orvelo
