// The program's own window and discovery client against simulated cameras, in a virtual LAN of
// its own (root only): for fleets of 1,000 and 10,000 devices, half on each segment, each
// answering both probes of one Auto Search within 100 ms, it prints the longest stall of the
// window's event loop (stall_meter.h), when the search window ended after the click, and the
// count then shown against the fleet, with the answers that the kernel dropped before the
// client could read them. Each fleet is searched twice, the second search
// clearing the first one's rows. Runs on the offscreen platform unless QT_QPA_PLATFORM names
// another (xcb under Xvfb shows the real window). Not a test: it prints what it measured.

#include "ScoutcamDlg.h"
#include "common/common_log.h"
#include "front/front_log.h"
#include "lan_fixture.h"
#include "mc/mc_client.h"
#include "stall_meter.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

const int kSearches = 2;

struct SearchFigures {
    qint64 windowMs = 0;
    qint64 stallMs = 0;
    double guiCpuMs = 0;  // the GUI thread's CPU time from the click to the window's end
    double stallCpuMs = 0;
    int count = 0;
    long bufferDrops = 0;
};

// Clicks Auto Search and waits for the end of its window.
SearchFigures AutoSearch(CScoutcamDlg& dlg) {
    SearchFigures figures;
    const long dropsBefore = KernelDrops();
    CStallMeter meter;
    QEventLoop loop;
    QElapsedTimer clock;
    double cpuAtClick = 0;
    QMetaObject::Connection end =
        QObject::connect(&dlg, &CScoutcamDlg::SearchFinished, &loop, [&]() {
            figures.windowMs = clock.elapsed();
            figures.guiCpuMs = ThreadCpuMs() - cpuAtClick;
            figures.count = dlg.Total();
            loop.quit();
        });
    QTimer::singleShot(0, &dlg, [&]() {
        clock.start();
        cpuAtClick = ThreadCpuMs();
        dlg.OnAutoSearch();
    });
    meter.Start();
    loop.exec();
    QObject::disconnect(end);
    figures.stallMs = meter.LongestMs();
    figures.stallCpuMs = meter.LongestCpuMs();
    figures.bufferDrops = KernelDrops() - dropsBefore;
    return figures;
}

bool Fleet(CTestLan* pLan, CScoutcamDlg& dlg, int devices) {
    const std::string half = std::to_string(devices / 2);
    if (!pLan->StartCamsim('a', {"--count", half, "--behave", "delay-max=100"}) ||
        !pLan->StartCamsim('b', {"--count", half, "--behave", "delay-max=100"})) {
        std::printf("camsim did not start\n");
        return false;
    }
    for (int run = 1; run <= kSearches; ++run) {
        const SearchFigures f = AutoSearch(dlg);
        std::printf(
            "%5d devices, search %d: window ended %lld ms after the click, count %d of %d, "
            "longest stall %lld ms (GUI thread CPU %.1f ms), GUI thread CPU in the search "
            "%.0f ms, answers dropped by a full receive buffer %ld\n",
            devices, run, static_cast<long long>(f.windowMs), f.count, devices,
            static_cast<long long>(f.stallMs), f.stallCpuMs, f.guiCpuMs, f.bufferDrops);
        std::fflush(stdout);
    }
    std::printf("  camsim a: %s\n  camsim b: %s\n", pLan->StopCamsim('a').c_str(),
                pLan->StopCamsim('b').c_str());
    return true;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // The window system is reached before this thread moves into the virtual LAN.
    QApplication app(argc, argv);
    CTestLan lan;
    std::string reason;
    if (!lan.Up(&reason)) {
        std::printf("bench_app_lan skipped: %s\n", reason.c_str());
        return 0;
    }
    // The program's log, at DEBUG as the program writes it, in a folder of this run.
    QTemporaryDir logDir;
    qputenv("TMPDIR", logDir.path().toLocal8Bit());
    StartProgramLog();
    IDiscoveryClient* pClient = GetDiscoveryClient();
    if (pClient == nullptr || pClient->WaitReady(5000) != 0) {
        std::printf("bench_app_lan: the discovery client did not start\n");
        return 1;
    }
    CScoutcamDlg dlg(pClient);
    dlg.show();
    for (int devices : {1000, 10000}) {
        if (!Fleet(&lan, dlg, devices)) {
            return 1;
        }
    }
    dlg.reject();
    GetLogThread()->StopLog();
    return 0;
}
