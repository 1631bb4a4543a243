// The compositor's per-frame cost at 1920x1080 on one thread (pass-through and the full effect
// pipeline), the cost of the frame forms the media layer can deliver, and the history's memory.

#include "platform/media/VideoFrame.h"
#include "playback/BgraConverter.h"
#include "playback/EffectParameters.h"
#include "playback/EffectPipeline.h"
#include "playback/FrameHistory.h"
#include "playback/VideoEffectsCompositor.h"
#include "playback/VideoEffectsManager.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include <malloc.h>
#include <unistd.h>

using namespace orvelo;

namespace {

constexpr int width = 1920;
constexpr int height = 1080;
constexpr double megaPixels = width * height / 1.0e6;

// Distinct, busy frames, so that no stage can get away with cached or constant data.
std::shared_ptr<VideoFrame> makeFrame(PixelFormat format, unsigned seed)
{
    auto frame = VideoFrame::allocate(width, height, format);
    std::uint32_t state = 2463534242u ^ (seed * 0x9E3779B9u);
    for (auto& byte : frame->data) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = static_cast<std::uint8_t>(state);
    }
    frame->pts = seed / 60.0;
    return frame;
}

std::vector<VideoFramePtr> makeFrames(PixelFormat format, int count)
{
    std::vector<VideoFramePtr> frames;
    for (int i = 0; i < count; ++i)
        frames.push_back(makeFrame(format, static_cast<unsigned>(i)));
    return frames;
}

EffectParameters fullPipeline()
{
    EffectParameters p;
    p.timeShift = {5, 12, 25};
    p.horizontalOffset = {10.5, 10.5, 10.5};
    p.verticalOffset = {10.5, 10.5, 10.5};
    p.saturation = 1.5f;
    p.brightness = 0.2f;
    p.isInverted = true;
    return p;
}

void setRate(benchmark::State& state)
{
    state.counters["MPixel/s"] = benchmark::Counter(megaPixels, benchmark::Counter::kIsIterationInvariantRate);
}

// What the compositor's queue does per request: append to the history, snapshot, compose.
void runPipeline(benchmark::State& state, PixelFormat format, const EffectParameters& params)
{
    const auto frames = makeFrames(format, FrameHistory::capacity + 1);
    FrameHistory history;
    EffectPipeline pipeline;
    for (const auto& frame : frames)
        history.append(frame);
    std::size_t next = 0;
    for (auto _ : state) {
        history.append(frames[next]);
        next = (next + 1) % frames.size();
        auto result = pipeline.compose(history, params);
        benchmark::DoNotOptimize(result.frame.get());
    }
    setRate(state);
}

void BM_PassThrough_I420(benchmark::State& state)
{
    runPipeline(state, PixelFormat::i420, EffectParameters{});
}
BENCHMARK(BM_PassThrough_I420)->Unit(benchmark::kMicrosecond);

void BM_PassThrough_WithSnapshot(benchmark::State& state)
{
    // The same through the effects store, as the compositor reads it.
    VideoEffectsManager effects;
    const auto frames = makeFrames(PixelFormat::i420, FrameHistory::capacity + 1);
    FrameHistory history;
    EffectPipeline pipeline;
    std::size_t next = 0;
    for (auto _ : state) {
        history.append(frames[next]);
        next = (next + 1) % frames.size();
        auto result = pipeline.compose(history, effects.snapshot());
        benchmark::DoNotOptimize(result.frame.get());
    }
    setRate(state);
}
BENCHMARK(BM_PassThrough_WithSnapshot)->Unit(benchmark::kMicrosecond);

void BM_FullPipeline_I420(benchmark::State& state)
{
    runPipeline(state, PixelFormat::i420, fullPipeline());
}
BENCHMARK(BM_FullPipeline_I420)->Unit(benchmark::kMillisecond);

void BM_FullPipeline_BGRA(benchmark::State& state)
{
    runPipeline(state, PixelFormat::bgra, fullPipeline());
}
BENCHMARK(BM_FullPipeline_BGRA)->Unit(benchmark::kMillisecond);

void BM_ColorControlsOnly_I420(benchmark::State& state)
{
    EffectParameters p;
    p.saturation = 1.5f;
    p.brightness = 0.2f;
    runPipeline(state, PixelFormat::i420, p);
}
BENCHMARK(BM_ColorControlsOnly_I420)->Unit(benchmark::kMillisecond);

