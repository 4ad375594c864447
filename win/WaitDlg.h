#pragma once

// The wait window: one line of centred text without caption or border, over the main window,
// which takes no input while it is up. The user cannot close it; CloseWait does.
// It runs on the window thread as a modeless dialog: the searches and the device commands
// both show it from there, while the blocking requests run on workers.

#include <windows.h>

#include <string>

void ShowWait(HWND owner, const std::wstring& text);
void CloseWait();
// The wait window shown now; null when none.
HWND CurrentWait();
