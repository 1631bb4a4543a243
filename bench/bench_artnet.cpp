// The Art-Net node under load: the ArtDmx rate it accepts and publishes on the main thread
// without falling behind, and the time from a console's sendto to the main-thread publish.
// Opens sockets: run it only in the private network (/work/shared/isolated or ./orvelo bench).
#include "net/ArtNetPacket.h"
#include "net/ArtNetService.h"
#include "platform/ByteReader.h"
#include "platform/ByteWriter.h"
#include "support/QuietStdout.h"
#include "support/UdpTestSupport.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

using namespace orvelo;
using orvelo::test::freeUdpPort;
using Clock = std::chrono::steady_clock;

namespace {

std::int64_t nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

// A full 512-channel ArtDmx for universe 0 whose first channels carry a sequence number and
// the sender's clock, so the main thread can tell which frame it publishes and how old it is.
std::vector<std::uint8_t> stampedFrame(std::uint64_t sequence)
{
    ByteWriter w(18 + 512);
    w.bytes(artnet::artNetID).u16le(artnet::opOutput).u8(0).u8(14).u8(0).u8(0).u16le(0).u16be(512);
    w.u64le(sequence).u64le(static_cast<std::uint64_t>(nowNs())).zeros(512 - 16);
    return w.take();
}

struct Stamp {
    std::uint64_t sequence;
    std::int64_t sentNs;
};

Stamp readStamp(const std::vector<std::uint8_t>& values)
{
    ByteReader r(values);
    return {r.u64le().value_or(0), static_cast<std::int64_t>(r.u64le().value_or(0))};
}

// A console: one UDP socket connected to the node.
class Console {
public:
    explicit Console(std::uint16_t port) { fd_ = test::connectedUdpSocket(port); }
    ~Console() { ::close(fd_); }
    void send(std::uint64_t sequence) const
    {
        const auto frame = stampedFrame(sequence);
        [[maybe_unused]] const auto n = ::send(fd_, frame.data(), frame.size(), 0);
    }

private:
    int fd_ = -1;
};

std::unique_ptr<ArtNetService> startedNode(std::uint16_t port)
{
    ArtNetService::Options options;
    options.listenPort = port;
    options.destinationAddress = "127.0.0.1";
    options.destinationPort = freeUdpPort();
    options.clearPort = false;
    auto node = std::make_unique<ArtNetService>(options);
    node->startListening();
    QCoreApplication::processEvents();
    return node;
}

void runEventLoopFor(std::chrono::milliseconds duration)
{
    QEventLoop loop;
    QTimer::singleShot(duration, &loop, &QEventLoop::quit);
    loop.exec();
}

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(p * static_cast<double>(values.size() - 1))];
}

// Datagrams the kernel dropped because a UDP receive buffer was full, in this network
// namespace so far.
std::int64_t receiveBufferDrops()
{
    std::FILE* snmp = std::fopen("/proc/net/snmp", "r");
    if (!snmp)
        return -1;
    char line[512];
    std::vector<std::string> names;
    std::int64_t drops = -1;
    while (std::fgets(line, sizeof line, snmp)) {
        if (std::strncmp(line, "Udp:", 4) != 0)
            continue;
        std::vector<std::string> fields;
        for (char* field = std::strtok(line + 4, " \n"); field; field = std::strtok(nullptr, " \n"))
            fields.emplace_back(field);
        if (names.empty()) {
            names = fields;
            continue;
        }
        for (std::size_t i = 0; i < names.size() && i < fields.size(); ++i)
            if (names[i] == "RcvbufErrors")
                drops = std::stoll(fields[i]);
    }
    std::fclose(snmp);
    return drops;
}

// CPU time used so far by this process's "ArtNetReceiver" thread, in milliseconds.
double receiverCpuMs()
{
    DIR* tasks = ::opendir("/proc/self/task");
    double ms = 0;
    while (const dirent* task = ::readdir(tasks)) {
        const std::string dir = std::string("/proc/self/task/") + task->d_name;
        std::FILE* comm = std::fopen((dir + "/comm").c_str(), "r");
        char name[32] = {};
        const bool isReceiver = comm && std::fgets(name, sizeof name, comm) && std::string(name) == "ArtNetReceiver\n";
        if (comm)
            std::fclose(comm);
        if (!isReceiver)
            continue;
        std::FILE* stat = std::fopen((dir + "/stat").c_str(), "r");
        char text[1024] = {};
        if (stat && std::fgets(text, sizeof text, stat)) {
            // Fields after the parenthesised name: state is field 3, utime 14, stime 15.
            const char* rest = std::strrchr(text, ')');
            unsigned long utime = 0, stime = 0;
            if (rest &&
                std::sscanf(rest + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime, &stime) == 2)
                ms = static_cast<double>(utime + stime) * 1000.0 / static_cast<double>(::sysconf(_SC_CLK_TCK));
        }
        if (stat)
            std::fclose(stat);
    }
    ::closedir(tasks);
    return ms;
}

