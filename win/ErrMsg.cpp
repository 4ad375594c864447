#include "ErrMsg.h"

#include "front/front_strings.h"
#include "win_text.h"

void ShowMessage(HWND owner, const std::wstring& text) {
    MessageBoxW(owner, text.c_str(), AppName().c_str(), MB_OK | MB_ICONEXCLAMATION);
}

void ShowErrMsg(HWND owner, int code) {
    ShowMessage(owner, FromUtf8(GetErrMsg(code)));
}
