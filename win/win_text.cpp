#include "win_text.h"

#include "common/common_charset.h"
#include "common/common_secret.h"
#include "front/front_strings.h"

#include <vector>

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 in wchar_t");

namespace {

std::wstring FromU16(const std::u16string& text) {
    return std::wstring(text.begin(), text.end());
}

}  // namespace

std::wstring Widen(const std::string& narrow) {
    return FromU16(ConvertToWString(CHARSET_ANSI, narrow.c_str()));
}

std::string Narrow(const std::wstring& wide) {
    return ConvertToString(CHARSET_UNICODE, CHARSET_ANSI, wide.c_str());
}

std::wstring FromUtf8(const char* pText) {
    return FromU16(ConvertToWString(CHARSET_UTF8, pText));
}

std::wstring LoadResString(int id) {
    return FromUtf8(LoadResText(id));
}

std::wstring GetWindowTextString(HWND hWnd) {
    const int length = GetWindowTextLengthW(hWnd);
    std::vector<wchar_t> text(static_cast<size_t>(length) + 1);
    const int copied = GetWindowTextW(hWnd, text.data(), length + 1);
    std::wstring result(text.data(), static_cast<size_t>(copied > 0 ? copied : 0));
    // The text may be a password: the scratch copy does not outlive the call.
    WipeBytes(text.data(), text.size() * sizeof(wchar_t));
    return result;
}

const std::wstring& AppName() {
    static const std::wstring name = []() {
        wchar_t path[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, path, MAX_PATH);
        std::wstring base(path);
        const size_t slash = base.find_last_of(L"\\/");
        if (slash != std::wstring::npos) {
            base.erase(0, slash + 1);
        }
        const size_t dot = base.find_last_of(L'.');
        if (dot != std::wstring::npos) {
            base.erase(dot);
        }
        return base;
    }();
    return name;
}

void WipeWideText(std::wstring* pText) {
    if (pText == nullptr || pText->empty()) {
        return;
    }
    WipeBytes(&(*pText)[0], pText->size() * sizeof(wchar_t));
    pText->clear();
}
