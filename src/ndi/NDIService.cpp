#include "ndi/NDIService.h"

#include "platform/MainThread.h"

#include "ndi/NDIFrameWorker.h"
#include "ndi/NDIRuntime.h"
#include "platform/Log.h"
#include "platform/SerialQueue.h"
#include "platform/media/MediaItem.h"
#include "playback/AudioAnalyzer.h"
#include "playback/PatternCanvas.h"
#include "playback/VideoEffectsManager.h"
#include "settings/SettingsManager.h"

#include <chrono>
#include <future>

#include <sys/resource.h>
#include <unistd.h>

namespace orvelo {

namespace {

// How much the worker yields to the main thread (Linux nice values, 0 normal, 19 least).
constexpr int workerNice = 10;

} // namespace

NDIService::Options NDIService::defaultOptions()
{
    Options options;
    options.runtimeCandidates = NDIRuntime::defaultCandidates();
    options.settings = &SettingsManager::shared();
    options.effects = &VideoEffectsManager::shared();
    options.analyzer = &AudioAnalyzer::shared();
    return options;
}

NDIService::NDIService(Options options, QObject* parent)
    : NDIControl(parent), options_(std::move(options)),
      runtime_(std::make_shared<NDIRuntime>(options_.runtimeCandidates)),
      ticksInHand_(std::make_shared<std::atomic<int>>(0)), broadcast_(std::make_shared<std::atomic<unsigned>>(0)),
      worker_(std::make_shared<NDIFrameWorker>()), queue_(std::make_unique<SerialQueue>(queueLabel))
{
    bool ok = false;
    if (const auto fps = ndiFPSFromRawValue(store_.text(fpsKey).value_or(QString()).toDouble(&ok)); ok && fps)
        fps_ = *fps;
    if (const auto scale =
            ndiResolutionScaleFromRawValue(store_.text(resolutionScaleKey).value_or(QString()).toInt(&ok));
        ok && scale)
        resolutionScale_ = *scale;
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, [this] {
        processFrame();
        scheduleNextTick();
    });
    clock_.start();
    // The frame work yields the processor to the main thread: the ticks may wait a little,
    // the DMX decoding and the web routes on the main thread should not.
    queue_->post([] { setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), workerNice); });
    if (runtime_->initialize())
        logLine("NDI: Initialized successfully");
    else
        logLine("NDI: Failed to initialize");
}

NDIService::~NDIService()
{
    stopBroadcasting();
    // The tick being worked on finishes and those waiting are dropped, and with them the last
    // hold on the sender: only then may the runtime shut down.
    queue_.reset();
    runtime_->shutDown();
}

void NDIService::setFps(NDIFPS fps)
{
    assertMainThread();
    fps_ = fps;
    emit fpsChanged(fps);
    store_.setText(fpsKey, QString::number(rawValue(fps)));
    store_.sync();
    if (isBroadcasting_)
        restartTimer();
}

void NDIService::setResolutionScale(NDIResolutionScale scale)
{
    assertMainThread();
    resolutionScale_ = scale;
    emit resolutionScaleChanged(scale);
    store_.setText(resolutionScaleKey, QString::number(rawValue(scale)));
    store_.sync();
}

void NDIService::setFpsValue(double fps)
{
    assertMainThread();
    if (const auto value = ndiFPSFromRawValue(fps))
        setFps(*value);
}

void NDIService::setResolutionScaleValue(int divisor)
{
    assertMainThread();
    if (const auto value = ndiResolutionScaleFromRawValue(divisor))
        setResolutionScale(*value);
}

void NDIService::startBroadcasting(MediaPlayer* player)
{
    assertMainThread();
    if (isBroadcasting_)
        return;
    // A sender stopped a moment ago may still be finishing its last frame on the worker; the
    // new one takes the same source name, so the old one must be gone first.
    if (!previousSender_.expired())
        drainWorker();
    player_ = player;
    const ndi::SendCreate settings{sourceName, nullptr, true, false};
    void* instance = runtime_->createSender(settings);
    if (!instance) {
        logLine("NDI: Failed to create sender");
        player_ = nullptr;
        return;
    }
    sender_ = std::make_shared<NDISender>(runtime_, instance);
    logLine("NDI: Sender created");
    isBroadcasting_ = true;
    emit isBroadcastingChanged(true);
    maintainMainTap();
    maintainDefaultTap();
    restartTimer();
}

