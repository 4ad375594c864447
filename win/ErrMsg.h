#pragma once

// Message boxes of the window: the program's name as caption, an OK button and the warning
// icon, modal over the owner.

#include <windows.h>

#include <string>

void ShowMessage(HWND owner, const std::wstring& text);
// The text of a result code (front_strings' table).
void ShowErrMsg(HWND owner, int code);