// One console offers `rate` frames per second for two seconds, sent in bursts every
// millisecond. Reports the rate published on the main thread, the frames lost and where
// (receive buffer full), and the backlog: how many frames had been sent after the one being
// published, at its worst in the first and in the second second. A backlog that grows from
// the one to the other means the node does not keep up.
void BM_ArtDmxSustained(benchmark::State& state)
{
    const int rate = static_cast<int>(state.range(0));
    const auto port = freeUdpPort();
    orvelo::test::QuietStdout quiet;
    auto node = startedNode(port);
    std::atomic<std::int64_t> sent{0};
    std::int64_t published = 0;
    std::int64_t outOfOrder = 0;
    std::uint64_t lastSequence = 0;
    std::int64_t backlog[2] = {0, 0};
    std::vector<double> agesUs;
    Clock::time_point start;
    QObject::connect(node.get(), &ArtNetService::lastDMXValuesChanged, [&](const std::vector<std::uint8_t>& v) {
        const auto stamp = readStamp(v);
        outOfOrder += stamp.sequence <= lastSequence;
        lastSequence = stamp.sequence;
        ++published;
        const int half = Clock::now() - start < std::chrono::seconds(1) ? 0 : 1;
        backlog[half] = std::max<std::int64_t>(backlog[half], sent.load() - static_cast<std::int64_t>(stamp.sequence));
        agesUs.push_back(static_cast<double>(nowNs() - stamp.sentNs) / 1000.0);
    });

    constexpr auto sendFor = std::chrono::seconds(2);
    const std::int64_t total = rate * std::chrono::duration_cast<std::chrono::seconds>(sendFor).count();
    for (auto _ : state) {
        sent = 0;
        published = 0;
        lastSequence = 0;
        backlog[0] = backlog[1] = 0;
        agesUs.clear();
        agesUs.reserve(static_cast<std::size_t>(total));
        const auto dropsBefore = receiveBufferDrops();
        const double receiverBefore = receiverCpuMs();
        start = Clock::now();
        std::thread console([&] {
            Console c(port);
            const auto sendMicros = std::chrono::duration_cast<std::chrono::microseconds>(sendFor).count();
            auto next = start;
            while (sent < total) {
                next += std::chrono::milliseconds(1);
                const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(next - start).count();
                const std::int64_t due = std::min<std::int64_t>(total, total * elapsed / sendMicros);
                while (sent < due) {
                    c.send(static_cast<std::uint64_t>(sent + 1));
                    sent.fetch_add(1);
                }
                std::this_thread::sleep_until(next);
            }
        });
        runEventLoopFor(std::chrono::duration_cast<std::chrono::milliseconds>(sendFor) +
                        std::chrono::milliseconds(300));
        console.join();
        state.SetIterationTime(std::chrono::duration<double>(sendFor).count());
        state.counters["offered_per_s"] = rate;
        state.counters["published_per_s"] =
            static_cast<double>(published) / std::chrono::duration<double>(sendFor).count();
        state.counters["lost"] = static_cast<double>(total - published);
        state.counters["rcvbuf_drops"] = static_cast<double>(receiveBufferDrops() - dropsBefore);
        state.counters["backlog_1st_s"] = static_cast<double>(backlog[0]);
        state.counters["backlog_2nd_s"] = static_cast<double>(backlog[1]);
        state.counters["age_p99_us"] = percentile(agesUs, 0.99);
        state.counters["out_of_order"] = static_cast<double>(outOfOrder);
        state.counters["receiver_cpu_ms"] = receiverCpuMs() - receiverBefore;
    }
    node->stopListening();
}
BENCHMARK(BM_ArtDmxSustained)
    ->Arg(40000)
    ->Arg(80000)
    ->Arg(120000)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// Sixteen consoles at 44 frames per second each, for five seconds: the time from each
// sendto to the main-thread publish of that frame.
void BM_ArtDmxLatency(benchmark::State& state)
{
    constexpr int consoles = 16;
    constexpr int fps = 44;
    constexpr auto sendFor = std::chrono::seconds(5);
    const auto port = freeUdpPort();
    orvelo::test::QuietStdout quiet;
    auto node = startedNode(port);
    std::vector<double> latenciesUs;
    QObject::connect(node.get(), &ArtNetService::lastDMXValuesChanged, [&](const std::vector<std::uint8_t>& v) {
        latenciesUs.push_back(static_cast<double>(nowNs() - readStamp(v).sentNs) / 1000.0);
    });

    for (auto _ : state) {
        latenciesUs.clear();
        latenciesUs.reserve(consoles * fps * 6);
        std::atomic<std::int64_t> sent{0};
        std::vector<std::thread> senders;
        const auto start = Clock::now() + std::chrono::milliseconds(50);
        for (int i = 0; i < consoles; ++i) {
            senders.emplace_back([&, i] {
                Console c(port);
                const auto period = std::chrono::microseconds(1'000'000 / fps);
                // Spread over the frame period, as independent consoles are.
                auto next = start + period * i / consoles;
                while (next < start + sendFor) {
                    std::this_thread::sleep_until(next);
                    c.send(static_cast<std::uint64_t>(sent.fetch_add(1) + 1));
                    next += period;
                }
            });
        }
        runEventLoopFor(std::chrono::duration_cast<std::chrono::milliseconds>(sendFor) +
                        std::chrono::milliseconds(300));
        for (auto& t : senders)
            t.join();
        state.SetIterationTime(std::chrono::duration<double>(sendFor).count());
        state.counters["frames"] = static_cast<double>(latenciesUs.size());
        state.counters["lost"] = static_cast<double>(sent - static_cast<std::int64_t>(latenciesUs.size()));
        state.counters["p50_us"] = percentile(latenciesUs, 0.50);
        state.counters["p99_us"] = percentile(latenciesUs, 0.99);
        state.counters["max_us"] = percentile(latenciesUs, 1.0);
    }
    node->stopListening();
}
BENCHMARK(BM_ArtDmxLatency)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
