// The web remote under load: wrk hammers GET /api/status from another process while a
// console sends DMX at 44 frames per second and a track plays. Reports the request rate and
// latency, errors, whether every control value reached the controller, how late, and whether
// the playback position kept its 25-per-second rhythm. A second run compares the rate of an
// open remote with that of one behind a password, asked with a session cookie.
// Opens sockets: run it only in the private network (/work/shared/isolated or ./orvelo bench).
#include "core/DMXController.h"
#include "net/ArtNetPacket.h"
#include "net/ArtNetService.h"
#include "net/ProtocolManager.h"
#include "net/SACNService.h"
#include "platform/ByteWriter.h"
#include "playback/PlaybackEngine.h"
#include "settings/ThemeManager.h"
#include "settings/WebRemoteSettings.h"
#include "support/QuietStdout.h"
#include "support/UdpTestSupport.h"
#include "web/WebServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QUuid>

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

using namespace orvelo;
using orvelo::test::freeUdpPort;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

class NoCITP : public ListeningService {
public:
    void startListening() override {}
    void stopListening() override {}
};

// ArtDmx for universe 0 whose first slot (the control channel) carries `control`.
std::vector<std::uint8_t> artDmx(std::uint8_t control)
{
    ByteWriter w(18 + 512);
    w.bytes(artnet::artNetID).u16le(artnet::opOutput).u8(0).u8(14).u8(0).u8(0).u16le(0).u16be(512);
    w.u8(control).zeros(511);
    return w.take();
}

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(p * static_cast<double>(values.size() - 1))];
}

// "1.23ms", "456.78us", "1.02s" as milliseconds.
double wrkMillis(const QString& text)
{
    const QRegularExpressionMatch m = QRegularExpression(R"(([\d.]+)(us|ms|s))").match(text);
    if (!m.hasMatch())
        return -1;
    const double value = m.captured(1).toDouble();
    return m.captured(2) == "us" ? value / 1000 : m.captured(2) == "s" ? value * 1000 : value;
}

struct WrkResult {
    double requestsPerSecond = 0;
    double p50Ms = -1;
    double p99Ms = -1;
    long errors = 0;
    QString report;
};

WrkResult parseWrk(const QString& report)
{
    WrkResult r;
    r.report = report;
    if (const auto m = QRegularExpression(R"(Requests/sec:\s+([\d.]+))").match(report); m.hasMatch())
        r.requestsPerSecond = m.captured(1).toDouble();
    if (const auto m = QRegularExpression(R"(\n\s+50%\s+(\S+))").match(report); m.hasMatch())
        r.p50Ms = wrkMillis(m.captured(1));
    if (const auto m = QRegularExpression(R"(\n\s+99%\s+(\S+))").match(report); m.hasMatch())
        r.p99Ms = wrkMillis(m.captured(1));
    const auto socketErrors =
        QRegularExpression(R"(Socket errors: connect (\d+), read (\d+), write (\d+), timeout (\d+))").match(report);
    if (socketErrors.hasMatch())
        for (int i = 1; i <= 4; ++i)
            r.errors += socketErrors.captured(i).toLong();
    if (const auto m = QRegularExpression(R"(Non-2xx or 3xx responses: (\d+))").match(report); m.hasMatch())
        r.errors += m.captured(1).toLong();
    return r;
}

// CPU time used so far by this process's threads that match, in milliseconds.
double threadCpuMs(const std::function<bool(const QString& task, const QByteArray& name)>& matches)
{
    double ms = 0;
    const QDir tasks("/proc/self/task");
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(task + "/comm"));
        if (!comm.open(QIODevice::ReadOnly) || !matches(task, comm.readAll().trimmed()))
            continue;
        QFile stat(tasks.filePath(task + "/stat"));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        // Fields after the parenthesised name: utime is field 14, stime 15.
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 12)
            ms +=
                (fields[11].toDouble() + fields[12].toDouble()) * 1000.0 / static_cast<double>(::sysconf(_SC_CLK_TCK));
    }
    return ms;
}

double mainThreadCpuMs()
{
    const QString main = QString::number(::getpid());
    return threadCpuMs([&](const QString& task, const QByteArray&) { return task == main; });
}

double webThreadsCpuMs()
{
    return threadCpuMs([](const QString&, const QByteArray& name) { return name == "WebServer"; });
}

QString generatedTone(const QString& folder, int seconds)
{
    const QString file = folder + "/tone.wav";
    const int buffers = seconds * 44100 / 1024 + 1;
    const int status = QProcess::execute(
        "gst-launch-1.0", {"-q", "audiotestsrc", QStringLiteral("num-buffers=%1").arg(buffers), "!",
                           "audio/x-raw,rate=44100,channels=2", "!", "wavenc", "!", "filesink", "location=" + file});
    return status == 0 ? file : QString();
}

// The services the remote acts on, with a web server on a free port and the console's
// Art-Net port on another.
struct BenchPlayer {
    BenchPlayer()
        : artNetOptions(options()), artNet(artNetOptions), sacn(SACNService::Options{freeUdpPort(), nullptr, {}}),
          protocols(artNet, sacn, citp), controller(protocols, engine), server(webOptions())
    {
        server.start(&engine, &controller, &protocols, nullptr, &themes);
    }

