// Cost of the log for its callers, and how fast the log thread empties its queue to disk.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/common_log.h"

namespace {

class CBenchDir {
public:
    CBenchDir() {
        const char* pBase = getenv("TMPDIR");
        m_path = std::string(pBase != nullptr && *pBase != '\0' ? pBase : "/tmp") +
                 "/scoutcam_bench_XXXXXX";
        if (mkdtemp(&m_path[0]) == nullptr) {
            m_path.clear();
        }
    }
    ~CBenchDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

bool StartLogIn(const std::string& dir) {
    CLogThread* pLog = GetLogThread();
    if (pLog == nullptr) {
        return false;
    }
    pLog->m_sysLog.SetLevel(LEVEL_DEBUG);
    pLog->m_sysLog.SetLogDir(dir.c_str());
    return pLog->StartLog() == 0;
}

// One WriteLog call as its caller pays for it: allocation, formatting and the post.
void BM_WriteLogCall(benchmark::State& state) {
    CBenchDir dir;
    if (!StartLogIn(dir.Path())) {
        state.SkipWithError("log did not start");
        return;
    }
    int n = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            LOG_INFO("send probe(ip:%s port:%d seq:%d)", "192.168.1.10", 3702, ++n));
    }
    GetLogThread()->StopLog();
}
// A fixed count keeps the backlog (1,292 bytes per record) bounded.
BENCHMARK(BM_WriteLogCall)->Iterations(100000)->Repetitions(5)->ReportAggregatesOnly(true);

// Records written to the file per second: post a batch, then StopLog waits until the log
// thread has written every one of them.
void BM_LogThreadToDisk(benchmark::State& state) {
    const int batch = static_cast<int>(state.range(0));
    CBenchDir dir;
    for (auto _ : state) {
        state.PauseTiming();
        if (!StartLogIn(dir.Path())) {
            state.SkipWithError("log did not start");
            return;
        }
        state.ResumeTiming();
        for (int n = 0; n < batch; ++n) {
            LOG_INFO("send probe(ip:%s port:%d seq:%d)", "192.168.1.10", 3702, n);
        }
        GetLogThread()->StopLog();
    }
    state.SetItemsProcessed(state.iterations() * batch);
}
BENCHMARK(BM_LogThreadToDisk)->Arg(50000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
