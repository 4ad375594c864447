// Listing cost of the main window: every record arrives twice (as from the multicast and the
// broadcast probe) and each is checked against the rows already listed before it is added.

#include "ListCtrlEx.h"
#include "ScoutcamDlg.h"
#include "WaitDlg.h"
#include "fake_client.h"

#include <QApplication>
#include <benchmark/benchmark.h>
#include <string>

namespace {

CDiscoveryBean Device(int i) {
    CDiscoveryBean b;
    b.m_ipAddr = "10.0." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1);
    b.m_hardware = "KV-IPC2140";
    b.m_serialNo = "KV" + std::to_string(100000 + i);
    b.m_macAddr = "001b8901" + std::to_string(1000 + i % 9000);
    b.m_version = "V5.3.10.build230347";
    return b;
}

void BM_ListFleet(benchmark::State& state) {
    const int devices = static_cast<int>(state.range(0));
    for (auto _ : state) {
        CFakeClient client;  // finds nothing; the benchmark hands the records to the window
        CScoutcamDlg dlg(&client);
        dlg.OnAutoSearch();
        for (int i = 0; i < devices; ++i) {
            const CDiscoveryBean record = Device(i);
            dlg.Update(&record);
            dlg.Update(&record);
        }
        QCoreApplication::sendPostedEvents();
        CloseWait();
        if (dlg.List()->rowCount() != devices) {
            state.SkipWithError("rows missing");
        }
    }
    state.SetItemsProcessed(state.iterations() * devices * 2);
}
BENCHMARK(BM_ListFleet)
    ->Arg(257)
    ->Arg(1000)
    ->Arg(4000)
    ->Arg(10000)
    ->Arg(20000)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
