// Protects the player through a long show: four consoles at 44 frames per second move the control
// value over its whole range every half second, with random loop and effect values, for ten minutes.
#include "core/ConsoleTestSupport.h"

#include "net/ArtNetPacket.h"
#include "net/ArtNetTestSupport.h"
#include "platform/Log.h"
#include "support/QuietStdout.h"

#include <gtest/gtest.h>

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <random>
#include <thread>

using namespace orvelo;
using namespace orvelo::test;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

double residentMB()
{
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            double bValue = 0;
            status >> bValue;
            return bValue / 1024.0;
        }
        status.ignore(4096, '\n');
    }
    return -1;
}

// Bytes the allocator has handed out and not yet taken back, over all its arenas.
double heapInUseMB()
{
    const struct mallinfo2 info = ::mallinfo2();
    return static_cast<double>(info.uordblks + info.hblkhd) / (1024.0 * 1024.0);
}

int threadCount()
{
    return static_cast<int>(std::distance(std::filesystem::directory_iterator("/proc/self/task"), {}));
}

std::chrono::seconds soakLength()
{
    const char* text = std::getenv("ORVELO_SOAK_SECONDS");
    return std::chrono::seconds(text ? std::max(5, std::atoi(text)) : 600);
}

} // namespace

TEST(ConsoleSoak, FourConsolesMoveTheShowForTenMinutes)
{
    ORVELO_REQUIRE_ISOLATED_NETWORK();
    forgetLastPlaylist();
    const auto length = soakLength();

    // Twenty-four tracks over four files, so that every band of the control channel selects one.
    std::vector<std::string> files;
    for (int v = 0; v < 4; ++v)
        files.push_back(clip(3.0, 20 + v));
    ASSERT_TRUE(std::none_of(files.begin(), files.end(), [](const std::string& f) { return f.empty(); }));

    UdpPeer timecodeSink;
    const std::uint16_t port = freeUdpPort();
    ArtNetService artNet(artNetOn(port, timecodeSink.port()));
    SACNService sacn(sacnOn(freeUdpPort()));
    NoCITP citp;
    ProtocolManager manager(artNet, sacn, citp);
    PlaybackEngine engine;
    DMXController controller(manager, engine);
    const auto tracks = makeTracks(files, 24);
    controller.playlist().setPlaylist(tracks);
    DMXConfig config;
    config.mode = DMXMode::extended;
    controller.setDmxConfig(config);
    ASSERT_TRUE(waitUntil([&] { return artNet.isListening(); }));

    std::atomic<long> loads{0}, timecodes{0}, handled{0};
    setLogObserver([&](std::string_view line) {
        if (line.starts_with("PlaybackEngine: loadAndPlay called for "))
            ++loads;
    });
    QObject::connect(&artNet, &ArtNetService::lastDMXValuesChanged, &controller, [&] { ++handled; });

    // The control value of each half second: a fixed shuffle of 0-255, so the whole range is
    // covered every 128 s and the consoles agree on it.
    std::vector<int> schedule(256);
    std::iota(schedule.begin(), schedule.end(), 0);
    std::shuffle(schedule.begin(), schedule.end(), std::mt19937(6454));
    const auto start = Clock::now() + 100ms;
    const auto end = start + length;
    const auto controlAt = [&](Clock::time_point t) {
        const auto slot = std::chrono::duration_cast<std::chrono::milliseconds>(std::min(t, end) - start).count() / 500;
        return schedule[static_cast<std::size_t>(slot) % schedule.size()];
    };
    const int lastValue = controlAt(end);

    std::atomic<bool> sending{true};
    std::atomic<long> sent{0};
    std::vector<std::thread> consoles;
    for (int c = 0; c < 4; ++c) {
        consoles.emplace_back([&, c] {
            UdpPeer socket;
            std::mt19937 random(static_cast<unsigned>(c + 1));
            std::uniform_int_distribution<int> anyValue(0, 255);
            // While the last cue is held every effect channel is written (no value of 0-4), so
            // the effects the player ends with follow from the last frame alone.
            std::uniform_int_distribution<int> writingValue(5, 255);
            const auto period = std::chrono::microseconds(1'000'000 / 44);
            auto next = start + period * c / 4;
            while (sending) {
                std::this_thread::sleep_until(next);
                Frame frame(512, 0);
                const auto now = Clock::now();
                frame[0] = static_cast<std::uint8_t>(controlAt(now));
                for (int slot = 1; slot < 18; ++slot)
                    frame[static_cast<std::size_t>(slot)] =
                        static_cast<std::uint8_t>(now < end ? anyValue(random) : writingValue(random));
                socket.sendTo(port, artDmx(0, 0, 0, frame));
                ++sent;
                next += period;
            }
        });
    }
    std::thread timecodeCounter([&] {
        while (sending) {
            if (auto datagram = timecodeSink.receive(50ms);
                datagram && artnet::decodeHeader(*datagram) == artnet::opTimeCode)
                ++timecodes;
        }
    });

    const int threadsAtStart = threadCount();
    struct Sample {
        int second;
        double resident, heap; // MB
    };
    std::vector<Sample> samples;
    {
        // The log of ten minutes goes to /dev/null; the lines are counted instead.
        QuietStdout quiet;
        for (int nextSample = 0; Clock::now() < end; spinFor(1s)) {
            const auto second = std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - start).count();
            if (second >= nextSample) {
                samples.push_back({static_cast<int>(second), residentMB(), heapInUseMB()});
                nextSample += 10;
            }
        }
        // The last value stays on the wire a little longer, as a console holds its last cue.
        spinFor(1500ms);
        sending = false;
        for (auto& t : consoles)
            t.join();
        timecodeCounter.join();
        spinFor(500ms);
    }
    setLogObserver({});

    // The state the player ends in is the one the last frames asked for.
    EXPECT_EQ(controller.currentDMXValue(), lastValue);
    const dmx::ControlAction last = dmx::decodeControl(static_cast<std::uint8_t>(lastValue));
    if (last.kind == dmx::ControlKind::selectTrack) {
        ASSERT_TRUE(engine.currentTrack());
        EXPECT_EQ(engine.currentTrack()->id, tracks[last.trackIndex].id) << "last value " << lastValue;
        EXPECT_TRUE(engine.isPlaying()) << "last value " << lastValue;
    } else {
        EXPECT_FALSE(engine.isPlaying()) << "last value " << lastValue;
    }
    const Frame lastFrame = artNet.lastDMXValues();
    EXPECT_EQ(lastFrame[0], lastValue);
    EXPECT_EQ(EffectState::now(), EffectState::now().after(lastFrame));

    // Memory after the first minute (caches filled) against the end: no steady growth.
    const Sample early = samples[std::min<std::size_t>(6, samples.size() - 1)];
    const Sample final{static_cast<int>(length.count()), residentMB(), heapInUseMB()};
    std::printf("soak: %lld s, frames sent %ld, handled %ld, loads %ld, timecode packets %ld (%.1f/s)\n",
                static_cast<long long>(length.count()), sent.load(), handled.load(), loads.load(), timecodes.load(),
                static_cast<double>(timecodes.load()) / static_cast<double>(length.count()));
    std::printf("soak: resident %.1f MB (heap in use %.1f MB) at %d s, %.1f MB (heap %.1f MB) at the end\n",
                early.resident, early.heap, early.second, final.resident, final.heap);
    std::printf("soak: threads %d at the start, %d at the end\n", threadsAtStart, threadCount());
    for (const Sample& s : samples)
        std::printf("soak: %4d s resident %.1f MB heap %.1f MB\n", s.second, s.resident, s.heap);
    EXPECT_LT(final.resident - early.resident, 64.0)
        << "resident memory grew from " << early.resident << " MB to " << final.resident << " MB";
    EXPECT_LT(final.heap - early.heap, 32.0)
        << "heap in use grew from " << early.heap << " MB to " << final.heap << " MB";
    EXPECT_GT(loads.load(), length.count()) << "tracks were switched all along";
    EXPECT_GT(handled.load(), sent.load() / 2);
}