// A request through the compositor's own queue and back, thread hop included.
void BM_CompositorRoundTrip_PassThrough(benchmark::State& state)
{
    VideoEffectsManager effects;
    VideoEffectsCompositor compositor(effects);
    const auto frames = makeFrames(PixelFormat::i420, 4);
    std::mutex mutex;
    std::condition_variable done;
    std::uint64_t finished = 0;
    std::uint64_t started = 0;
    for (auto _ : state) {
        compositor.startRequest(frames[started % frames.size()], [&](const CompositionResult&) {
            std::lock_guard lock(mutex);
            ++finished;
            done.notify_one();
        });
        ++started;
        std::unique_lock lock(mutex);
        done.wait(lock, [&] { return finished == started; });
    }
}
BENCHMARK(BM_CompositorRoundTrip_PassThrough)->Unit(benchmark::kMicrosecond);

// What showing a pass-through I420 frame costs a consumer that needs RGB.
void BM_ConvertI420ToBGRA(benchmark::State& state)
{
    const VideoFramePtr frame = makeFrame(PixelFormat::i420, 1);
    BgraConverter converter;
    for (auto _ : state) {
        auto out = converter.convert(frame);
        benchmark::DoNotOptimize(out.get());
    }
    setRate(state);
}
BENCHMARK(BM_ConvertI420ToBGRA)->Unit(benchmark::kMillisecond);

// The copy out of the decoder's buffer that the media layer makes per frame, in either form.
void copyFrame(benchmark::State& state, PixelFormat format)
{
    const auto source = makeFrame(format, 1);
    auto target = VideoFrame::allocate(width, height, format);
    for (auto _ : state) {
        std::memcpy(target->data.data(), source->data.data(), source->data.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * source->data.size()));
}
void BM_CopyFrame_I420(benchmark::State& state)
{
    copyFrame(state, PixelFormat::i420);
}
void BM_CopyFrame_BGRA(benchmark::State& state)
{
    copyFrame(state, PixelFormat::bgra);
}
BENCHMARK(BM_CopyFrame_I420)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CopyFrame_BGRA)->Unit(benchmark::kMicrosecond);

double residentMiB()
{
    long pages = 0;
    long resident = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// Bytes the allocator has handed out and not got back: unlike the resident size, not inflated
// by what earlier benchmarks of this run freed.
double allocatedMiB()
{
    const struct mallinfo2 info = mallinfo2();
    return static_cast<double>(info.uordblks + info.hblkhd) / (1024.0 * 1024.0);
}

// Memory with the history full at 1080p against the same process before the first frame. Every
// frame is a fresh allocation, as the media layer delivers them. resident_MiB is meaningful
// when the benchmark runs alone (--benchmark_filter=Memory_...).
void reportMemory(benchmark::State& state, double residentBefore, double allocatedBefore)
{
    state.counters["resident_MiB"] = residentMiB() - residentBefore;
    state.counters["allocated_MiB"] = allocatedMiB() - allocatedBefore;
}

void historyMemory(benchmark::State& state, PixelFormat format)
{
    for (auto _ : state) {
        FrameHistory history;
        const double resident = residentMiB();
        const double allocated = allocatedMiB();
        for (int i = 0; i < FrameHistory::capacity + 10; ++i)
            history.append(makeFrame(format, static_cast<unsigned>(i)));
        reportMemory(state, resident, allocated);
    }
}
void BM_Memory_HistoryI420(benchmark::State& state)
{
    historyMemory(state, PixelFormat::i420);
}
void BM_Memory_HistoryBGRA(benchmark::State& state)
{
    historyMemory(state, PixelFormat::bgra);
}
BENCHMARK(BM_Memory_HistoryI420)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memory_HistoryBGRA)->Iterations(1)->Unit(benchmark::kMillisecond);

// The whole compositor with every effect on: history, pooled output frames, row buffers.
void BM_Memory_CompositorFullEffectsI420(benchmark::State& state)
{
    for (auto _ : state) {
        VideoEffectsManager effects;
        const EffectParameters p = fullPipeline();
        effects.setRedTimeShift(p.timeShift[0]);
        effects.setGreenTimeShift(p.timeShift[1]);
        effects.setBlueTimeShift(p.timeShift[2]);
        effects.setRedHorizontalOffset(10.5);
        effects.setSaturation(p.saturation);
        effects.setBrightness(p.brightness);
        effects.setIsInverted(true);
        VideoEffectsCompositor compositor(effects);
        const double resident = residentMiB();
        const double allocated = allocatedMiB();
        std::mutex mutex;
        std::condition_variable done;
        int finished = 0;
        for (int i = 0; i < FrameHistory::capacity + 10; ++i) {
            compositor.startRequest(makeFrame(PixelFormat::i420, static_cast<unsigned>(i)),
                                    [&](const CompositionResult&) {
                                        std::lock_guard lock(mutex);
                                        ++finished;
                                        done.notify_one();
                                    });
            std::unique_lock lock(mutex);
            done.wait(lock, [&] { return finished == i + 1; });
        }
        reportMemory(state, resident, allocated);
    }
}
BENCHMARK(BM_Memory_CompositorFullEffectsI420)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
