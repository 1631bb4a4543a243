#include "playback/AudioAnalyzer.h"

#include "platform/Log.h"
#include "platform/MainThread.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <string>
#include <utility>

namespace orvelo {

// The path from a tap back to the analyser. Detaching clears `target` under the mutex, so no
// buffer reaches the analyser afterwards and none is still being measured when detach returns.
struct AudioAnalyzer::TapLink {
    std::mutex mutex;
    AudioAnalyzer* target = nullptr;
};

namespace {

double wallClockSeconds()
{
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

} // namespace

AudioAnalyzer& AudioAnalyzer::shared()
{
    static AudioAnalyzer* const instance = [] {
        auto* analyzer = new AudioAnalyzer();
        if (auto* app = QCoreApplication::instance(); app && analyzer->thread() != app->thread())
            analyzer->moveToThread(app->thread());
        return analyzer;
    }();
    return *instance;
}

AudioAnalyzer::AudioAnalyzer(Clock clock, QObject* parent)
    : QObject(parent), clock_(clock ? std::move(clock) : Clock(wallClockSeconds))
{
}

AudioAnalyzer::~AudioAnalyzer()
{
    if (link_) {
        std::lock_guard lock(link_->mutex);
        link_->target = nullptr;
    }
}

void AudioAnalyzer::attach(const std::shared_ptr<AudioTapHost>& item)
{
    assertMainThread();
    if (item && currentItem_.lock() == item)
        return;
    detach();
    if (!item)
        return;
    currentItem_ = item;
    auto link = std::make_shared<TapLink>();
    link->target = this;
    link_ = link;

    AudioSampleSink sink = [link](std::span<const float> samples) {
        // The audio thread never waits: a buffer that meets a detach in progress is skipped.
        std::unique_lock lock(link->mutex, std::try_to_lock);
        if (lock.owns_lock() && link->target)
            link->target->processBuffer(samples);
    };
    item->installAudioTap(std::move(sink), [link](const AudioTapSetup& setup) {
        std::lock_guard lock(link->mutex);
        if (AudioAnalyzer* target = link->target) {
            postToMain(target, [target, link, setup] {
                if (target->link_ == link)
                    target->onTapSetup(setup);
            });
        }
    });
}

void AudioAnalyzer::detach()
{
    assertMainThread();
    if (link_) {
        std::lock_guard lock(link_->mutex);
        link_->target = nullptr;
    }
    link_.reset();
    currentItem_.reset();
    tapAttached_ = false;
    // The next item's smoothing starts from silence, not from this item's level: now, for
    // buffers measured before the reset runs, and again in it, after this item's last
    // publications (already queued) have stored theirs.
    smoothedAmplitude_.store(0.0f, std::memory_order_relaxed);
    postToMain(this, [this] {
        smoothedAmplitude_.store(0.0f, std::memory_order_relaxed);
        setAmplitude(0.0f);
        setBeatDetected(false);
        setPeakAmplitude(0.0f);
        setBassLevel(0.0f);
        setMidLevel(0.0f);
        setHighLevel(0.0f);
    });
}

void AudioAnalyzer::onTapSetup(const AudioTapSetup& setup)
{
    switch (setup.status) {
    case AudioTapSetup::Status::loadFailed:
        logLine("AudioAnalyzer: Error setting up audio tap: " + setup.error);
        return;
    case AudioTapSetup::Status::noAudioTrack:
        logLine("AudioAnalyzer: No audio track found");
        return;
    case AudioTapSetup::Status::createFailed:
        logLine("AudioAnalyzer: Failed to create audio tap, status: " + std::to_string(setup.statusCode));
        return;
    case AudioTapSetup::Status::attached:
        tapAttached_ = true;
        logLine("AudioAnalyzer: Audio tap attached successfully");
        return;
    }
}

void AudioAnalyzer::processBuffer(std::span<const float> samples)
{
    const std::optional<AudioLevels> levels = meter_.measure(samples, clock_());
    if (!levels)
        return;
    // Smoothing starts from the value the main thread last published, as the patterns saw it.
    const float smoothed =
        smoothingFactor * levels->rms + (1.0f - smoothingFactor) * smoothedAmplitude_.load(std::memory_order_relaxed);
    // One task per buffer, applying beat, then levels, then amplitude.
    postToMain(this, [this, measured = *levels, smoothed] {
        if (measured.beat) {
            setBeatDetected(true);
            QTimer::singleShot(beatFlagMilliseconds, this, [this] { setBeatDetected(false); });
        }
        if (measured.bands) {
            const auto& bands = *measured.bands;
            setBassLevel(std::min(3.0f * bands[0], 1.0f));
            setMidLevel(std::min(3.0f * bands[1], 1.0f));
            setHighLevel(std::min(3.0f * bands[2], 1.0f));
        }
        smoothedAmplitude_.store(smoothed, std::memory_order_relaxed);
        setAmplitude(std::min(2.0f * smoothed, 1.0f));
        setPeakAmplitude(std::min(measured.peak, 1.0f));
    });
}

void AudioAnalyzer::setAmplitude(float value)
{
    amplitude_ = value;
    emit amplitudeChanged(value);
}

void AudioAnalyzer::setBeatDetected(bool value)
{
    beatDetected_ = value;
    emit beatDetectedChanged(value);
}

void AudioAnalyzer::setPeakAmplitude(float value)
{
    peakAmplitude_ = value;
    emit peakAmplitudeChanged(value);
}

void AudioAnalyzer::setBassLevel(float value)
{
    bassLevel_ = value;
    emit bassLevelChanged(value);
}

void AudioAnalyzer::setMidLevel(float value)
{
    midLevel_ = value;
    emit midLevelChanged(value);
}

void AudioAnalyzer::setHighLevel(float value)
{
    highLevel_ = value;
    emit highLevelChanged(value);
}

} // namespace orvelo