    static ArtNetService::Options options()
    {
        ArtNetService::Options o;
        o.listenPort = freeUdpPort();
        o.destinationAddress = "127.0.0.1";
        o.destinationPort = freeUdpPort();
        o.clearPort = false;
        return o;
    }

    static WebServer::Options webOptions()
    {
        WebServer::Options o;
        o.address = "127.0.0.1";
        o.port = 0;
        return o;
    }

    // Manual mode: the console's control values are decoded and published, but playback
    // stays with the track started here. False when it did not start.
    bool startTone(const QString& tone)
    {
        controller.setIgnoreDMX(true);
        controller.playlist().setPlaylist({MediaTrack{QUuid::createUuid(), QUrl::fromLocalFile(tone), "Tone", 0.0, 0}});
        controller.playTrack(0);
        QEventLoop wait;
        QTimer::singleShot(3000, &wait, &QEventLoop::quit);
        QObject::connect(&engine, &PlaybackEngine::isPlayingChanged, &wait, [&](bool playing) {
            if (playing)
                wait.quit();
        });
        wait.exec();
        return engine.isPlaying() && server.isRunning();
    }

    ArtNetService::Options artNetOptions;
    ArtNetService artNet;
    SACNService sacn;
    NoCITP citp;
    ProtocolManager protocols;
    PlaybackEngine engine;
    DMXController controller;
    ThemeManager themes;
    WebServer server;
};

