// End-to-end playback at 1080p through the engine: a 60 fps file played for 20 s with the full
// effect pipeline (composed frames against the file's frames, real-time ratio, longest pause
// between frames), loadAndPlay to ready, the picture gap on a track switch, and the resident
// memory that a full frame history costs.

#include "platform/media/GStreamerInit.h"
#include "platform/media/GstHandle.h"
#include "playback/PlaybackEngine.h"
#include "playback/VideoEffectsCompositor.h"
#include "playback/VideoEffectsManager.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include <time.h>

#include <malloc.h>
#include <unistd.h>

using namespace orvelo;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

constexpr int fileSeconds = 5;
constexpr int framesPerSecond = 60;
constexpr int fileFrames = fileSeconds * framesPerSecond;
constexpr int plays = 4; // 4 x 5 s = 20 s

double msBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// Encoded once and kept next to the benchmark binary, so later runs start at once.
std::string generated(const std::string& name, const std::string& pipelineText)
{
    const std::string dir = QCoreApplication::applicationDirPath().toStdString() + "/bench-media";
    std::filesystem::create_directories(dir);
    const std::string path = dir + "/" + name;
    if (std::filesystem::exists(path))
        return path;
    ensureGStreamer();
    const std::string partial = path + ".part";
    std::string text = pipelineText + " ! filesink location=\"" + partial + "\"";
    GError* raw = nullptr;
    auto pipeline = adoptElement(gst_parse_launch(text.c_str(), &raw));
    GErrorHandle error(raw);
    if (!pipeline || error) {
        std::fprintf(stderr, "cannot build %s: %s\n", name.c_str(), error ? error->message : "?");
        return {};
    }
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    GstObjectHandle<GstBus> bus(gst_element_get_bus(pipeline.get()));
    GstMiniHandle<GstMessage> message(gst_bus_timed_pop_filtered(
        bus.get(), 600 * GST_SECOND, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    if (!message || GST_MESSAGE_TYPE(message.get()) != GST_MESSAGE_EOS) {
        std::fprintf(stderr, "encoding %s failed\n", name.c_str());
        std::filesystem::remove(partial);
        return {};
    }
    std::filesystem::rename(partial, path);
    return path;
}

// Moving colour bars at a show file's bit rate (about 15 Mbit/s), 1920x1080 at 60 fps.
std::string video1080p(const std::string& name, const std::string& pattern)
{
    return generated(name, "videotestsrc pattern=" + pattern +
                               " horizontal-speed=6 num-buffers=" + std::to_string(fileFrames) +
                               " ! video/x-raw,format=I420,width=1920,height=1080,framerate=60/1"
                               " ! x264enc speed-preset=veryfast bitrate=15000 key-int-max=60 ! h264parse ! mp4mux");
}

MediaTrack trackFor(const std::string& path, const QString& name)
{
    MediaTrack track;
    track.id = QUuid::createUuid();
    track.url = QUrl::fromLocalFile(QString::fromStdString(path));
    track.name = name;
    return track;
}

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    const auto end = Clock::now() + timeout;
    while (!done()) {
        if (Clock::now() > end)
            return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
        QThread::usleep(500);
    }
    return true;
}

void spinFor(std::chrono::milliseconds duration)
{
    waitUntil([] { return false; }, duration);
}

double processCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

double residentMegabytes()
{
    malloc_trim(0);
    long pages = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        long total = 0;
        if (std::fscanf(f, "%ld %ld", &total, &pages) != 2)
            pages = 0;
        std::fclose(f);
    }
    return static_cast<double>(pages) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// Every effect at work: the three shifts, offsets of 10.5 px, saturation, brightness, inversion.
struct FullEffects {
    FullEffects()
    {
        auto& fx = VideoEffectsManager::shared();
        fx.setRedTimeShift(5);
        fx.setGreenTimeShift(10);
        fx.setBlueTimeShift(15);
        fx.setRedHorizontalOffset(10.5);
        fx.setGreenVerticalOffset(10.5);
        fx.setBlueHorizontalOffset(-10.5);
        fx.setSaturation(1.5f);
        fx.setBrightness(0.2f);
        fx.setIsInverted(true);
    }
    ~FullEffects() { VideoEffectsManager::shared().resetAll(); }
};

// Watches items' presented frames from a thread of its own, at sub-millisecond resolution.
class FrameWatch {
public:
    struct Seen {
        int changes = 0;
        Clock::time_point first, last;
    };

    FrameWatch() : thread_([this] { run(); }) {}
    ~FrameWatch()
    {
        stop_ = true;
        thread_.join();
    }

    void watch(int slot, std::shared_ptr<MediaItem> item)
    {
        std::lock_guard lock(mutex_);
        items_[slot] = std::move(item);
        seen_[slot] = {};
        latest_[slot] = items_[slot] ? items_[slot]->latestFrame() : nullptr;
    }
    Seen seen(int slot)
    {
        std::lock_guard lock(mutex_);
        return seen_[slot];
    }
    void clear()
    {
        std::lock_guard lock(mutex_);
        for (auto& item : items_)
            item.reset();
    }

private:
    void run()
    {
        while (!stop_) {
            {
                std::lock_guard lock(mutex_);
                const auto now = Clock::now();
                for (int i = 0; i < 2; ++i) {
                    if (!items_[i])
                        continue;
                    auto frame = items_[i]->latestFrame();
                    if (frame && frame != latest_[i]) {
                        Seen& s = seen_[i];
                        if (++s.changes == 1)
                            s.first = now;
                        s.last = now;
                        latest_[i] = std::move(frame);
                    }
                }
            }
            std::this_thread::sleep_for(200us);
        }
    }

    std::mutex mutex_;
    std::shared_ptr<MediaItem> items_[2];
    VideoFramePtr latest_[2];
    Seen seen_[2];
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

void BM_Play1080p60FullEffects20s(benchmark::State& state)
{
    const std::string path = video1080p("bars-1080p60.mp4", "smpte");
    if (path.empty()) {
        state.SkipWithError("no 1080p file");
        return;
    }
    for (auto _ : state) {
        // Argument 0 leaves the effects neutral, for the cost of decoding alone.
        std::optional<FullEffects> effects;
        if (state.range(0))
            effects.emplace();
        PlaybackEngine engine;
        engine.repeatCountProvider = [](const QUuid&) { return plays; };
        bool ended = false;
        engine.onPlaybackEndedCallback = [&] { ended = true; };
        engine.loadAndPlay(trackFor(path, "Bars"));
        if (!waitUntil([&] { return !engine.isLoading(); }, 10s) || !engine.currentCompositor()) {
            state.SkipWithError("load failed");
            return;
        }
        const auto compositor = engine.currentCompositor();
        // The longest time without a new composed frame (restarts included), and the spread
        // of (arrival - media time) over the frames of one play: a constant offset is latency,
        // a growing one means the pipeline falls behind the clock. A play's first frame is the
        // prerolled one, shown before playback resumes, so it is left out.
        std::atomic<bool> stop{false};
        double longestGapMs = 0.0;
        double worstDriftMs = 0.0;
        std::thread sampler([&] {
            VideoFramePtr seen = compositor->latestFrame();
            Clock::time_point since = Clock::now();
            const Clock::time_point origin = since;
            double lastPts = -1.0;
            int framesInPlay = 0;
            double lowest = 0.0, highest = 0.0;
            const auto closePlay = [&] {
                if (framesInPlay > 1)
                    worstDriftMs = std::max(worstDriftMs, highest - lowest);
                framesInPlay = 0;
            };
            while (!stop) {
                std::this_thread::sleep_for(200us);
                const auto now = Clock::now();
                VideoFramePtr frame = compositor->latestFrame();
                if (!frame || frame == seen) {
                    longestGapMs = std::max(longestGapMs, msBetween(since, now));
                    continue;
                }
                seen = frame;
                since = now;
                if (frame->pts < lastPts)
                    closePlay();
                lastPts = frame->pts;
                const double offset = msBetween(origin, now) - frame->pts * 1000.0;
                if (++framesInPlay == 2) {
                    lowest = highest = offset;
                } else if (framesInPlay > 2) {
                    lowest = std::min(lowest, offset);
                    highest = std::max(highest, offset);
                }
            }
            closePlay();
        });
        const auto start = Clock::now();
        const double cpuStart = processCpuSeconds();
        waitUntil([&] { return ended; }, 120s);
        const double wallSeconds = msBetween(start, Clock::now()) / 1000.0;
        const double cpuSeconds = processCpuSeconds() - cpuStart;
        stop = true;
        sampler.join();
        const auto composed = static_cast<double>(compositor->finishedFrameCount());
        const double expected = plays * fileFrames;
        state.SetIterationTime(wallSeconds);
        state.counters["composed"] = composed;
        state.counters["file_frames"] = expected;
        state.counters["missing"] = std::max(0.0, expected - composed);
        state.counters["realtime_ratio"] = plays * fileSeconds / wallSeconds;
        // What the whole process needs per frame (decode, copy, compose, audio and all), all
        // threads together: the machine's share that playback needs whatever else runs.
        state.counters["cpu_ms_per_frame"] = cpuSeconds * 1000.0 / std::max(1.0, composed);
        state.counters["longest_gap_ms"] = longestGapMs;
        state.counters["worst_drift_ms"] = worstDriftMs;
        const auto last = compositor->latestFrame();
        state.counters["last_frame_composed"] = last && last->format == PixelFormat::bgra ? 1 : 0;
        state.SetLabel(state.range(0) ? "full effects" : "neutral");
    }
}
BENCHMARK(BM_Play1080p60FullEffects20s)->Arg(1)->Arg(0)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

void BM_LoadAndPlayToReady1080p(benchmark::State& state)
{
    const std::string first = video1080p("bars-1080p60.mp4", "smpte");
    const std::string second = video1080p("ball-1080p60.mp4", "ball");
    if (first.empty() || second.empty()) {
        state.SkipWithError("no 1080p file");
        return;
    }
    PlaybackEngine engine;
    const MediaTrack tracks[2] = {trackFor(first, "Bars"), trackFor(second, "Ball")};
    engine.loadAndPlay(tracks[0]); // warms up the plugins and the disk cache
    waitUntil([&] { return !engine.isLoading(); }, 10s);
    int next = 1;
    double worst = 0.0;
    for (auto _ : state) {
        const auto start = Clock::now();
        engine.loadAndPlay(tracks[next]);
        waitUntil([&] { return !engine.isLoading(); }, 10s);
        const double ms = msBetween(start, Clock::now());
        worst = std::max(worst, ms);
        state.SetIterationTime(ms / 1000.0);
        next = 1 - next;
        spinFor(300ms); // the previous track is playing when the next one is asked for
    }
    state.counters["worst_ms"] = worst;
}
BENCHMARK(BM_LoadAndPlayToReady1080p)->Iterations(12)->UseManualTime()->Unit(benchmark::kMillisecond);

// From the last frame of the playing track to the first frame of the next one on the player,
// which is what the output shows; "motion_ms" runs to the next track's second frame (the first
// one decoded after its prerolled one).
void BM_TrackSwitchPictureGap1080p(benchmark::State& state)
{
    const std::string first = video1080p("bars-1080p60.mp4", "smpte");
    const std::string second = video1080p("ball-1080p60.mp4", "ball");
    if (first.empty() || second.empty()) {
        state.SkipWithError("no 1080p file");
        return;
    }
    PlaybackEngine engine;
    const MediaTrack tracks[2] = {trackFor(first, "Bars"), trackFor(second, "Ball")};
    engine.loadAndPlay(tracks[0]);
    waitUntil([&] { return !engine.isLoading(); }, 10s);
    spinFor(500ms);
    FrameWatch watch;
    int next = 1;
    double worst = 0.0;
    double motionTotal = 0.0;
    int iterations = 0;
    for (auto _ : state) {
        watch.watch(0, engine.player()->currentItem());
        watch.watch(1, nullptr);
        Clock::time_point replaced{};
        bool hadFrame = false;
        auto connection = QObject::connect(engine.player(), &MediaPlayer::currentItemChanged, [&] {
            replaced = Clock::now();
            hadFrame = engine.player()->latestFrame() != nullptr;
            watch.watch(1, engine.player()->currentItem());
        });
        engine.loadAndPlay(tracks[next]);
        waitUntil([&] { return watch.seen(1).changes >= 1; }, 10s);
        QObject::disconnect(connection);
        const auto old = watch.seen(0);
        const auto now = watch.seen(1);
        const auto lastOld = old.changes > 0 ? old.last : replaced;
        // The new item's first frame is there before it becomes current (it is prerolled).
        const auto shown = hadFrame ? replaced : now.first;
        const double gap = msBetween(lastOld, shown);
        motionTotal += msBetween(lastOld, now.first);
        ++iterations;
        worst = std::max(worst, gap);
        state.SetIterationTime(gap / 1000.0);
        next = 1 - next;
        spinFor(400ms);
    }
    watch.clear();
    state.counters["worst_ms"] = worst;
    state.counters["motion_ms"] = iterations ? motionTotal / iterations : 0.0;
}
BENCHMARK(BM_TrackSwitchPictureGap1080p)->Iterations(12)->UseManualTime()->Unit(benchmark::kMillisecond);

// Resident memory of a paused 1080p item (one frame seen) against the same item after 2 s of
// playing with every effect on, when the history holds its 60 frames.
void BM_ResidentMemoryFullHistory1080p(benchmark::State& state)
{
    const std::string path = video1080p("bars-1080p60.mp4", "smpte");
    if (path.empty()) {
        state.SkipWithError("no 1080p file");
        return;
    }
    for (auto _ : state) {
        PlaybackEngine engine;
        // A rate of 0 loads the item without starting it: only the first frame is decoded.
        engine.setPlaybackRate(0.0f);
        engine.loadAndPlay(trackFor(path, "Bars"));
        waitUntil([&] { return !engine.isLoading(); }, 10s);
        spinFor(500ms);
        const double none = residentMegabytes();
        FullEffects effects;
        engine.setPlaybackRate(1.0f);
        engine.play();
        spinFor(2000ms);
        engine.pause();
        spinFor(200ms);
        const double full = residentMegabytes();
        state.counters["rss_no_history_MB"] = none;
        state.counters["rss_full_history_MB"] = full;
        state.counters["delta_MB"] = full - none;
    }
}
BENCHMARK(BM_ResidentMemoryFullHistory1080p)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    // No sound device is needed: a clocked null sink keeps real time.
    qputenv("GST_AUDIO_SINK", "fakesink");
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
