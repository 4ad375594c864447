#pragma once

// Text at the window's boundary: the records' narrow text (system code page) and the string
// table's UTF-8 become the UTF-16 of the window's controls, and back.

#include <windows.h>

#include <string>

std::wstring Widen(const std::string& narrow);
std::string Narrow(const std::wstring& wide);
std::wstring FromUtf8(const char* pText);
// The string table's text under an id; empty for an id that holds none.
std::wstring LoadResString(int id);
// A control's or window's text.
std::wstring GetWindowTextString(HWND hWnd);
// The program's name: its file name without extension. It names the settings key and is the
// caption of its message boxes.
const std::wstring& AppName();
// Overwrites a text's characters where they are (a password, a serial code), then empties it.
void WipeWideText(std::wstring* pText);
