// Listing cost of the main window in a whole Auto Search: fleets of up to 20,000 devices, each
// answering twice (as to the multicast and the broadcast probe) in one burst while the search
// window runs. It prints, per fleet: the longest stall of the window's event loop (wall clock
// and the GUI thread's CPU time, stall_meter.h), the time from the first record to the last
// row listed, when the 3-second search window ended, the rows then listed, and what
// clearing the previous search's rows took. A second benchmark sorts the full list by a
// header click. Figures, not assertions: the machine may be busy.

#include "ListCtrlEx.h"
#include "ScoutcamDlg.h"
#include "fake_client.h"
#include "stall_meter.h"

#include <QApplication>
#include <QEventLoop>
#include <QHeaderView>
#include <QTimer>
#include <QElapsedTimer>
#include <benchmark/benchmark.h>
#include <string>
#include <thread>

namespace {

// One Auto Search in which every device answers twice at once; returns when the window ends.
struct SearchFigures {
    qint64 clearMs = 0;
    qint64 listedMs = -1;  // first record to last row
    qint64 windowMs = 0;   // click to the end of the search window
    qint64 stallMs = 0;
    double guiCpuMs = 0;  // the GUI thread's CPU time from the click to the window's end
    double stallCpuMs = 0;
    double clearCpuMs = 0;
    int rowsAtEnd = 0;
};

SearchFigures RunSearch(CScoutcamDlg& dlg, int devices) {
    SearchFigures figures;
    CStallMeter meter;
    QEventLoop loop;
    QElapsedTimer clock;
    double cpuAtClick = 0;
    QObject::connect(&dlg, &CScoutcamDlg::SearchFinished, &loop, [&]() {
        figures.windowMs = clock.elapsed();
        figures.guiCpuMs = ThreadCpuMs() - cpuAtClick;
        figures.rowsAtEnd = dlg.List()->rowCount();
        loop.quit();
    });
    // Watches for the last row while the records come in.
    QTimer watch;
    QElapsedTimer firstRecord;
    QObject::connect(&watch, &QTimer::timeout, [&]() {
        if (figures.listedMs < 0 && dlg.List()->rowCount() == devices) {
            figures.listedMs = firstRecord.elapsed();
            watch.stop();
        }
    });
    std::thread feeder;
    QTimer::singleShot(0, &dlg, [&]() {
        clock.start();
        cpuAtClick = ThreadCpuMs();
        dlg.OnAutoSearch();
        figures.clearMs = clock.elapsed();
        figures.clearCpuMs = ThreadCpuMs() - cpuAtClick;
        firstRecord.start();
        feeder = std::thread([&dlg, devices]() {
            for (int i = 0; i < devices; ++i) {
                const CDiscoveryBean record = NumberedDevice(i);
                dlg.Update(&record);
                dlg.Update(&record);
            }
        });
        watch.start(1);
    });
    meter.Start();
    loop.exec();
    feeder.join();
    figures.stallMs = meter.LongestMs();
    figures.stallCpuMs = meter.LongestCpuMs();
    QObject::disconnect(&dlg, &CScoutcamDlg::SearchFinished, &loop, nullptr);
    return figures;
}

void BM_AutoSearch(benchmark::State& state) {
    const int devices = static_cast<int>(state.range(0));
    CFakeClient client;  // finds nothing; the benchmark hands the records to the window
    CScoutcamDlg dlg(&client);
    dlg.show();
    RunSearch(dlg, devices);  // the rows that the measured search clears first
    for (auto _ : state) {
        const SearchFigures f = RunSearch(dlg, devices);
        if (f.rowsAtEnd != devices) {
            state.SkipWithError("rows missing when the search window ended");
        }
        state.counters["stall_ms"] = static_cast<double>(f.stallMs);
        state.counters["listed_ms"] = static_cast<double>(f.listedMs);
        state.counters["window_ms"] = static_cast<double>(f.windowMs);
        state.counters["stall_cpu_ms"] = f.stallCpuMs;
        state.counters["gui_cpu_ms"] = f.guiCpuMs;
        state.counters["clear_ms"] = static_cast<double>(f.clearMs);
        state.counters["clear_cpu_ms"] = f.clearCpuMs;
        state.counters["rows"] = f.rowsAtEnd;
    }
}
BENCHMARK(BM_AutoSearch)
    ->Arg(1000)
    ->Arg(4000)
    ->Arg(10000)
    ->Arg(20000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// The same meter over an idle event loop for as long as a search window: what the machine's
// own load adds to every stall above.
void BM_IdleLoop(benchmark::State& state) {
    for (auto _ : state) {
        CStallMeter meter;
        QEventLoop loop;
        QTimer::singleShot(CScoutcamDlg::kSearchWindowMs, &loop, &QEventLoop::quit);
        meter.Start();
        loop.exec();
        state.counters["stall_ms"] = static_cast<double>(meter.LongestMs());
        state.counters["stall_cpu_ms"] = meter.LongestCpuMs();
    }
}
BENCHMARK(BM_IdleLoop)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_SortByHeader(benchmark::State& state) {
    const int devices = static_cast<int>(state.range(0));
    CFakeClient client;
    CScoutcamDlg dlg(&client);
    dlg.show();
    RunSearch(dlg, devices);
    QHeaderView* header = dlg.List()->horizontalHeader();
    int column = 1;
    for (auto _ : state) {
        emit header->sectionClicked(column);  // as a click on the header
        column = column % 5 + 1;
    }
}
BENCHMARK(BM_SortByHeader)->Arg(10000)->Arg(20000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