void NDIService::stopBroadcasting()
{
    assertMainThread();
    stopFrameCapture();
    previousSender_ = sender_;
    sender_.reset();
    isBroadcasting_ = false;
    emit isBroadcastingChanged(false);
    player_ = nullptr;
    broadcast_->fetch_add(1);
    queue_->post([worker = worker_] { worker->reset(); });
}

void NDIService::stopFrameCapture()
{
    timer_.stop();
    mainTap_ = {};
    defaultTap_ = {};
}

void NDIService::restartTimer()
{
    timer_.stop();
    nextTickNs_ = clock_.nsecsElapsed() + static_cast<qint64>(frameInterval() * 1e9);
    scheduleNextTick();
}

void NDIService::scheduleNextTick()
{
    if (!isBroadcasting_)
        return;
    // Ticks keep to their own schedule (a 60 fps timer in whole milliseconds would run at 59);
    // one that falls more than a period behind starts the schedule afresh.
    const qint64 period = static_cast<qint64>(frameInterval() * 1e9);
    const qint64 now = clock_.nsecsElapsed();
    if (timer_.isActive())
        return;
    if (now > nextTickNs_ + period)
        nextTickNs_ = now + period;
    const qint64 waitNs = std::max<qint64>(nextTickNs_ - now, 0);
    nextTickNs_ += period;
    timer_.start(static_cast<int>((waitNs + 999'999) / 1'000'000));
}

void NDIService::maintainMainTap()
{
    if (!player_ || !player_->currentItem()) {
        mainTap_ = {};
        return;
    }
    const std::shared_ptr<MediaItem>& item = player_->currentItem();
    if (mainTap_.attached && mainTap_.item.lock() == item)
        return;
    mainTap_ = Tap{item, true};
    logLine("NDI: Attached video output to new item");
}

void NDIService::maintainDefaultTap()
{
    const MediaPlayer* player = options_.settings->backgroundVideo().player();
    if (!player || !player->currentItem()) {
        defaultTap_ = {};
        return;
    }
    // A newly chosen background video brings a new player and item: follow it.
    if (!defaultTap_.attached || defaultTap_.item.lock() != player->currentItem())
        defaultTap_ = Tap{player->currentItem(), true};
}

VideoFramePtr NDIService::takeFrame(const Tap& tap, const MediaPlayer* player) const
{
    if (!tap.attached || !player || player->rate() <= 0.0)
        return nullptr;
    const std::shared_ptr<MediaItem> item = tap.item.lock();
    return item ? item->latestFrame() : nullptr;
}

void NDIService::processFrame()
{
    assertMainThread();
    if (!sender_)
        return;
    maintainMainTap();
    maintainDefaultTap();

    NDIFrameJob job;
    job.fps = fps_;
    job.divisor = rawValue(resolutionScale_);
    job.sender = sender_;
    // The playing item's newest frame; while it plays, the same frame again until the next
    // arrives (giving way to the pattern between two frames would flash it at every tick the
    // video has no new frame for). A paused item gives way.
    job.video = takeFrame(mainTap_, player_);
    if (!job.video && options_.settings->showDefaultVideoInPlayer())
        job.video = takeFrame(defaultTap_, options_.settings->backgroundVideo().player());
    if (job.video) {
        job.source = NDIFrameJob::Source::video;
    } else {
        job.source = NDIFrameJob::Source::pattern;
        const PatternParameters& parameters = options_.settings->patterns().parameters();
        job.pattern = parameters.selected;
        job.patternFrame = PatternCanvas::capture(parameters, *options_.analyzer, patternTimeNow(), true);
        job.effects = options_.effects->snapshot();
    }

    if (ticksInHand_->load() >= maxTicksInHand) {
        ++skippedTicks_;
        return;
    }
    ticksInHand_->fetch_add(1);
    queue_->post([worker = worker_, job = std::move(job), inHand = ticksInHand_, broadcast = broadcast_,
                  current = broadcast_->load()] {
        if (broadcast->load() == current)
            worker->process(job);
        inHand->fetch_sub(1);
    });
}

void NDIService::drainWorker()
{
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> drained = done->get_future();
    queue_->post([done] { done->set_value(); });
    drained.wait_for(std::chrono::seconds(2));
}

} // namespace orvelo
