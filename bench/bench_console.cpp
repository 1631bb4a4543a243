// A console's view of the player's speed: from the ArtDmx datagram that selects a track to the
// engine's load and to the first composed frame of a 1080p H.264 file, with and without tracks
// kept ready, the memory over hundreds of cues, loop seams, and the timecode's pace and
// steadiness while DMX flows at 44 frames per second.

#include "core/DMXController.h"
#include "core/TimecodeFollower.h"
#include "net/ArtNetPacket.h"
#include "net/ArtNetService.h"
#include "net/ListeningService.h"
#include "net/ProtocolManager.h"
#include "net/SACNService.h"
#include "platform/AllocatorLimits.h"
#include "platform/ByteWriter.h"
#include "platform/Log.h"
#include "platform/media/GStreamerInit.h"
#include "platform/media/GstHandle.h"
#include "platform/media/MediaPlayer.h"
#include "playback/MediaTrack.h"
#include "playback/PlaybackEngine.h"
#include "settings/TimecodeSettings.h"
#include "support/QuietStdout.h"
#include "support/TimecodeSource.h"
#include "support/UdpTestSupport.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <QUrl>
#include <QUuid>

#include <arpa/inet.h>
#include <fcntl.h>
#include <malloc.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace orvelo;
using orvelo::test::freeUdpPort;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

double ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(p * static_cast<double>(values.size() - 1))];
}

void runEventLoopFor(std::chrono::milliseconds duration)
{
    QEventLoop loop;
    QTimer::singleShot(duration, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs the event loop until `done` holds, checking every millisecond; false after `timeout`.
template <typename Done> bool runUntil(Done done, std::chrono::milliseconds timeout)
{
    if (done())
        return true;
    const auto until = Clock::now() + timeout;
    QEventLoop loop;
    QTimer poll;
    poll.setTimerType(Qt::PreciseTimer);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done() || Clock::now() > until)
            loop.quit();
    });
    poll.start(1);
    loop.exec();
    return done();
}

// 1080p H.264 made once beside the benchmark program.
std::string clip1080(int seconds, int pattern, int fps = 25)
{
    char self[4096] = {};
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    const std::filesystem::path dir =
        std::filesystem::path(n > 0 ? std::string(self, static_cast<std::size_t>(n)) : "/tmp").parent_path() /
        "bench-media";
    std::filesystem::create_directories(dir);
    const std::string path = (dir / ("h264-i420-1080p-" + std::to_string(seconds) + "s-" + std::to_string(pattern) +
                                     (fps == 25 ? "" : "-" + std::to_string(fps) + "fps") + ".mp4"))
                                 .string();
    if (std::filesystem::exists(path))
        return path;
    ensureGStreamer();
    const std::string partial = path + ".part";
    const std::string description =
        "videotestsrc num-buffers=" + std::to_string(seconds * fps) + " pattern=" + std::to_string(pattern) +
        " ! video/x-raw,format=I420,width=1920,height=1080,framerate=" + std::to_string(fps) +
        "/1 ! x264enc speed-preset=ultrafast key-int-max=" + std::to_string(fps) +
        " bframes=0"
        " ! mp4mux ! filesink location=\"" +
        partial + "\"";
    GError* raw = nullptr;
    auto pipeline = adoptElement(gst_parse_launch(description.c_str(), &raw));
    GErrorHandle error(raw);
    if (!pipeline || error)
        return {};
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    GstObjectHandle<GstBus> bus(gst_element_get_bus(pipeline.get()));
    GstMiniHandle<GstMessage> message(gst_bus_timed_pop_filtered(
        bus.get(), 300 * GST_SECOND, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
    const bool ok = message && GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_EOS;
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    if (!ok)
        return {};
    std::filesystem::rename(partial, path);
    return path;
}

MediaTrack track(const std::string& path, int index)
{
    MediaTrack t;
    t.id = QUuid::createUuid();
    t.url = QUrl::fromLocalFile(QString::fromStdString(path));
    t.name = QString::fromStdString(std::filesystem::path(path).filename().string());
    t.timecodeOffset = index * 3600.0;
    return t;
}

std::vector<std::uint8_t> artDmx(int control)
{
    ByteWriter w(18 + 512);
    w.bytes(artnet::artNetID).u16le(artnet::opOutput).u8(0).u8(14).u8(0).u8(0).u16le(0).u16be(512);
    w.u8(static_cast<std::uint8_t>(control)).zeros(511);
    return w.take();
}

// How late a 5 ms main-loop timer fires: the main thread's own delay (busy or starved of CPU),
// which every DMX frame and every timecode update waits through.
class MainLoopProbe {
public:
    MainLoopProbe()
    {
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] {
            const auto now = Clock::now();
            late_.push_back(std::max(0.0, ms(now - last_) - 5.0));
            last_ = now;
        });
        last_ = Clock::now();
        timer_.start(5);
    }
    double lateP99() const { return percentile(late_, 0.99); }

private:
    QTimer timer_;
    Clock::time_point last_;
    std::vector<double> late_;
};

