#pragma once

#include "ndi/NDIControl.h"
#include "ndi/NDIFPS.h"
#include "ndi/NDIResolutionScale.h"
#include "platform/SettingsStore.h"
#include "platform/media/MediaPlayer.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace orvelo {

class AudioAnalyzer;
class MediaItem;
class NDIFrameWorker;
class NDIRuntime;
class NDISender;
class SerialQueue;
class SettingsManager;
class VideoEffectsManager;

// Publishes the output picture as the NDI source "Orvelo". While broadcasting, a timer on the
// main thread at the chosen rate picks each tick's picture: the newest frame of the playing
// item, else (when it is to be shown) of the playing background video, else the selected
// pattern; a playing video whose next frame has not arrived yet goes out again rather than
// giving way to the pattern. The frame work (conversion, effects on pattern frames, pattern
// drawing, scaling, the send, which the runtime paces) runs on the worker queue
// "com.orvelo.ndi", at a lower priority than the main thread, so the main thread only decides;
// at most two ticks are in hand at once, and a tick that finds both taken is skipped. State
// and options live on the main thread. `options` must name a settings manager, an effects
// store and an analyser that outlive the service.
class NDIService : public NDIControl {
    Q_OBJECT
    Q_PROPERTY(bool isBroadcasting READ isBroadcasting NOTIFY isBroadcastingChanged)
    Q_PROPERTY(orvelo::NDIFPS fps READ fps WRITE setFps NOTIFY fpsChanged)
    Q_PROPERTY(orvelo::NDIResolutionScale resolutionScale READ resolutionScale WRITE setResolutionScale NOTIFY
                   resolutionScaleChanged)

public:
    static inline const QString fpsKey = QStringLiteral("ndiFps");
    static inline const QString resolutionScaleKey = QStringLiteral("ndiResolutionScale");

    static constexpr const char* sourceName = "Orvelo";
    static constexpr const char* queueLabel = "com.orvelo.ndi";
    static constexpr int maxTicksInHand = 2;

    // Where the runtime is looked for and what the pictures are made from; the defaults are
    // the application's.
    struct Options {
        std::vector<std::string> runtimeCandidates;
        SettingsManager* settings = nullptr;
        VideoEffectsManager* effects = nullptr;
        AudioAnalyzer* analyzer = nullptr;
    };
    static Options defaultOptions();

    // Loads and initialises the runtime ("NDI: Initialized successfully" or "NDI: Failed to
    // initialize"); the service is usable either way.
    explicit NDIService(Options options = defaultOptions(), QObject* parent = nullptr);
    // Stops broadcasting, lets the worker finish, then shuts the runtime down.
    ~NDIService() override;

    bool isBroadcasting() const override { return isBroadcasting_; }
    NDIFPS fps() const { return fps_; }
    // Restarts the frame timer at once when broadcasting.
    void setFps(NDIFPS fps);
    NDIResolutionScale resolutionScale() const { return resolutionScale_; }
    // Takes effect from the next tick.
    void setResolutionScale(NDIResolutionScale scale);

    // Does nothing while broadcasting. `player` (the engine's) is held weakly.
    void startBroadcasting(MediaPlayer* player) override;
    void stopBroadcasting() override;

    // NDIControl, for the web remote.
    double fpsValue() const override { return rawValue(fps_); }
    int resolutionScaleValue() const override { return rawValue(resolutionScale_); }
    void setFpsValue(double fps) override;
    void setResolutionScaleValue(int divisor) override;

    // The frame timer's period in seconds (1 / fps) and whether it runs.
    double frameInterval() const { return 1.0 / rawValue(fps_); }
    bool isTimerActive() const { return timer_.isActive(); }
    // Ticks skipped because two were still in hand.
    std::uint64_t skippedTicks() const { return skippedTicks_; }

    // One tick, as the timer runs it.
    void processFrame();

signals:
    void isBroadcastingChanged(bool broadcasting);
    void fpsChanged(orvelo::NDIFPS fps);
    void resolutionScaleChanged(orvelo::NDIResolutionScale scale);

private:
    // A video source the ticks take frames from: the item they follow.
    struct Tap {
        std::weak_ptr<MediaItem> item;
        bool attached = false;
    };

    void restartTimer();
    void scheduleNextTick();
    void stopFrameCapture();
    void maintainMainTap();
    void maintainDefaultTap();
    VideoFramePtr takeFrame(const Tap& tap, const MediaPlayer* player) const;
    void drainWorker();

    Options options_;
    std::shared_ptr<NDIRuntime> runtime_;
    bool isBroadcasting_ = false;
    NDIFPS fps_ = NDIFPS::fps25;
    // The frame rate and scale survive a restart.
    SettingsStore store_;
    NDIResolutionScale resolutionScale_ = NDIResolutionScale::original;
    std::shared_ptr<NDISender> sender_;
    std::weak_ptr<NDISender> previousSender_;
    QPointer<MediaPlayer> player_;
    Tap mainTap_;
    Tap defaultTap_;
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 nextTickNs_ = 0;
    std::uint64_t skippedTicks_ = 0;
    std::shared_ptr<std::atomic<int>> ticksInHand_;
    // Counts stops: a tick queued before the last stop is dropped rather than sent.
    std::shared_ptr<std::atomic<unsigned>> broadcast_;
    std::shared_ptr<NDIFrameWorker> worker_;
    // Last, so it goes first: the tick being worked on finishes, those waiting are dropped.
    std::unique_ptr<SerialQueue> queue_;
};

} // namespace orvelo
