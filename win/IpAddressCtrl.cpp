#include "IpAddressCtrl.h"

#include <commctrl.h>

uint32_t GetIpAddress(HWND dialog, int id) {
    DWORD address = 0;
    SendDlgItemMessageW(dialog, id, IPM_GETADDRESS, 0, reinterpret_cast<LPARAM>(&address));
    return address;
}

void SetIpAddress(HWND dialog, int id, uint32_t address) {
    SendDlgItemMessageW(dialog, id, IPM_SETADDRESS, 0, static_cast<LPARAM>(address));
}
