// A sync group of four players in their own network namespaces, as the end-to-end test builds
// it (a leader, two followers from the start and one joining late, each reaching the leader
// through a relay with 1 ms +- 0.5 ms of delay and 0.1 % loss): the offsets between each
// follower and the leader, from the frames they showed, at the start, after a seek and over
// minutes of steady play; how long the late follower takes to lock; and the datagrams per
// second between a follower and the leader. Builds namespaces: run it only in the private
// network (./orvelo bench), as root. SYNC_STEADY_SECONDS sets the steady play (default 600).
#include <benchmark/benchmark.h>

#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

std::vector<QJsonObject> jsonLines(const std::string& path)
{
    std::vector<QJsonObject> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        lines.push_back(QJsonDocument::fromJson(QByteArray::fromStdString(line)).object());
    return lines;
}

void BM_SyncGroup(benchmark::State& state)
{
    const char* steady = std::getenv("SYNC_STEADY_SECONDS");
    const std::string seconds = steady && *steady ? steady : "600";
    const std::string out = std::string(ORVELO_BUILD_DIR) + "/bench-sync";
    const std::string command = "SYNC_STEADY_SECONDS=" + seconds + " " + ORVELO_SOURCE_DIR +
                                "/tests/core/sync_group_e2e.sh " + ORVELO_PLAYER + " " + out + " >" + out + ".log 2>&1";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError(("the group did not run; see " + out + ".log").c_str());
            return;
        }
    }
    // Every follower's figures for a phase: the worst of them.
    std::string phase;
    double worstP50 = 0, worstP99 = 0, worstMax = 0;
    const auto flush = [&] {
        if (phase.empty())
            return;
        state.counters[phase + "_p50_ms"] = worstP50;
        state.counters[phase + "_p99_ms"] = worstP99;
        state.counters[phase + "_max_ms"] = worstMax;
        worstP50 = worstP99 = worstMax = 0;
    };
    for (const QJsonObject& line : jsonLines(out + "/phases.json")) {
        if (line.contains("phase")) {
            flush();
            phase = line.value("phase").toString().toStdString();
            continue;
        }
        worstP50 = std::max(worstP50, line.value("p50_ms").toDouble());
        worstP99 = std::max(worstP99, line.value("p99_ms").toDouble());
        worstMax = std::max(worstMax, line.value("max_ms").toDouble());
        if (line.contains("lock_s") && !line.value("lock_s").isNull())
            state.counters["late_lock_s"] = line.value("lock_s").toDouble();
    }
    flush();
    for (const QJsonObject& line : jsonLines(out + "/traffic.json"))
        if (line.value("seconds").toDouble() > 0)
            state.counters["packets_per_s_" + line.value("follower").toString().toStdString()] =
                line.value("packets").toDouble() / line.value("seconds").toDouble();
}
BENCHMARK(BM_SyncGroup)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

BENCHMARK_MAIN();