double residentMB()
{
    std::FILE* f = std::fopen("/proc/self/statm", "r");
    unsigned long long size = 0, resident = 0;
    if (f) {
        if (std::fscanf(f, "%llu %llu", &size, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// Bytes the allocator has handed out and not taken back: what RSS would be without the
// allocator's own caching.
double heapInUseMB()
{
    const struct mallinfo2 info = ::mallinfo2();
    return static_cast<double>(info.uordblks + info.hblkhd) / (1024.0 * 1024.0);
}

// CPU time of the whole process so far (all threads), in seconds.
double processCpuSeconds()
{
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// Time this thread has spent runnable but waiting for a core, in milliseconds: tells a main
// thread starved by a busy machine from one that is slow on its own.
double runQueueWaitMs()
{
    std::FILE* f = std::fopen("/proc/thread-self/schedstat", "r");
    unsigned long long running = 0, waiting = 0;
    if (f) {
        if (std::fscanf(f, "%llu %llu", &running, &waiting) != 2)
            waiting = 0;
        std::fclose(f);
    }
    return static_cast<double>(waiting) / 1e6;
}

class NoCITP : public ListeningService {
public:
    void startListening() override {}
    void stopListening() override {}
};

// The player's core as the application assembles it, on ports of its own; timecode goes to
// 127.0.0.1:timecodePort.
struct Player {
    static ArtNetService::Options artNetOptions(std::uint16_t port, std::uint16_t timecodePort)
    {
        ArtNetService::Options o;
        o.listenPort = port;
        o.destinationAddress = "127.0.0.1";
        o.destinationPort = timecodePort;
        o.clearPort = false;
        return o;
    }
    static SACNService::Options sacnOptions()
    {
        SACNService::Options o;
        o.port = freeUdpPort();
        return o;
    }

    explicit Player(std::uint16_t timecodePort) : artNet(artNetOptions(port, timecodePort)), sacn(sacnOptions()) {}

    std::uint16_t port = freeUdpPort();
    ArtNetService artNet;
    SACNService sacn;
    NoCITP citp;
    ProtocolManager manager{artNet, sacn, citp};
    PlaybackEngine engine;
    DMXController controller{manager, engine};
};

// A console holding its control value, 44 frames a second.
class Console {
public:
    explicit Console(std::uint16_t port)
    {
        fd_ = test::connectedUdpSocket(port);
        thread_ = std::thread([this] {
            auto next = Clock::now();
            while (!stop_) {
                send(value_);
                next += std::chrono::microseconds(1'000'000 / 44);
                std::this_thread::sleep_until(next);
            }
        });
    }
    ~Console()
    {
        stop_ = true;
        thread_.join();
        ::close(fd_);
    }
    // Sends the new value at once (the datagram the measurement starts from) and keeps it.
    void change(int value)
    {
        value_ = value;
        send(value);
    }

private:
    void send(int value) const
    {
        const auto frame = artDmx(value);
        [[maybe_unused]] const auto n = ::send(fd_, frame.data(), frame.size(), 0);
    }

    int fd_ = -1;
    std::atomic<int> value_{0};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Whether a frame is black (or nearly): the mean of a sparse grid of its luma or colour.
bool looksBlack(const VideoFrame& frame)
{
    if (!frame.hasValidLayout() || frame.width == 0 || frame.height == 0)
        return true;
    long sum = 0, count = 0;
    const int step = 16;
    for (int y = 0; y < frame.height; y += step)
        for (int x = 0; x < frame.width; x += step) {
            const std::uint8_t* row = frame.plane(0) + static_cast<std::ptrdiff_t>(y) * frame.strides[0];
            sum += frame.format == PixelFormat::bgra ? (row[x * 4] + row[x * 4 + 1] + row[x * 4 + 2]) / 3 : row[x];
            ++count;
        }
    return sum / count < 24;
}

// A console bumps through six 1080p tracks, one cue at a time, with `range(0)` tracks kept ready
// (0: every cue loads): from the datagram to the engine's loadAndPlay, and to the new track's
// first frame in the player (cues of a track that was ready apart: prepared_*); how often the player had no frame or a
// black one between two tracks (sampled every millisecond); the memory a kept track costs; and resident memory and heap
// over 200 cues. Run with ORVELO_BENCH_PLAIN_ALLOCATOR=1 for glibc's default arenas.
void BM_SelectTrackLatency(benchmark::State& state)
{
    const int preloads = static_cast<int>(state.range(0));
    std::vector<std::string> clips;
    // Bright test patterns: a black frame between two of them is a gap, never the content.
    for (int pattern : {0, 1, 4, 5, 6, 7})
        clips.push_back(clip1080(3, pattern));
    if (std::any_of(clips.begin(), clips.end(), [](const std::string& c) { return c.empty(); })) {
        state.SkipWithError("could not make the 1080p clips");
        return;
    }
    orvelo::test::QuietStdout quiet;
    Player player(freeUdpPort());
    player.engine.preloader().setCount(0);
    QList<MediaTrack> tracks;
    for (std::size_t i = 0; i < clips.size(); ++i)
        tracks << track(clips[i], static_cast<int>(i));
    player.controller.playlist().setPlaylist(tracks);
    runUntil([&] { return player.artNet.isListening(); }, 2000ms);
    Console console(player.port);

    std::atomic<std::int64_t> loadCalledNs{0};
    setLogObserver([&](std::string_view line) {
        if (line.starts_with("PlaybackEngine: loadAndPlay called for "))
            loadCalledNs = Clock::now().time_since_epoch().count();
    });
    MainLoopProbe probe;

    // A track on show, then what keeping the next ones ready adds.
    console.change(11);
    runUntil([&] { return player.engine.currentTrack() && !player.engine.isLoading(); }, 5000ms);
    runEventLoopFor(1000ms);
    const double residentWithoutPreloads = residentMB();
    player.engine.preloader().setCount(preloads);
    runUntil(
        [&] {
            int ready = 0;
            for (const MediaTrack& t : tracks)
                ready += player.engine.preloader().isReady(t);
            return ready == preloads;
        },
        5000ms);
    runEventLoopFor(500ms);
    const double preloadCost = preloads > 0 ? (residentMB() - residentWithoutPreloads) / preloads : 0.0;

    // Split by whether the cued track was ready when the cue came: a preparation still under way
    // (cues faster than a load) is a load.
    std::vector<double> toLoad, toFrame, toPreparedFrame;
    int failures = 0, gapSamples = 0;
    double residentAfter10 = 0, heapAfter10 = 0, waitBefore = 0;
    const auto sample = [&] {
        const MediaPlayer* p = player.engine.player();
        const VideoFramePtr frame = p ? p->latestFrame() : nullptr;
        gapSamples += !frame || looksBlack(*frame);
    };
    constexpr int switches = 200;
    for (auto _ : state) {
        waitBefore = runQueueWaitMs();
        for (int i = 1; i <= switches; ++i) {
            const MediaTrack& target = tracks[i % tracks.size()];
            const QString path = target.url.toLocalFile();
            loadCalledNs = 0;
            const bool prepared = player.engine.preloader().isReady(target);
            const auto sent = Clock::now();
            console.change(11 + 10 * (i % static_cast<int>(tracks.size())));
            const bool shown = runUntil(
                [&] {
                    sample();
                    const MediaPlayer* p = player.engine.player();
                    return p && p->currentItem() && p->currentItem()->path() == path && p->latestFrame() &&
                           player.engine.currentTrack() && player.engine.currentTrack()->id == target.id;
                },
                5000ms);
            const auto framed = Clock::now();
            if (!shown || loadCalledNs == 0) {
                ++failures;
                continue;
            }
            toLoad.push_back(ms(Clock::time_point(Clock::duration(loadCalledNs.load())) - sent));
            (prepared ? toPreparedFrame : toFrame).push_back(ms(framed - sent));
            // Let it play a little, as a show would, before the next cue.
            runUntil(
                [&] {
                    sample();
                    return false;
                },
                300ms);
            if (i == 10) {
                residentAfter10 = residentMB();
                heapAfter10 = heapInUseMB();
            }
        }
        state.SetIterationTime(1.0);
    }
    // The allocator's free memory is handed back a second after the last switch.
    runEventLoopFor(1500ms);
    state.counters["switches"] = static_cast<double>(toLoad.size());
    state.counters["failed"] = failures;
    state.counters["prepared_cues"] = static_cast<double>(toPreparedFrame.size());
    state.counters["to_load_p50_ms"] = percentile(toLoad, 0.5);
    state.counters["to_load_p99_ms"] = percentile(toLoad, 0.99);
    state.counters["to_frame_p50_ms"] = percentile(toFrame, 0.5);
    state.counters["to_frame_p99_ms"] = percentile(toFrame, 0.99);
    state.counters["to_frame_max_ms"] = percentile(toFrame, 1.0);
    state.counters["prepared_to_frame_p50_ms"] = percentile(toPreparedFrame, 0.5);
    state.counters["prepared_to_frame_p99_ms"] = percentile(toPreparedFrame, 0.99);
    state.counters["prepared_to_frame_max_ms"] = percentile(toPreparedFrame, 1.0);
    state.counters["gap_or_black_samples"] = gapSamples;
    state.counters["main_loop_late_p99_ms"] = probe.lateP99();
    state.counters["main_runqueue_wait_ms"] = runQueueWaitMs() - waitBefore;
    state.counters["preload_cost_mb"] = preloadCost;
    state.counters["resident_after_10_mb"] = residentAfter10;
    state.counters["resident_end_mb"] = residentMB();
    state.counters["resident_growth_after_10_mb"] = residentMB() - residentAfter10;
    state.counters["heap_growth_after_10_mb"] = heapInUseMB() - heapAfter10;
    setLogObserver({});
}
BENCHMARK(BM_SelectTrackLatency)->Arg(0)->Arg(2)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// A one-second 1080p clip looped twenty times: frames dropped or shown twice at the seams, read
// from the playback's own time line (a frame period between any two frames when seamless).
void BM_LoopSeam(benchmark::State& state)
{
    const std::string clip = clip1080(1, 0);
    if (clip.empty()) {
        state.SkipWithError("could not make the 1080p clip");
        return;
    }
    orvelo::test::QuietStdout quiet;
    std::mutex mutex;
    std::vector<double> times;
    int seams = 0, dropped = 0, repeated = 0;
    for (auto _ : state) {
        MediaPlayer player;
        auto item = MediaItem::load(QString::fromStdString(clip), PixelFormat::i420);
        runUntil([&] { return item->status() != MediaItem::Status::loading; }, 5000ms);
        item->setVideoFrameHook([&](const VideoFramePtr& frame) {
            std::lock_guard lock(mutex);
            times.push_back(frame->runningTime);
            return frame;
        });
        int plays = 0;
        bool ended = false;
        QObject::connect(&player, &MediaPlayer::itemEndReached, [&] {
            if (++plays == 20)
                player.setLoopAtEnd(false);
        });
        QObject::connect(&player, &MediaPlayer::itemDidPlayToEnd, [&] { ended = true; });
        player.setLoopAtEnd(true);
        player.replaceCurrentItem(item);
        player.play();
        runUntil([&] { return ended; }, 40000ms);
        seams = plays - 1;
        state.SetIterationTime(1.0);
    }
    std::lock_guard lock(mutex);
    const double period = 1.0 / 25.0;
    for (std::size_t i = 1; i < times.size(); ++i) {
        const double step = times[i] - times[i - 1];
        if (step == 0.0 && i == 1)
            continue; // the prerolled frame, presented again as playback starts
        repeated += step < period / 2;
        dropped += step > period * 1.5 ? static_cast<int>(std::lround(step / period)) - 1 : 0;
    }
    state.counters["seams"] = seams;
    state.counters["frames"] = static_cast<double>(times.size());
    state.counters["dropped_frames"] = dropped;
    state.counters["repeated_frames"] = repeated;
}
BENCHMARK(BM_LoopSeam)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// Where a console listens for timecode: the ArtTimeCode datagrams that reach it, with the time
// each arrived.
class TimecodeListener {
public:
    TimecodeListener()
    {
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address);
        socklen_t length = sizeof address;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        const timeval tick{0, 50'000};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tick, sizeof tick);
        thread_ = std::thread([this] {
            std::uint8_t buffer[1024];
            while (receiving_) {
                const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
                if (n <= 0 || artnet::decodeHeader(std::span<const std::uint8_t>(
                                  buffer, static_cast<std::size_t>(n))) != artnet::opTimeCode)
                    continue;
                std::lock_guard lock(mutex_);
                arrivals_.push_back(Clock::now());
            }
        });
    }
    ~TimecodeListener()
    {
        receiving_ = false;
        thread_.join();
        ::close(fd_);
    }
    std::uint16_t port() const { return port_; }
    std::vector<Clock::time_point> take()
    {
        std::lock_guard lock(mutex_);
        return std::exchange(arrivals_, {});
    }

private:
    int fd_ = -1;
    std::uint16_t port_ = 0;
    std::mutex mutex_;
    std::vector<Clock::time_point> arrivals_;
    std::atomic<bool> receiving_{true};
    std::thread thread_;
};

// A player on `tracks` whose timecode goes to a listening console.
struct TimecodeRig {
    explicit TimecodeRig(const QList<MediaTrack>& tracks)
    {
        player.controller.playlist().setPlaylist(tracks);
        runUntil([&] { return player.artNet.isListening(); }, 2000ms);
    }

    TimecodeListener listener;
    orvelo::test::QuietStdout quiet;
    Player player{listener.port()};
};

// What a console holding one value costs the player, and the timecode it sends back, next to
// idle and to playing: each value held for three seconds after one to settle. A held stop or
// pause should cost no more than idle and send the held position once a second.
void BM_HeldValues(benchmark::State& state)
{
    const std::string path = clip1080(20, 1);
    if (path.empty()) {
        state.SkipWithError("could not make the 1080p clip");
        return;
    }
    TimecodeRig rig({track(path, 0)});
    TimecodeListener& listener = rig.listener;
    Player& player = rig.player;
    const auto measure = [&](const std::string& name) {
        runEventLoopFor(1000ms);
        listener.take();
        const double cpuBefore = processCpuSeconds();
        runEventLoopFor(3000ms);
        state.counters[name + "_cpu_percent"] = (processCpuSeconds() - cpuBefore) / 3.0 * 100.0;
        state.counters[name + "_timecode_per_s"] = static_cast<double>(listener.take().size()) / 3.0;
    };
    for (auto _ : state) {
        measure("idle");
        {
            // Playing with no console: the baseline a held play value is compared with.
            Console cue(player.port);
            cue.change(11);
            runUntil([&] { return player.engine.isPlaying() && !player.engine.isLoading(); }, 5000ms);
        }
        measure("playing_nothing_held");
        Console console(player.port);
        console.change(11);
        measure("held_11_playing");
        console.change(6);
        measure("held_6_pause");
        console.change(11);
        runUntil([&] { return player.engine.isPlaying(); }, 5000ms);
        runEventLoopFor(500ms);
        console.change(0);
        measure("held_0_stop_after_playing");
        state.SetIterationTime(20.0);
    }
}
BENCHMARK(BM_HeldValues)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// A 1080p track plays while the console holds its value at 44 frames per second; the
// ArtTimeCode datagrams are timed where a console would receive them, for five seconds.
void BM_TimecodePace(benchmark::State& state)
{
    const std::string path = clip1080(10, 1);
    if (path.empty()) {
        state.SkipWithError("could not make the 1080p clip");
        return;
    }
    TimecodeRig rig({track(path, 0), track(path, 1)});
    TimecodeListener& listener = rig.listener;
    Player& player = rig.player;
    Console console(player.port);

    MainLoopProbe probe;
    for (auto _ : state) {
        console.change(21);
        runUntil([&] { return player.engine.isPlaying() && !player.engine.isLoading(); }, 5000ms);
        runEventLoopFor(1000ms);
        listener.take();
        const double cpuBefore = processCpuSeconds();
        const double waitBefore = runQueueWaitMs();
        runEventLoopFor(5000ms);
        state.counters["process_cpu_percent"] = (processCpuSeconds() - cpuBefore) / 5.0 * 100.0;
        state.counters["main_runqueue_wait_ms"] = runQueueWaitMs() - waitBefore;
        state.SetIterationTime(5.0);
    }
    const std::vector<Clock::time_point> arrivals = listener.take();
    std::vector<double> intervals, jitter;
    for (std::size_t i = 1; i < arrivals.size(); ++i) {
        intervals.push_back(ms(arrivals[i] - arrivals[i - 1]));
        jitter.push_back(std::abs(intervals.back() - 40.0));
    }
    const double window = arrivals.size() > 1 ? ms(arrivals.back() - arrivals.front()) / 1000.0 : 0.0;
    state.counters["packets_per_s"] = window > 0 ? static_cast<double>(arrivals.size() - 1) / window : 0.0;
    state.counters["interval_p50_ms"] = percentile(intervals, 0.5);
    state.counters["interval_min_ms"] = percentile(intervals, 0.0);
    state.counters["interval_max_ms"] = percentile(intervals, 1.0);
    state.counters["jitter_p99_ms"] = percentile(jitter, 0.99);
    state.counters["intervals_over_45ms"] =
        static_cast<double>(std::count_if(intervals.begin(), intervals.end(), [](double i) { return i > 45.0; }));
    state.counters["main_loop_late_p99_ms"] = probe.lateP99();
}
BENCHMARK(BM_TimecodePace)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// The player chases 25 fps Art-Net timecode on 1080p media of the given frame rate: how soon
// it locks after the first packet (the track loaded from cold), the error between the frame
// the timecode names and the frame on show, sampled every 5 ms for the given seconds, and how
// soon the picture is within a frame again after a jump back of ten seconds.
void BM_TimecodeChase(benchmark::State& state)
{
    const int mediaFps = static_cast<int>(state.range(0));
    const auto seconds = static_cast<int>(state.range(1));
    const std::string path = clip1080(seconds + 15, 2, mediaFps);
    if (path.empty()) {
        state.SkipWithError("could not make the 1080p clip");
        return;
    }
    constexpr int fps = 25;
    TimecodeListener listener;
    orvelo::test::QuietStdout quiet;
    Player player(listener.port());
    TimecodeSettings settings;
    TimecodeFollower follower(player.controller, player.engine, settings);
    QObject::connect(&player.artNet, &ArtNetService::timecodeReceived, &follower, &TimecodeFollower::artNetTimecode);
    player.controller.playlist().setPlaylist({track(path, 0)});
    runUntil([&] { return player.artNet.isListening(); }, 2000ms);
    settings.setSource(TimecodeSettings::Source::artNet);
    orvelo::test::TimecodeSource source(player.port, fps);
    std::vector<double> errors;
    double lockSeconds = -1;
    double relockSeconds = -1;
    for (auto _ : state) {
        source.rollFrom(5LL * fps);
        runEventLoopFor(50ms);
        source.silence(false);
        const auto start = Clock::now();
        while (Clock::now() - start < std::chrono::seconds(seconds) + 3s) {
            runEventLoopFor(5ms);
            const MediaPlayer* media = player.engine.player();
            const VideoFramePtr frame = media && !player.engine.isLoading() ? media->latestFrame() : nullptr;
            if (!frame)
                continue;
            const double error = std::round(frame->pts * fps) - std::floor(source.now() + 1e-6);
            const double since = std::chrono::duration<double>(Clock::now() - start).count();
            if (lockSeconds < 0 && std::abs(error) <= 1.0 && follower.lockText() == "locked")
                lockSeconds = since;
            // The error once locked and settled: from a second after the lock on.
            if (lockSeconds >= 0 && since >= lockSeconds + 1.0)
                errors.push_back(std::abs(error));
        }
        // A jump back ten seconds: how soon the frame on show is within a frame again.
        const double before = source.now();
        source.rollFrom(static_cast<long long>(before) - 10LL * fps);
        // The source speaks the jump with its next packet: measured from then.
        while (source.now() > before - 5.0 * fps)
            runEventLoopFor(1ms);
        const auto jumped = Clock::now();
        while (Clock::now() - jumped < 3s && relockSeconds < 0) {
            runEventLoopFor(5ms);
            const MediaPlayer* media = player.engine.player();
            const VideoFramePtr frame = media && !player.engine.isLoading() ? media->latestFrame() : nullptr;
            if (frame && std::abs(std::round(frame->pts * fps) - std::floor(source.now() + 1e-6)) <= 1.0)
                relockSeconds = std::chrono::duration<double>(Clock::now() - jumped).count();
        }
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    }
    settings.setSource(TimecodeSettings::Source::console);
    state.counters["lock_s"] = lockSeconds;
    state.counters["jump_relock_s"] = relockSeconds;
    state.counters["error_p50_frames"] = percentile(errors, 0.5);
    state.counters["error_p99_frames"] = percentile(errors, 0.99);
    state.counters["error_max_frames"] = percentile(errors, 1.0);
    state.counters["samples"] = static_cast<double>(errors.size());
}
BENCHMARK(BM_TimecodeChase)
    ->Args({25, 60})
    ->Args({60, 60})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    // The controller remembers its playlist: keep the user's store out of it, and the sound off.
    const std::string home =
        std::filesystem::temp_directory_path().string() + "/orvelo-bench-console-" + std::to_string(::getpid());
    std::filesystem::create_directories(home);
    setenv("XDG_CONFIG_HOME", home.c_str(), 1);
    setenv("GST_AUDIO_SINK", "fakesink", 1);
    const char* plain = std::getenv("ORVELO_BENCH_PLAIN_ALLOCATOR");
    if (!plain || std::string(plain) != "1")
        limitAllocatorArenas();
    int result = 0;
    {
        QCoreApplication app(argc, argv);
        QCoreApplication::setOrganizationName("Orvelo");
        QCoreApplication::setApplicationName("Orvelo");
        benchmark::Initialize(&argc, argv);
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
    }
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
    return result;
}
