// The cost of one pattern frame at 1920x1080, as the output window and the NDI source draw it
// (screen and flat styles); the plasma grid also at its slider maximum of n = 50. CPU time is
// the whole process's: QPainter hands large blends to a thread pool.

#include "playback/AudioVisualPattern.h"
#include "playback/PatternFrame.h"
#include "playback/PatternRenderer.h"

#include <benchmark/benchmark.h>

#include <QImage>

#include <string>

using namespace orvelo;

namespace {

constexpr int width = 1920;
constexpr int height = 1080;

void drawPattern(benchmark::State& state, AudioVisualPattern pattern, PatternRenderer::Style style, double size)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    PatternRenderer renderer(pattern, style);
    PatternFrame frame;
    frame.size = size;
    frame.gap = 2.0;
    frame.amplitude = 0.7f;
    frame.time = 800'000'000.0;
    int n = 0;
    for (auto _ : state) {
        frame.time += 1.0 / 60.0;
        // Beats now and then, so the strobe and the ring draw their flash and pulse too.
        frame.beat = (++n % 30) < 3;
        renderer.draw(image, frame);
        benchmark::DoNotOptimize(image.constBits());
    }
    state.SetLabel(std::string(rawValue(pattern)) + (style == PatternRenderer::Style::flat ? " (flat)" : ""));
}

void registerAll()
{
    for (const auto style : {PatternRenderer::Style::screen, PatternRenderer::Style::flat}) {
        const std::string suffix = style == PatternRenderer::Style::flat ? "/flat" : "/screen";
        for (const auto pattern : allAudioVisualPatterns) {
            benchmark::RegisterBenchmark(("BM_Pattern/" + std::string(rawValue(pattern)) + suffix + "/n20").c_str(),
                                         drawPattern, pattern, style, 20.0)
                ->MeasureProcessCPUTime()
                ->Unit(benchmark::kMillisecond);
        }
        for (const auto pattern : {AudioVisualPattern::colorfulAbstract, AudioVisualPattern::verticalStripes,
                                   AudioVisualPattern::horizontalStripes, AudioVisualPattern::spectrumBars}) {
            benchmark::RegisterBenchmark(("BM_Pattern/" + std::string(rawValue(pattern)) + suffix + "/n50").c_str(),
                                         drawPattern, pattern, style, 50.0)
                ->MeasureProcessCPUTime()
                ->Unit(benchmark::kMillisecond);
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    registerAll();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
