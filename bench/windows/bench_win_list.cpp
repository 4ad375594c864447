// Listing cost of the Windows window in a whole Auto Search, under Wine: fleets of up to
// 20,000 devices, each answering twice (as to the multicast and the broadcast probe) in one
// burst while the search window runs, on the fake client. It prints, per fleet: the longest
// gap between the window thread's 10 ms ticks while the search ran (a stall of the window),
// when the 3-second search window ended, the rows then listed, and what a header click that
// sorts the full list took. Figures, not assertions: the machine may be busy.
//   bench_win_list.exe [DEVICES...]        (default 1000 10000 20000; needs a display)

#include "ScoutcamDlg.h"
#include "fake_client.h"
#include "resource.h"

#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

LARGE_INTEGER g_frequency;

double NowMs() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(g_frequency.QuadPart);
}

double g_lastTick = 0;
double g_longestGap = 0;

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    const double now = NowMs();
    if (g_lastTick > 0 && now - g_lastTick > g_longestGap) {
        g_longestGap = now - g_lastTick;
    }
    g_lastTick = now;
}

void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
}

void Measure(int devices) {
    std::vector<CDiscoveryBean> fleet;
    for (int i = 0; i < devices; ++i) {
        fleet.push_back(NumberedDevice(i));
        fleet.push_back(NumberedDevice(i));
    }
    CFakeClient client;
    client.SetFleet(fleet);
    CScoutcamDlg dlg(&client);
    HWND hWnd = dlg.Create(nullptr);
    ShowWindow(hWnd, SW_SHOW);
    for (int i = 0; i < 20; ++i) {
        Pump();
    }
    g_lastTick = 0;
    g_longestGap = 0;
    const UINT_PTR timer = SetTimer(nullptr, 0, 10, Tick);
    const double start = NowMs();
    PostMessageW(hWnd, WM_COMMAND, MAKEWPARAM(IDC_AUTO_SEARCH, BN_CLICKED), 0);
    while (!dlg.Searching()) {
        Pump();
    }
    while (dlg.Searching()) {
        Pump();
    }
    const double ended = NowMs() - start;
    KillTimer(nullptr, timer);
    HWND list = GetDlgItem(hWnd, IDC_DEVICE_LIST);
    const int rows = ListView_GetItemCount(list);
    NMLISTVIEW click = {};
    click.hdr.hwndFrom = list;
    click.hdr.idFrom = IDC_DEVICE_LIST;
    click.hdr.code = LVN_COLUMNCLICK;
    click.iItem = -1;
    click.iSubItem = 3;
    const double sortStart = NowMs();
    SendMessageW(hWnd, WM_NOTIFY, IDC_DEVICE_LIST, reinterpret_cast<LPARAM>(&click));
    UpdateWindow(list);
    const double sortMs = NowMs() - sortStart;
    std::printf(
        "%6d devices: longest stall %5.0f ms, search window ended after %5.0f ms, "
        "%6d rows, header sort %4.0f ms\n",
        devices, g_longestGap, ended, rows, sortMs);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    QueryPerformanceFrequency(&g_frequency);
    INITCOMMONCONTROLSEX controls = {sizeof(controls),
                                     0xFF | ICC_INTERNET_CLASSES | ICC_LINK_CLASS};
    InitCommonControlsEx(&controls);
    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i) {
        sizes.push_back(std::atoi(argv[i]));
    }
    if (sizes.empty()) {
        sizes = {1000, 10000, 20000};
    }
    for (int devices : sizes) {
        Measure(devices);
    }
    return 0;
}