// Runs wrk against the status document for `seconds`, with an extra header when given.
WrkResult statusLoad(const QString& wrk, std::uint16_t port, int seconds, const QString& header = {})
{
    QStringList arguments{"-t2", "-c32", QStringLiteral("-d%1s").arg(seconds), "--latency"};
    if (!header.isEmpty())
        arguments << "-H" << header;
    QProcess load;
    load.start(wrk, arguments << QStringLiteral("http://127.0.0.1:%1/api/status").arg(port));
    QEventLoop loop;
    QObject::connect(&load, &QProcess::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot((seconds + 15) * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    return parseWrk(QString::fromUtf8(load.readAllStandardOutput()));
}

// Logs in over a plain socket (the login is answered on the server's own threads) and returns
// the "Cookie: ..." header that carries the session.
QString sessionCookie(std::uint16_t port, const std::string& password)
{
    const std::string body = R"({"password":")" + password + R"("})";
    const std::string request = "POST /api/login HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
                                "Content-Length: " +
                                std::to_string(body.size()) + "\r\n\r\n" + body;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string answer;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0 &&
        ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
        char buffer[4096];
        for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
            answer.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    const auto m = QRegularExpression("Set-Cookie: ([^;\r]+)").match(QString::fromStdString(answer));
    return m.hasMatch() ? "Cookie: " + m.captured(1) : QString();
}

void BM_StatusUnderLoad(benchmark::State& state)
{
    constexpr int fps = 44;
    constexpr auto loadFor = 20s;
    const QString wrk = QStandardPaths::findExecutable("wrk");
    if (wrk.isEmpty()) {
        state.SkipWithError("wrk is not installed (apt-get install wrk)");
        return;
    }
    QTemporaryDir media;
    const QString tone = generatedTone(media.path(), 40);
    if (tone.isEmpty()) {
        state.SkipWithError("could not generate the test tone with gst-launch-1.0");
        return;
    }

    BenchPlayer player;
    if (!player.startTone(tone)) {
        state.SkipWithError("the track did not start or the server did not listen");
        return;
    }
    const ArtNetService::Options& artNetOptions = player.artNetOptions;
    DMXController& controller = player.controller;
    PlaybackEngine& engine = player.engine;
    WebServer& server = player.server;

    for (auto _ : state) {
        orvelo::test::QuietStdout quiet;
        std::vector<std::uint8_t> received;
        std::vector<double> decodeLatencyMs;
        std::vector<Clock::time_point> sentAt;
        sentAt.reserve(fps * 25);
        std::mutex sentMutex;
        QObject::connect(&controller, &DMXController::currentDMXValueChanged, &controller, [&](int value) {
            const auto now = Clock::now();
            std::lock_guard lock(sentMutex);
            if (received.size() < sentAt.size())
                decodeLatencyMs.push_back(
                    std::chrono::duration<double, std::milli>(now - sentAt[received.size()]).count());
            received.push_back(static_cast<std::uint8_t>(value));
        });
        std::vector<double> positionGapsMs;
        auto lastPosition = Clock::now();
        QObject::connect(&engine, &PlaybackEngine::currentTimeChanged, &engine, [&](double) {
            const auto now = Clock::now();
            positionGapsMs.push_back(std::chrono::duration<double, std::milli>(now - lastPosition).count());
            lastPosition = now;
        });

        QProcess load;
        load.start(wrk, {"-t2", "-c64", QStringLiteral("-d%1s").arg(loadFor.count()), "--latency",
                         QStringLiteral("http://127.0.0.1:%1/api/status").arg(server.port())});
        std::atomic<bool> sending{true};
        std::vector<std::uint8_t> sent;
        std::thread console([&] {
            const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_port = htons(artNetOptions.listenPort);
            to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            const auto period = std::chrono::microseconds(1'000'000 / fps);
            auto next = Clock::now();
            for (std::uint8_t control = 1; sending; control = control == 255 ? 1 : control + 1) {
                const auto frame = artDmx(control);
                {
                    std::lock_guard lock(sentMutex);
                    sentAt.push_back(Clock::now());
                }
                ::sendto(fd, frame.data(), frame.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
                sent.push_back(control);
                next += period;
                std::this_thread::sleep_until(next);
            }
            ::close(fd);
        });
        const auto started = Clock::now();
        const double mainBefore = mainThreadCpuMs();
        const double webBefore = webThreadsCpuMs();
        QEventLoop loop;
        QObject::connect(&load, &QProcess::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(std::chrono::duration_cast<std::chrono::milliseconds>(loadFor + 15s), &loop,
                           &QEventLoop::quit);
        loop.exec();
        sending = false;
        console.join();
        {
            QEventLoop settle;
            QTimer::singleShot(300, &settle, &QEventLoop::quit);
            settle.exec();
        }
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - started).count());
        state.counters["main_thread_cpu_ms"] = mainThreadCpuMs() - mainBefore;
        state.counters["web_threads_cpu_ms"] = webThreadsCpuMs() - webBefore;
        QObject::disconnect(&controller, &DMXController::currentDMXValueChanged, nullptr, nullptr);
        QObject::disconnect(&engine, &PlaybackEngine::currentTimeChanged, nullptr, nullptr);

        const WrkResult result = parseWrk(QString::fromUtf8(load.readAllStandardOutput()));
        std::size_t missed = 0;
        for (std::size_t i = 0; i < sent.size(); ++i)
            missed += i >= received.size() || received[i] != sent[i];
        state.counters["requests_per_s"] = result.requestsPerSecond;
        state.counters["latency_p50_ms"] = result.p50Ms;
        state.counters["latency_p99_ms"] = result.p99Ms;
        state.counters["http_errors"] = static_cast<double>(result.errors);
        state.counters["dmx_frames_sent"] = static_cast<double>(sent.size());
        state.counters["dmx_missed"] = static_cast<double>(missed);
        state.counters["dmx_decode_p99_ms"] = percentile(decodeLatencyMs, 0.99);
        state.counters["position_gap_max_ms"] = percentile(positionGapsMs, 1.0);
        state.counters["still_playing"] = engine.isPlaying() ? 1 : 0;
        if (result.requestsPerSecond <= 0)
            state.SkipWithError(("wrk reported nothing: " + result.report.toStdString()).c_str());
    }
}
BENCHMARK(BM_StatusUnderLoad)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

// A password must not cost the remote its speed: sessions are looked up by a fast digest, and
// the memory-hard hash runs only at login. Open and session runs alternate, so that the
// machine's drift weighs on both alike.
void BM_StatusWithSession(benchmark::State& state)
{
    constexpr int rounds = 3;
    constexpr int seconds = 5;
    const QString wrk = QStandardPaths::findExecutable("wrk");
    if (wrk.isEmpty()) {
        state.SkipWithError("wrk is not installed (apt-get install wrk)");
        return;
    }
    BenchPlayer player;
    WebRemoteSettings& remote = WebRemoteSettings::shared();
    for (auto _ : state) {
        orvelo::test::QuietStdout quiet;
        double open = 0;
        double withSession = 0;
        long errors = 0;
        for (int round = 0; round < rounds; ++round) {
            remote.setPassword({});
            const WrkResult openRun = statusLoad(wrk, player.server.port(), seconds);
            remote.setPassword("bench password");
            const QString cookie = sessionCookie(player.server.port(), "bench password");
            const WrkResult sessionRun = statusLoad(wrk, player.server.port(), seconds, cookie);
            open += openRun.requestsPerSecond / rounds;
            withSession += sessionRun.requestsPerSecond / rounds;
            errors += openRun.errors + sessionRun.errors + (cookie.isEmpty() ? 1 : 0);
        }
        remote.setPassword({});
        state.SetIterationTime(2.0 * rounds * seconds);
        state.counters["open_requests_per_s"] = open;
        state.counters["session_requests_per_s"] = withSession;
        state.counters["session_vs_open_percent"] = open > 0 ? 100.0 * withSession / open : 0;
        state.counters["http_errors"] = static_cast<double>(errors);
        if (open <= 0 || withSession <= 0)
            state.SkipWithError("wrk reported nothing");
    }
}
BENCHMARK(BM_StatusWithSession)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv)
{
    // The player's store lives in a folder of this run, never in the user's.
    QTemporaryDir home;
    setenv("XDG_CONFIG_HOME", home.path().toUtf8().constData(), 1);
    setenv("GST_AUDIO_SINK", "fakesink", 0);
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName("Orvelo");
    QCoreApplication::setApplicationName("Orvelo");
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
