#include "platform/media/DxtDecoder.h"
#include "platform/media/HapFrame.h"

#include <benchmark/benchmark.h>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

// One HAP frame's decode, second stage and DXT, to RGBA pixels: ours on one thread, ours as
// the element runs it (two threads), and libavcodec's decoder on one thread, on the same
// ffmpeg-made frame.

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Format {
    const char* ffmpegName;
    const char* fourcc;
};

constexpr Format formats[] = {{"hap", "Hap1"}, {"hap_alpha", "Hap5"}, {"hap_q", "HapY"}};
constexpr int sizes[][2] = {{1920, 1080}, {3840, 2160}};

Bytes encodeFrame(const Format& format, int width, int height)
{
    const auto path = std::filesystem::temp_directory_path() /
                      (std::string("bench_") + format.fourcc + std::to_string(width) + ".hap");
    // The raw muxer writes the one packet as it is: exactly one HAP frame. Two chunks, as
    // encoders for playback usually write at these sizes.
    const std::string cmd = "ffmpeg -v error -y -f lavfi -i testsrc2=size=" + std::to_string(width) + "x" +
                            std::to_string(height) + " -frames:v 1 -c:v hap -chunks 2 -format " + format.ffmpegName +
                            " -f rawvideo " + path.string();
    if (std::system(cmd.c_str()) != 0)
        return {};
    std::ifstream in(path, std::ios::binary);
    Bytes bytes{std::istreambuf_iterator<char>(in), {}};
    std::filesystem::remove(path);
    return bytes;
}

void ours(benchmark::State& state, Bytes frame, std::uint32_t width, std::uint32_t height, unsigned threads)
{
    orvelo::HapUnpacker unpacker(threads);
    std::vector<std::uint32_t> pixels(std::size_t{width} * height);
    const orvelo::PixelTarget target{reinterpret_cast<std::uint8_t*>(pixels.data()), width * 4u, width, height,
                                     orvelo::PixelOrder::rgba};
    const std::uint32_t rows = orvelo::dxtBlockRows(height);
    for (auto _ : state) {
        const auto result = unpacker.unpack(frame, width, height);
        if (!result) {
            state.SkipWithError(result.error.c_str());
            return;
        }
        const auto format = orvelo::dxtFormatOf(result.textures->colour.format);
        const auto& blocks = result.textures->colour.blocks;
        if (threads > 1) {
            std::thread helper([&] { orvelo::decodeDxt(format, blocks, {}, target, rows / 2, rows); });
            orvelo::decodeDxt(format, blocks, {}, target, 0, rows / 2);
            helper.join();
        } else {
            orvelo::decodeDxt(format, blocks, {}, target, 0, rows);
        }
        benchmark::DoNotOptimize(pixels.data());
        benchmark::ClobberMemory();
    }
}

void ffmpeg(benchmark::State& state, Bytes frame, const char* fourcc, int width, int height)
{
    const AVCodec* codec = avcodec_find_decoder_by_name("hap");
    AVCodecContext* context = codec ? avcodec_alloc_context3(codec) : nullptr;
    if (!context) {
        state.SkipWithError("libavcodec has no HAP decoder");
        return;
    }
    context->width = width;
    context->height = height;
    context->codec_tag = MKTAG(fourcc[0], fourcc[1], fourcc[2], fourcc[3]);
    context->thread_count = 1;
    AVPacket* packet = av_packet_alloc();
    AVFrame* picture = av_frame_alloc();
    if (avcodec_open2(context, codec, nullptr) < 0 || av_new_packet(packet, static_cast<int>(frame.size())) < 0) {
        state.SkipWithError("libavcodec's HAP decoder does not open");
    } else {
        std::copy(frame.begin(), frame.end(), packet->data);
        packet->flags |= AV_PKT_FLAG_KEY;
        for (auto _ : state) {
            if (avcodec_send_packet(context, packet) < 0 || avcodec_receive_frame(context, picture) < 0) {
                state.SkipWithError("libavcodec failed to decode the frame");
                break;
            }
            benchmark::DoNotOptimize(picture->data[0]);
            av_frame_unref(picture);
        }
    }
    av_frame_free(&picture);
    av_packet_free(&packet);
    avcodec_free_context(&context);
}

} // namespace

int main(int argc, char** argv)
{
    for (const auto& size : sizes) {
        for (const Format& format : formats) {
            Bytes frame = encodeFrame(format, size[0], size[1]);
            if (frame.empty()) {
                std::fprintf(stderr, "ffmpeg could not make a %s frame; skipped\n", format.fourcc);
                continue;
            }
            const std::string name = std::string(format.fourcc) + "/" + std::to_string(size[1]) + "p/";
            const auto w = static_cast<std::uint32_t>(size[0]), h = static_cast<std::uint32_t>(size[1]);
            benchmark::RegisterBenchmark((name + "ours").c_str(), ours, frame, w, h, 1u)->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark((name + "ours_2threads").c_str(), ours, frame, w, h, 2u)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
            benchmark::RegisterBenchmark((name + "ffmpeg").c_str(), ffmpeg, frame, format.fourcc, size[0], size[1])
                ->Unit(benchmark::kMillisecond);
        }
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
