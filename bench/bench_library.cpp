// The media library of the web remote: listing a folder of 500 media files the first time
// (every file discovered) and again (every file known), and uploading a 2 GiB file over
// loopback, with the throughput and how much the process's memory grew while it ran.
// Opens sockets: run it only in the private network (/work/shared/isolated or ./orvelo bench).
#include "support/QuietStdout.h"
#include "web/MediaLibrary.h"
#include "web/WebServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <future>
#include <string>

using namespace orvelo;

namespace {

constexpr int fileCount = 500;

// Two small files made once, then copied: each copy is a file of its own to discover.
QString makeFolder(const QTemporaryDir& dir)
{
    const QString folder = dir.path() + "/Media";
    QDir().mkpath(folder);
    const QString clip = dir.path() + "/clip.mp4";
    const QString tone = dir.path() + "/tone.wav";
    QProcess::execute("gst-launch-1.0",
                      {"-q", "videotestsrc", "num-buffers=50", "!", "video/x-raw,width=320,height=180,framerate=25/1",
                       "!", "x264enc", "speed-preset=ultrafast", "!", "mp4mux", "!", "filesink", "location=" + clip});
    QProcess::execute("gst-launch-1.0",
                      {"-q", "audiotestsrc", "num-buffers=50", "!", "wavenc", "!", "filesink", "location=" + tone});
    for (int i = 0; i < fileCount; ++i) {
        const bool video = i % 2 == 0;
        QFile::copy(video ? clip : tone,
                    folder + QStringLiteral("/%1/file%2.%3").arg(i % 10).arg(i).arg(video ? "mp4" : "wav"));
    }
    return folder;
}

QString prepared(const QTemporaryDir& dir)
{
    for (int i = 0; i < 10; ++i)
        QDir().mkpath(dir.path() + "/Media/" + QString::number(i));
    return makeFolder(dir);
}

void BM_ListFirstTime(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString folder = prepared(dir);
    std::size_t listed = 0;
    orvelo::test::QuietStdout quiet;
    for (auto _ : state) {
        MediaLibrary library(folder);
        listed = library.list().size();
    }
    state.counters["files"] = static_cast<double>(listed);
    if (listed != fileCount)
        state.SkipWithError("not every file was listed");
}
BENCHMARK(BM_ListFirstTime)->Iterations(1)->Unit(benchmark::kSecond);

void BM_ListAgain(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString folder = prepared(dir);
    orvelo::test::QuietStdout quiet;
    MediaLibrary library(folder);
    library.list();
    std::size_t listed = 0;
    for (auto _ : state)
        listed = library.list().size();
    state.counters["files"] = static_cast<double>(listed);
}
BENCHMARK(BM_ListAgain)->Unit(benchmark::kMillisecond);

long residentKiB(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0)
            return std::stol(line.substr(std::string(field).size()));
    return -1;
}

void BM_Upload2GiB(benchmark::State& state)
{
    constexpr std::uint64_t uploadSize = 2ull << 30;
    orvelo::test::QuietStdout quiet;
    QTemporaryDir dir;
    SettingsManager settings;
    settings.setMediaFolder(dir.path() + "/Media");
    VideoEffectsManager effects;
    WebServer::Options options;
    options.address = "127.0.0.1";
    options.port = 0;
    options.settings = &settings;
    options.effects = &effects;
    options.minimumFreeBytes = 0;
    WebServer server(options);
    server.start(nullptr, nullptr, nullptr, nullptr, nullptr);
    while (!server.isRunning())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);

    for (auto _ : state) {
        QFile::remove(dir.path() + "/Media/big.mp4");
        const long before = residentKiB("VmRSS:");
        long peak = before;
        const auto start = std::chrono::steady_clock::now();
        auto client = std::async(std::launch::async, [port = server.port()] {
            const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_port = htons(port);
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
                return std::string();
            const std::string head =
                "PUT /api/media/big.mp4 HTTP/1.1\r\nContent-Length: " + std::to_string(uploadSize) + "\r\n\r\n";
            ::send(fd, head.data(), head.size(), MSG_NOSIGNAL);
            const std::string chunk(1u << 20, 'x');
            for (std::uint64_t sent = 0; sent < uploadSize;) {
                const ssize_t n =
                    ::send(fd, chunk.data(), std::min<std::uint64_t>(chunk.size(), uploadSize - sent), MSG_NOSIGNAL);
                if (n <= 0)
                    break;
                sent += static_cast<std::uint64_t>(n);
            }
            char answer[512];
            const ssize_t n = ::recv(fd, answer, sizeof answer, 0);
            ::close(fd);
            return n > 0 ? std::string(answer, static_cast<std::size_t>(n)) : std::string();
        });
        while (client.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            peak = std::max(peak, residentKiB("VmRSS:"));
        }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const std::string answer = client.get();
        state.SetIterationTime(seconds);
        state.counters["MB_per_s"] = uploadSize / 1e6 / seconds;
        state.counters["rss_growth_MB"] = (peak - before) / 1024.0;
        if (answer.rfind("HTTP/1.1 200", 0) != 0 ||
            QFileInfo(dir.path() + "/Media/big.mp4").size() != qint64(uploadSize))
            state.SkipWithError(("upload failed: " + answer).c_str());
    }
    QFile::remove(dir.path() + "/Media/big.mp4");
}
BENCHMARK(BM_Upload2GiB)->Iterations(2)->UseManualTime()->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir home;
    setenv("XDG_CONFIG_HOME", home.path().toUtf8().constData(), 1);
    setenv("XDG_DATA_HOME", home.path().toUtf8().constData(), 1);
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName("Orvelo");
    QCoreApplication::setApplicationName("Orvelo");
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
