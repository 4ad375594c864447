// Renders the Windows window with a listed fleet, and every dialog, into PNG files: the
// window and the dialogs on the fake client, captured from the screen (Xvfb under Wine).
//   scoutcam_win_screenshots.exe FOLDER < fleet.csv
// The fleet is camsim's list in CSV. Nothing is sent on any network; the saved range is the
// tool's own settings key, removed at the end.

#include "AboutDlg.h"
#include "Dialog.h"
#include "SerialDlg.h"
#include "SetAddrDlg.h"
#include "ScoutcamDlg.h"
#include "SubnetSectDlg.h"
#include "WaitDlg.h"
#include "common/common_charset.h"
#include "fake_client.h"
#include "front/front_strings.h"
#include "resource.h"
#include "win_text.h"

#include <windows.h>

#include <commctrl.h>
#include <objidl.h>
// GDI+ after the COM headers it needs.
#include <gdiplus.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

namespace {

// PNG's encoder in GDI+.
const CLSID kPngEncoder = {
    0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};

void Pump(DWORD ms) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(10);
    }
}

class CShooter {
public:
    explicit CShooter(std::wstring folder) : m_folder(std::move(folder)) {}
    bool Ok() const { return m_ok; }

    // The screen under the windows, first the main window; each painted first.
    void Shoot(const wchar_t* pName, const std::vector<HWND>& windows) {
        RECT all = {};
        for (HWND hWnd : windows) {
            RedrawWindow(hWnd, nullptr, nullptr,
                         RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
            RECT rect = {};
            GetWindowRect(hWnd, &rect);
            UnionRect(&all, &all, &rect);
        }
        Pump(300);
        const int w = all.right - all.left;
        const int h = all.bottom - all.top;
        HDC screen = GetDC(nullptr);
        HDC memory = CreateCompatibleDC(screen);
        HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
        HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, w, h, screen, all.left, all.top, SRCCOPY);
        SelectObject(memory, old);
        const std::wstring path = m_folder + L"\\" + pName;
        Gdiplus::GpBitmap* pImage = nullptr;
        bool saved = Gdiplus::DllExports::GdipCreateBitmapFromHBITMAP(bitmap, nullptr, &pImage) ==
                         Gdiplus::Ok &&
                     Gdiplus::DllExports::GdipSaveImageToFile(pImage, path.c_str(), &kPngEncoder,
                                                              nullptr) == Gdiplus::Ok;
        if (pImage != nullptr) {
            Gdiplus::DllExports::GdipDisposeImage(pImage);
        }
        DeleteObject(bitmap);
        DeleteDC(memory);
        ReleaseDC(nullptr, screen);
        std::printf("%s %ls\n", saved ? "wrote" : "FAILED", path.c_str());
        m_ok = m_ok && saved;
    }

private:
    std::wstring m_folder;
    bool m_ok = true;
};

// A dialog shown modeless over the main window, for its picture.
HWND ShowDialog(CDialog& dialog, HWND owner) {
    HWND hWnd = dialog.Create(owner);
    ShowWindow(hWnd, SW_SHOW);
    return hWnd;
}

void Click(HWND dialog, int id) {
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// The message box of a result, shot from a timer inside its modal loop and then closed.
CShooter* g_pShooter = nullptr;
HWND g_main = nullptr;
void CALLBACK ShootMessageBox(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND box = GetActiveWindow();
    if (box == nullptr || box == g_main) {
        return;
    }
    KillTimer(nullptr, timer);
    g_pShooter->Shoot(L"12-result-0.png", {g_main, box});
    PostMessageW(box, WM_COMMAND, IDOK, 0);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: scoutcam_win_screenshots.exe FOLDER < fleet.csv\n");
        return 2;
    }
    CreateDirectoryW(argv[1], nullptr);
    INITCOMMONCONTROLSEX controls = {sizeof(controls),
                                     0xFF | ICC_INTERNET_CLASSES | ICC_LINK_CLASS};
    InitCommonControlsEx(&controls);
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartup(&token, &input, nullptr);

    CShooter shooter(argv[1]);
    g_pShooter = &shooter;
    CFakeClient client;
    // The client hands the window the type in the system code page, as it converts it from
    // the UTF-8 of the answers; the other texts pass as they came.
    std::vector<CDiscoveryBean> fleet = ReadFleetCsv(std::cin);
    for (CDiscoveryBean& device : fleet) {
        device.m_hardware = ConvertToString(CHARSET_UTF8, CHARSET_ANSI, device.m_hardware.c_str());
    }
    client.SetFleet(fleet);
    {
        CScoutcamDlg main(&client);
        g_main = main.Create(nullptr);
        SetWindowPos(g_main, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        ShowWindow(g_main, SW_SHOW);
        shooter.Shoot(L"01-main-start.png", {g_main});

        Click(g_main, IDC_AUTO_SEARCH);
        Pump(500);
        shooter.Shoot(L"02-searching.png", {g_main, CurrentWait()});
        while (main.Searching()) {
            Pump(100);
        }
        shooter.Shoot(L"03-main-fleet.png", {g_main});
        NMLISTVIEW click = {};
        click.hdr.hwndFrom = GetDlgItem(g_main, IDC_DEVICE_LIST);
        click.hdr.idFrom = IDC_DEVICE_LIST;
        click.hdr.code = LVN_COLUMNCLICK;
        click.iItem = -1;
        click.iSubItem = 2;
        SendMessageW(g_main, WM_NOTIFY, IDC_DEVICE_LIST, reinterpret_cast<LPARAM>(&click));
        shooter.Shoot(L"04-main-sorted-by-type.png", {g_main});

        const std::wstring settings = L"Software\\Korvane\\" + AppName();
        {
            CSubnetSectDlg range;
            shooter.Shoot(L"06-network-segment.png", {g_main, ShowDialog(range, g_main)});
        }
        {
            CSetAddrDlg edit;
            edit.m_ip = 0xC612000Au;  // 198.18.0.10
            edit.m_mask = 0xFFFF0000u;
            shooter.Shoot(L"08-edit-network-address.png", {g_main, ShowDialog(edit, g_main)});
        }
        {
            CSerialDlg serial;
            shooter.Shoot(L"10-serial-code.png", {g_main, ShowDialog(serial, g_main)});
        }
        ShowWait(g_main, LoadResString(IDS_BEING_MODIFIED));
        shooter.Shoot(L"11-being-modified.png", {g_main, CurrentWait()});
        CloseWait();
        SetTimer(nullptr, 0, 300, ShootMessageBox);
        MessageBoxW(g_main, FromUtf8(GetErrMsg(0)).c_str(), AppName().c_str(),
                    MB_OK | MB_ICONEXCLAMATION);
        {
            CAboutDlg about;
            shooter.Shoot(L"14-about.png", {g_main, ShowDialog(about, g_main)});
        }
        RegDeleteTreeW(HKEY_CURRENT_USER, settings.c_str());
    }
    Gdiplus::GdiplusShutdown(token);
    return shooter.Ok() ? 0 : 1;
}
