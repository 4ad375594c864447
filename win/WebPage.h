#pragma once

#include <windows.h>

#include <string>

// Opens a page in the default browser; when no browser starts, says so in a message box over
// the owner (string 137 with the address) and returns false.
bool OpenWebPage(HWND owner, const std::wstring& url);
