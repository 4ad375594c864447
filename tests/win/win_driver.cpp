#include "win_driver.h"

#include "win_text.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdlib>

namespace {

std::vector<CWindowWatch*> g_watches;
UINT_PTR g_timer = 0;

BOOL CALLBACK CollectWindow(HWND hWnd, LPARAM param) {
    reinterpret_cast<std::vector<HWND>*>(param)->push_back(hWnd);
    return TRUE;
}

void CALLBACK OfferWindows(HWND, UINT, UINT_PTR, DWORD) {
    std::vector<HWND> windows;
    EnumThreadWindows(GetCurrentThreadId(), CollectWindow, reinterpret_cast<LPARAM>(&windows));
    // An action may open a modal loop of its own, in which this timer runs again: work on
    // copies.
    const std::vector<CWindowWatch*> watches = g_watches;
    for (HWND hWnd : windows) {
        for (CWindowWatch* pWatch : watches) {
            if (std::find(g_watches.begin(), g_watches.end(), pWatch) != g_watches.end() &&
                IsWindow(hWnd)) {
                pWatch->Offer(hWnd);
            }
        }
    }
}

std::wstring ClassOf(HWND hWnd) {
    wchar_t name[64] = {};
    GetClassNameW(hWnd, name, 64);
    return name;
}

BOOL CALLBACK CollectChild(HWND hWnd, LPARAM param) {
    reinterpret_cast<std::vector<HWND>*>(param)->push_back(hWnd);
    return TRUE;
}

}  // namespace

std::string DisplayMissing() {
    const char* pDisplay = std::getenv("DISPLAY");
    if (pDisplay == nullptr || *pDisplay == '\0') {
        return "no display (DISPLAY is not set): the window tests need Xvfb";
    }
    // Wine's server keeps the display it started with: one started without any (by a
    // build listing the tests) gives this program no windows.
    HWND probe = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    if (probe == nullptr) {
        return "no windows: Wine's server of this prefix started without a display (end it "
               "with wineserver -k and run the tests again, as scripts/windows does)";
    }
    DestroyWindow(probe);
    return std::string();
}

void CWinTest::SetUp() {
    const std::string missing = DisplayMissing();
    if (!missing.empty()) {
        GTEST_SKIP() << missing;
    }
    InitControls();
}

void InitControls() {
    INITCOMMONCONTROLSEX controls = {sizeof(controls),
                                     0xFF | ICC_INTERNET_CLASSES | ICC_LINK_CLASS};
    InitCommonControlsEx(&controls);
}

CWindowWatch::CWindowWatch(std::wstring windowClass, std::wstring caption,
                           std::function<void(HWND)> action)
    : m_class(std::move(windowClass)), m_caption(std::move(caption)), m_action(std::move(action)) {
    g_watches.push_back(this);
    if (g_timer == 0) {
        g_timer = SetTimer(nullptr, 0, 20, OfferWindows);
    }
}

CWindowWatch::~CWindowWatch() {
    g_watches.erase(std::remove(g_watches.begin(), g_watches.end(), this), g_watches.end());
    if (g_watches.empty() && g_timer != 0) {
        KillTimer(nullptr, g_timer);
        g_timer = 0;
    }
}

void CWindowWatch::Offer(HWND hWnd) {
    if (m_seen || !IsWindowVisible(hWnd) || ClassOf(hWnd) != m_class) {
        return;
    }
    if (!m_caption.empty() && TextOf(hWnd) != m_caption) {
        return;
    }
    m_seen = true;
    m_action(hWnd);
}

CMessageBoxWatch::CMessageBoxWatch()
    : m_watch(L"#32770", AppName(), [this](HWND box) {
          m_text = StaticTexts(box);
          PostClick(box, IDOK);
      }) {}

bool PumpUntil(const std::function<bool()>& done, int timeoutMs) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > static_cast<DWORD>(timeoutMs)) {
            return done();
        }
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return true;
}

void PumpFor(int ms) {
    PumpUntil([]() { return false; }, ms);
}

void PostClick(HWND dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

std::wstring TextOf(HWND hWnd) {
    return GetWindowTextString(hWnd);
}

std::wstring ItemText(HWND dialog, int id) {
    return TextOf(GetDlgItem(dialog, id));
}

std::wstring StaticTexts(HWND hWnd) {
    std::vector<HWND> children;
    EnumChildWindows(hWnd, CollectChild, reinterpret_cast<LPARAM>(&children));
    std::wstring text;
    for (HWND child : children) {
        if (ClassOf(child) == L"Static" && !TextOf(child).empty()) {
            text += (text.empty() ? L"" : L"\n") + TextOf(child);
        }
    }
    return text;
}

void SetIp(HWND dialog, int id, uint32_t address) {
    SendDlgItemMessageW(dialog, id, IPM_SETADDRESS, 0, static_cast<LPARAM>(address));
}

uint32_t GetIp(HWND dialog, int id) {
    DWORD address = 0;
    SendDlgItemMessageW(dialog, id, IPM_GETADDRESS, 0, reinterpret_cast<LPARAM>(&address));
    return address;
}

std::vector<HWND> IpFields(HWND dialog, int id) {
    std::vector<HWND> fields;
    EnumChildWindows(GetDlgItem(dialog, id), CollectChild, reinterpret_cast<LPARAM>(&fields));
    std::sort(fields.begin(), fields.end(), [](HWND a, HWND b) {
        RECT ra = {};
        RECT rb = {};
        GetWindowRect(a, &ra);
        GetWindowRect(b, &rb);
        return ra.left < rb.left;
    });
    return fields;
}

void TypeText(HWND control, const std::wstring& text) {
    SetFocus(control);
    for (wchar_t c : text) {
        SendMessageW(GetFocus(), WM_CHAR, c, 1);
    }
}

uint32_t Ip(int a, int b, int c, int d) {
    return (static_cast<uint32_t>(a) << 24) | (static_cast<uint32_t>(b) << 16) |
           (static_cast<uint32_t>(c) << 8) | static_cast<uint32_t>(d);
}
