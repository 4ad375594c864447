#include "AboutDlg.h"

#include "WebPage.h"
#include "front/front_about.h"
#include "front/front_strings.h"
#include "resource.h"
#include "win_text.h"

#include <commctrl.h>

#include <string>

CAboutDlg::CAboutDlg() : CDialog(IDD_ABOUTBOX) {}

BOOL CAboutDlg::OnInitDialog() {
    SetDlgItemTextW(m_hWnd, IDC_VERSION, Widen(AboutVersionText()).c_str());
    // The link opens the maker's home page; it is as wide as its text.
    HWND link = Item(IDC_LINK);
    SIZE ideal = {};
    RECT rect = {};
    GetWindowRect(link, &rect);
    const int width = rect.right - rect.left;
    // LM_GETIDEALHEIGHT with a SIZE is the system's LM_GETIDEALSIZE (same message).
    SendMessageW(link, LM_GETIDEALHEIGHT, static_cast<WPARAM>(width),
                 reinterpret_cast<LPARAM>(&ideal));
    if (ideal.cx > 0 && ideal.cy > 0) {
        SetWindowPos(link, nullptr, 0, 0, ideal.cx, ideal.cy,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    AddLinkTip();
    return TRUE;
}

void CAboutDlg::AddLinkTip() {
    HWND tip = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, m_hWnd, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    if (tip == nullptr) {
        return;
    }
    std::wstring text = LoadResString(IDS_HOMEPAGE_TIP);
    TTTOOLINFOW info = {};
    info.cbSize = sizeof(info);
    info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    info.hwnd = m_hWnd;
    info.uId = reinterpret_cast<UINT_PTR>(Item(IDC_LINK));
    info.lpszText = &text[0];
    SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
}

INT_PTR CAboutDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND && LOWORD(wParam) == IDC_VERSION && HIWORD(wParam) == STN_DBLCLK) {
        SetDlgItemTextW(m_hWnd, IDC_BUILD, Widen(BuildStampText()).c_str());
        ShowWindow(Item(IDC_BUILD), SW_SHOW);
        return TRUE;
    }
    if (message == WM_NOTIFY) {
        const auto* pHeader = reinterpret_cast<const NMHDR*>(lParam);
        if (pHeader->idFrom == IDC_LINK && (pHeader->code == static_cast<UINT>(NM_CLICK) ||
                                            pHeader->code == static_cast<UINT>(NM_RETURN))) {
            OpenWebPage(m_hWnd, LoadResString(IDS_HOMEPAGE_URL));
            return TRUE;
        }
    }
    return FALSE;
}
