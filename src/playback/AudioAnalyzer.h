#pragma once

#include "playback/AudioLevelMeter.h"
#include "playback/AudioTapHost.h"

#include <QObject>

#include <atomic>
#include <functional>
#include <memory>
#include <span>

namespace orvelo {

// Measures the audio of the playing item for the audio-reactive patterns: a smoothed level, the
// last buffer's peak, three time-slice levels and a short beat flag. The tap delivers buffers on
// the real-time audio thread, where they are measured without blocking; every published value
// is written on the main thread, through one posted task per buffer.
class AudioAnalyzer : public QObject {
    Q_OBJECT
    Q_PROPERTY(float amplitude READ amplitude NOTIFY amplitudeChanged)
    Q_PROPERTY(bool beatDetected READ beatDetected NOTIFY beatDetectedChanged)
    Q_PROPERTY(float peakAmplitude READ peakAmplitude NOTIFY peakAmplitudeChanged)
    Q_PROPERTY(float bassLevel READ bassLevel NOTIFY bassLevelChanged)
    Q_PROPERTY(float midLevel READ midLevel NOTIFY midLevelChanged)
    Q_PROPERTY(float highLevel READ highLevel NOTIFY highLevelChanged)

public:
    static constexpr float smoothingFactor = 0.3f;
    static constexpr int beatFlagMilliseconds = 50;

    // The process-wide instance, created on first use and never destroyed.
    static AudioAnalyzer& shared();

    // Wall-clock seconds; injectable so that tests can place buffers in time.
    using Clock = std::function<double()>;
    explicit AudioAnalyzer(Clock clock = {}, QObject* parent = nullptr);
    ~AudioAnalyzer() override;

    // Main thread. Attaching to the item already attached does nothing; otherwise the previous
    // item is detached and the tap is set up for `item` asynchronously (its outcome is logged).
    void attach(const std::shared_ptr<AudioTapHost>& item);
    // Main thread. Stops listening at once (a buffer being measured finishes first), forgets the
    // item, then resets every published value to 0 through the main thread's queue.
    void detach();
    bool isTapAttached() const { return tapAttached_; }

    // One decoded buffer of first-channel samples: the tap's work, on the real-time thread.
    // Never blocks; only one thread may feed buffers at a time.
    void processBuffer(std::span<const float> samples);

    float amplitude() const { return amplitude_; }
    bool beatDetected() const { return beatDetected_; }
    float peakAmplitude() const { return peakAmplitude_; }
    float bassLevel() const { return bassLevel_; }
    float midLevel() const { return midLevel_; }
    float highLevel() const { return highLevel_; }

signals:
    void amplitudeChanged(float value);
    void beatDetectedChanged(bool value);
    void peakAmplitudeChanged(float value);
    void bassLevelChanged(float value);
    void midLevelChanged(float value);
    void highLevelChanged(float value);

private:
    struct TapLink;

    void setAmplitude(float value);
    void setBeatDetected(bool value);
    void setPeakAmplitude(float value);
    void setBassLevel(float value);
    void setMidLevel(float value);
    void setHighLevel(float value);
    void onTapSetup(const AudioTapSetup& setup);

    Clock clock_;
    AudioLevelMeter meter_;                      // audio thread
    std::atomic<float> smoothedAmplitude_{0.0f}; // written on the main thread, read on the audio thread
    std::weak_ptr<AudioTapHost> currentItem_;
    std::shared_ptr<TapLink> link_; // the current tap's way back to this analyser
    bool tapAttached_ = false;

    float amplitude_ = 0.0f;
    bool beatDetected_ = false;
    float peakAmplitude_ = 0.0f;
    float bassLevel_ = 0.0f;
    float midLevel_ = 0.0f;
    float highLevel_ = 0.0f;
};

} // namespace orvelo
