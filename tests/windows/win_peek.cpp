// Reads a window of another program under Wine, for the LAN test of scoutcam.exe, which drives
// it with X key and mouse events:
//   win_peek.exe CAPTION ID    the text of control ID of the visible window with that caption
//   win_peek.exe CAPTION ID rect   the control's place on the screen: left top right bottom
//   win_peek.exe CAPTION       the texts of its static controls (a message box's text)
// Prints UTF-8; exit status 1 when there is no such window or control.

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

std::string Utf8(const std::wstring& text) {
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size > 0 ? size : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], size, nullptr, nullptr);
    out.resize(out.size() - 1);
    return out;
}

std::wstring TextOf(HWND hWnd) {
    wchar_t text[512] = {};
    GetWindowTextW(hWnd, text, 512);
    return text;
}

struct Search {
    const wchar_t* pCaption;
    HWND found;
};

BOOL CALLBACK FindVisible(HWND hWnd, LPARAM param) {
    auto* pSearch = reinterpret_cast<Search*>(param);
    if (IsWindowVisible(hWnd) && TextOf(hWnd) == pSearch->pCaption) {
        pSearch->found = hWnd;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK PrintStatic(HWND hWnd, LPARAM) {
    wchar_t name[32] = {};
    GetClassNameW(hWnd, name, 32);
    if (std::wcscmp(name, L"Static") == 0 && !TextOf(hWnd).empty()) {
        std::printf("%s\n", Utf8(TextOf(hWnd)).c_str());
    }
    return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2 || argc > 4) {
        std::fprintf(stderr, "usage: win_peek.exe CAPTION [ID [rect]]\n");
        return 2;
    }
    Search search = {argv[1], nullptr};
    EnumWindows(FindVisible, reinterpret_cast<LPARAM>(&search));
    if (search.found == nullptr) {
        return 1;
    }
    if (argc == 2) {
        EnumChildWindows(search.found, PrintStatic, 0);
        return 0;
    }
    HWND item = GetDlgItem(search.found, static_cast<int>(std::wcstol(argv[2], nullptr, 10)));
    if (item == nullptr) {
        return 1;
    }
    if (argc == 4) {
        RECT rect = {};
        GetWindowRect(item, &rect);
        std::printf("%ld %ld %ld %ld\n", rect.left, rect.top, rect.right, rect.bottom);
        return 0;
    }
    std::printf("%s\n", Utf8(TextOf(item)).c_str());
    return 0;
}
