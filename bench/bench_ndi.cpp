// The NDI source at 60 fps while the main thread has other work to do: how long a task posted
// to the main thread (as the DMX receive thread posts every frame) waits, with 1080p video
// playing through the full effect pipeline, and with a 1080p pattern drawn and given the full
// effects for every tick. Also the worker's cost per frame. Runs against the fake runtime of
// the tests (NDI_RUNTIME_DIR_V6, or build/fake-ndi next to this program), which paces the
// sends at the frame rate as the real one does.

#include "ndi/NDIFrameWorker.h"
#include "ndi/NDIService.h"
#include "platform/MainThread.h"
#include "platform/media/MediaItem.h"
#include "platform/media/MediaPlayer.h"
#include "playback/AudioAnalyzer.h"
#include "playback/VideoComposition.h"
#include "playback/VideoEffectsManager.h"
#include "settings/SettingsManager.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <gst/gst.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

using namespace orvelo;
using Clock = std::chrono::steady_clock;

namespace {

std::string programFolder;

void useFakeRuntime()
{
    if (!std::getenv("NDI_RUNTIME_DIR_V6"))
        setenv("NDI_RUNTIME_DIR_V6", (programFolder + "/../fake-ndi").c_str(), 1);
}

void fullEffects(VideoEffectsManager& e)
{
    e.setBrightness(0.1f);
    e.setSaturation(1.4f);
    e.setRedTimeShift(5);
    e.setBlueTimeShift(12);
    e.setRedHorizontalOffset(8.5);
    e.setBlueVerticalOffset(-6.25);
    e.setIsInverted(true);
}

// A 1080p clip for the video case, made once.
std::string hdClip()
{
    static const std::string path = [] {
        const std::string file = std::filesystem::temp_directory_path().string() + "/orvelo-bench-ndi-i420-1080p.mp4";
        if (std::filesystem::exists(file))
            return file;
        gst_init(nullptr, nullptr);
        GError* error = nullptr;
        const std::string description =
            "videotestsrc num-buffers=300 pattern=ball ! video/x-raw,width=1920,height=1080,"
            "framerate=30/1,format=I420 ! x264enc speed-preset=ultrafast ! mp4mux ! "
            "filesink location=" +
            file;
        GstElement* pipeline = gst_parse_launch(description.c_str(), &error);
        if (!pipeline)
            return std::string();
        gst_element_set_state(pipeline, GST_STATE_PLAYING);
        GstBus* bus = gst_element_get_bus(pipeline);
        GstMessage* m = gst_bus_timed_pop_filtered(bus, 120 * GST_SECOND,
                                                   static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
        const bool ok = m && GST_MESSAGE_TYPE(m) == GST_MESSAGE_EOS;
        if (m)
            gst_message_unref(m);
        gst_object_unref(bus);
        gst_element_set_state(pipeline, GST_STATE_NULL);
        gst_object_unref(pipeline);
        return ok ? file : std::string();
    }();
    return path;
}

// Posts a task to the main thread every millisecond from another thread and records how long
// each waited before it ran: the main thread's stalls as a receive thread sees them.
class MainThreadProbe {
public:
    explicit MainThreadProbe(QObject* context) : context_(context)
    {
        thread_ = std::thread([this] {
            while (!stop_) {
                const auto posted = Clock::now();
                postToMain(context_, [this, posted] {
                    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - posted).count();
                    std::lock_guard lock(mutex_);
                    waits_.push_back(ms);
                });
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
    }
    ~MainThreadProbe()
    {
        stop_ = true;
        thread_.join();
    }

    void report(benchmark::State& state)
    {
        std::lock_guard lock(mutex_);
        if (waits_.empty())
            return;
        std::sort(waits_.begin(), waits_.end());
        state.counters["main_wait_max_ms"] = waits_.back();
        state.counters["main_wait_p99_ms"] = waits_[waits_.size() * 99 / 100];
        state.counters["main_wait_p50_ms"] = waits_[waits_.size() / 2];
    }

private:
    QObject* context_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::mutex mutex_;
    std::vector<double> waits_;
};

void runFor(std::chrono::milliseconds duration)
{
    QEventLoop loop;
    QTimer::singleShot(duration, &loop, &QEventLoop::quit);
    loop.exec();
}

NDIService::Options serviceOptions(SettingsManager& settings, AudioAnalyzer& analyzer)
{
    NDIService::Options o;
    o.runtimeCandidates = NDIRuntime::defaultCandidates();
    o.settings = &settings;
    o.effects = &VideoEffectsManager::shared();
    o.analyzer = &analyzer;
    return o;
}

// Five seconds of the main thread's lateness per iteration while the service sends at 60 fps,
// then the ticks it had to skip; leaves the service stopped and the effects neutral.
void measureMainThreadWhileSending(benchmark::State& state, NDIService& service, VideoEffectsManager& effects)
{
    QObject context;
    for (auto _ : state) {
        MainThreadProbe probe(&context);
        runFor(std::chrono::milliseconds(5000));
        probe.report(state);
    }
    state.counters["skipped_ticks"] = static_cast<double>(service.skippedTicks());
    service.stopBroadcasting();
    effects.resetAll();
}

// 1080p video at 30 fps, composed with the full effect pipeline, sent at 60 fps (range 1), or
// not sent at all (range 0: what decoding and composing alone cost the main thread).
void BM_NDI60VideoFullEffects(benchmark::State& state)
{
    const bool broadcast = state.range(0) != 0;
    useFakeRuntime();
    const std::string clip = hdClip();
    if (clip.empty()) {
        state.SkipWithError("could not make the 1080p clip");
        return;
    }
    VideoEffectsManager& effects = VideoEffectsManager::shared();
    effects.resetAll();
    fullEffects(effects);
    SettingsManager settings;
    AudioAnalyzer analyzer;
    MediaPlayer player;
    auto item = MediaItem::load(QString::fromStdString(clip), VideoComposition::sourceFormat());
    VideoComposition::attach(*item);
    player.replaceCurrentItem(item);
    player.setRate(1.0);
    runFor(std::chrono::milliseconds(500));
    NDIService service(serviceOptions(settings, analyzer));
    service.setFps(NDIFPS::fps60);
    if (broadcast)
        service.startBroadcasting(&player);
    measureMainThreadWhileSending(state, service, effects);
}

// The pattern case: every tick draws a 1080p circular wave and runs it through the full
// effect pipeline on the worker.
void BM_NDI60PatternFullEffects(benchmark::State& state)
{
    useFakeRuntime();
    VideoEffectsManager& effects = VideoEffectsManager::shared();
    effects.resetAll();
    fullEffects(effects);
    SettingsManager settings;
    settings.setSelectedPattern(AudioVisualPattern::circularWave);
    AudioAnalyzer analyzer;
    NDIService service(serviceOptions(settings, analyzer));
    service.setFps(NDIFPS::fps60);
    service.startBroadcasting(nullptr);
    measureMainThreadWhileSending(state, service, effects);
}

// The worker's cost of one pattern frame with the full effects (no send).
void BM_NDIWorkerPatternFrame(benchmark::State& state)
{
    NDIFrameWorker worker;
    NDIFrameJob job;
    job.source = NDIFrameJob::Source::pattern;
    job.pattern = static_cast<AudioVisualPattern>(state.range(0));
    job.patternFrame.time = 800'000'000.0;
    job.patternFrame.amplitude = 0.6f;
    VideoEffectsManager effects;
    fullEffects(effects);
    job.effects = effects.snapshot();
    for (auto _ : state) {
        job.patternFrame.time += 1.0 / 60.0;
        benchmark::DoNotOptimize(worker.render(job));
    }
    state.SetLabel(std::string(rawValue(job.pattern)));
}

} // namespace

BENCHMARK(BM_NDI60VideoFullEffects)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_NDI60PatternFullEffects)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_NDIWorkerPatternFrame)
    ->Arg(static_cast<int>(AudioVisualPattern::circularWave))
    ->Arg(static_cast<int>(AudioVisualPattern::colorfulAbstract))
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();

int main(int argc, char** argv)
{
    programFolder = std::filesystem::absolute(argv[0]).parent_path().string();
    // The settings store of a throwaway folder, not the user's.
    const std::string home =
        std::filesystem::temp_directory_path().string() + "/orvelo-bench-ndi-" + std::to_string(getpid());
    std::filesystem::create_directories(home);
    setenv("XDG_CONFIG_HOME", home.c_str(), 1);
    setenv("XDG_DATA_HOME", home.c_str(), 1);
    setenv("GST_AUDIO_SINK", "fakesink", 1);
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(home);
    return 0;
}
