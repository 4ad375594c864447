#pragma once

// The system's IP address control (SysIPAddress32) holds an address in host order, the first
// field in the most significant byte, as the dialogs' members do; a blank field reads as 0.

#include <windows.h>

#include <cstdint>

uint32_t GetIpAddress(HWND dialog, int id);
void SetIpAddress(HWND dialog, int id, uint32_t address);
