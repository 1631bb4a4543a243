// What one channel of linear timecode costs: encoding and decoding one second of signal at
// 48 kHz, alone and (for decoding) through the whole input pipeline from a WAV file. The
// counter "cpu_us_per_s" is the CPU time one channel running in real time takes each second.
#include "platform/media/LtcDecoder.h"
#include "platform/media/LtcEncoder.h"
#include "platform/media/LtcInput.h"
#include "support/MediaFiles.h"
#include "support/TestSupport.h"

#include <benchmark/benchmark.h>

#include <ctime>
#include <future>
#include <span>

using namespace orvelo;

namespace {

constexpr int sampleRate = 48000;

std::vector<float> encodedSeconds(int fps, int seconds)
{
    auto encoder = LtcEncoder::create(fps, sampleRate);
    std::vector<float> out;
    for (int f = 0; f <= seconds * fps; ++f) {
        const auto frame = encoder->encodeFloat(LtcTimecode::fromFrameCount(36000LL * fps + f, fps));
        out.insert(out.end(), frame.begin(), frame.end());
    }
    return out;
}

double processCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// One iteration is one second of signal: microseconds per iteration.
benchmark::Counter perSecondOfSignal(const benchmark::State& state)
{
    return benchmark::Counter(static_cast<double>(state.iterations()) * 1e-6,
                              benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_LtcEncodeOneSecond(benchmark::State& state)
{
    const int fps = static_cast<int>(state.range(0));
    auto encoder = LtcEncoder::create(fps, sampleRate);
    long long frame = 0;
    for (auto _ : state)
        for (int f = 0; f < fps; ++f)
            benchmark::DoNotOptimize(encoder->encodeFloat(LtcTimecode::fromFrameCount(frame++, fps)));
    state.counters["cpu_us_per_s"] = perSecondOfSignal(state);
}

// Fed in 10 ms pieces, as a capture device delivers them.
void BM_LtcDecodeOneSecond(benchmark::State& state)
{
    const int fps = static_cast<int>(state.range(0));
    const auto signal = encodedSeconds(fps, 1);
    LtcDecoder decoder(sampleRate, fps);
    std::size_t found = 0;
    for (auto _ : state)
        for (std::size_t at = 0; at + 480 <= signal.size(); at += 480)
            found += decoder.write(std::span<const float>(signal.data() + at, 480)).size();
    benchmark::DoNotOptimize(found);
    state.counters["cpu_us_per_s"] = perSecondOfSignal(state);
}

// A minute of recorded timecode read through the input's own pipeline (file, decoder,
// conversion, the decoder) as fast as it goes: the process's CPU time per second of signal.
void BM_LtcInputPipelineOneMinute(benchmark::State& state)
{
    constexpr int fps = 25;
    const std::string path = test::tempDir() + "/bench-ltc-minute.wav";
    if (!test::MediaFiles::writeWav(path, encodedSeconds(fps, 60), sampleRate, 1)) {
        state.SkipWithError("cannot write the recording");
        return;
    }
    double cpu = 0;
    std::size_t frames = 0;
    for (auto _ : state) {
        std::promise<void> ended;
        std::atomic<std::size_t> found{0};
        const double before = processCpuSeconds();
        auto input = LtcInput::start(
            {LtcInput::SourceKind::file, path, 1, 0, fps},
            [&](const LtcDecoder::Frame&, std::chrono::steady_clock::time_point) { ++found; },
            [&](const std::optional<LtcInput::Failure>&) { ended.set_value(); });
        if (!std::holds_alternative<std::unique_ptr<LtcInput>>(input)) {
            state.SkipWithError("the input did not start");
            return;
        }
        ended.get_future().wait();
        cpu += processCpuSeconds() - before;
        frames = found;
    }
    state.counters["frames"] = static_cast<double>(frames);
    state.counters["cpu_us_per_s"] = 1e6 * cpu / (60.0 * static_cast<double>(state.iterations()));
}

} // namespace

BENCHMARK(BM_LtcEncodeOneSecond)->Arg(24)->Arg(25)->Arg(30);
BENCHMARK(BM_LtcDecodeOneSecond)->Arg(24)->Arg(25)->Arg(30);
BENCHMARK(BM_LtcInputPipelineOneMinute)->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK_MAIN();
