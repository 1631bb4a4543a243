// Start-up restore of a 1,000-track last playlist: reading the store, decoding the track list
// and bookmark table, checking every file, and publishing the result. Target: <= 50 ms.
#include "core/Playlist.h"
#include "support/QuietStdout.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

using namespace orvelo;

namespace {

constexpr int trackCount = 1000;

QTemporaryDir& mediaDir()
{
    static QTemporaryDir dir;
    return dir;
}

// Stores the last playlist once: a thousand real files, as the previous run left them.
void storeLastPlaylist()
{
    static bool stored = false;
    if (stored)
        return;
    QList<QUrl> urls;
    for (int i = 0; i < trackCount; ++i) {
        const QString path = mediaDir().filePath(QStringLiteral("Show clip %1 – scène.mov").arg(i));
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        urls << QUrl::fromLocalFile(path);
    }
    Playlist previousRun;
    previousRun.addTracks(urls);
    stored = true;
}

void restore(benchmark::State& state)
{
    Playlist playlist;
    playlist.loadLastPlaylist();
    if (playlist.playlist().size() != trackCount)
        state.SkipWithError("restore lost tracks");
    benchmark::DoNotOptimize(playlist.playlist().constData());
}

// The store as this process already holds it in memory.
void BM_RestoreLastPlaylist(benchmark::State& state)
{
    storeLastPlaylist();
    orvelo::test::QuietStdout quiet;
    for (auto _ : state)
        restore(state);
}
BENCHMARK(BM_RestoreLastPlaylist)->Unit(benchmark::kMillisecond);

// As at a real start: the store file is read and parsed again first.
void BM_RestoreLastPlaylistFromFile(benchmark::State& state)
{
    storeLastPlaylist();
    const QString storeFile = QSettings(QSettings::NativeFormat, QSettings::UserScope, "Orvelo", "Orvelo").fileName();
    orvelo::test::QuietStdout quiet;
    qint64 stamp = QDateTime::currentSecsSinceEpoch();
    for (auto _ : state) {
        state.PauseTiming();
        // A new modification time makes the store read the file again instead of its cache.
        QFile file(storeFile);
        file.open(QIODevice::ReadWrite);
        file.setFileTime(QDateTime::fromSecsSinceEpoch(++stamp), QFileDevice::FileModificationTime);
        file.close();
        state.ResumeTiming();
        restore(state);
    }
}
BENCHMARK(BM_RestoreLastPlaylistFromFile)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    // Never touch the user's own store.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
