// How many sACN frames per second reach the main thread: the whole road of a datagram from
// the socket through decoding and the hand-off to the published frame and its log line.
// Opens sockets: run it only in the private network (/work/shared/isolated or ./orvelo bench).
#include "net/SACNPacket.h"
#include "net/SACNService.h"
#include "platform/ByteWriter.h"
#include "support/QuietStdout.h"
#include "support/UdpTestSupport.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <thread>
#include <vector>

using namespace orvelo;
using orvelo::test::freeUdpPort;

namespace {

// A full 512-slot frame as consoles send it.
std::vector<std::uint8_t> fullFrame(std::uint16_t universe)
{
    ByteWriter w;
    w.u16be(0x0010).u16be(0).text("ASC-E1.17", 12);
    w.u16be(0x7000 | 622).u32be(4).zeros(16);
    w.u16be(0x7000 | 600).u32be(2).text("Bench console", 64);
    w.u8(100).u16be(0).u8(0).u8(0).u16be(universe);
    w.u16be(0x7000 | 523).u8(2).u8(0xA1).u16be(0).u16be(1).u16be(513).u8(0);
    for (int slot = 0; slot < 512; ++slot)
        w.u8(static_cast<std::uint8_t>(slot));
    return w.take();
}

// Frames published on the main thread, watched by the sending thread.
class Progress {
public:
    void add()
    {
        {
            std::lock_guard lock(mutex_);
            ++published_;
        }
        changed_.notify_one();
    }
    std::int64_t published()
    {
        std::lock_guard lock(mutex_);
        return published_;
    }
    // False when nothing more was published within `timeout`.
    bool waitBeyond(std::int64_t seen, std::chrono::milliseconds timeout)
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return published_ > seen; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::int64_t published_ = 0;
};

void BM_SACNFramesToMainThread(benchmark::State& state)
{
    const auto port = freeUdpPort();
    SACNService::Options options;
    options.port = port;
    SACNService service(options);
    Progress progress;
    QObject::connect(&service, &SACNService::lastDMXValuesChanged,
                     [&](const std::vector<std::uint8_t>&) { progress.add(); });

    const int sender = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const auto packets = std::vector{fullFrame(1), fullFrame(2), fullFrame(3), fullFrame(4)};

    orvelo::test::QuietStdout quiet;
    service.startListening();
    QCoreApplication::processEvents();

    // Keeps a few frames in flight rather than flooding (a flood only measures how many
    // datagrams the kernel throws away), and sleeps while the window is full so that the
    // console does not take a core from the receiver.
    constexpr std::int64_t window = 32;
    constexpr std::int64_t batch = 20000;
    std::int64_t total = 0;
    for (auto _ : state) {
        const std::int64_t start = progress.published();
        const std::int64_t target = start + batch;
        std::thread console([&] {
            std::int64_t sent = 0;
            std::int64_t seen = start;
            while (seen < target) {
                if (sent - (seen - start) < window) {
                    const auto& packet = packets[sent % packets.size()];
                    ::sendto(sender, packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                             sizeof to);
                    ++sent;
                    seen = progress.published();
                } else if (!progress.waitBeyond(seen, std::chrono::milliseconds(20))) {
                    // A datagram lost on the way: send on rather than wait for it.
                    sent = seen - start;
                } else {
                    seen = progress.published();
                }
            }
        });
        // Sleeps between hand-offs as the application's event loop does.
        while (progress.published() < target)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        console.join();
        total += batch;
    }
    service.stopListening();
    QCoreApplication::processEvents();
    ::close(sender);
    state.SetItemsProcessed(total);
    state.counters["frames_per_s"] = benchmark::Counter(static_cast<double>(total), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SACNFramesToMainThread)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

void BM_SACNDecodeFullFrame(benchmark::State& state)
{
    const auto packet = fullFrame(1);
    for (auto _ : state)
        benchmark::DoNotOptimize(SACNPacket::decode(packet));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SACNDecodeFullFrame);

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
