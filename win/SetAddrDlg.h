#pragma once

#include "Dialog.h"

#include <cstdint>
#include <string>

// "Edit Network Address": a device's new address, mask and gateway and its administrator
// password. OK closes it only when the three addresses are consistent; editing the address
// sets the mask that goes with it.
class CSetAddrDlg : public CDialog {
public:
    CSetAddrDlg();
    ~CSetAddrDlg() override;

    uint32_t m_ip = 0;
    uint32_t m_mask = 0;
    uint32_t m_gateway = 0;
    std::wstring m_password;

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void ReadControls();
    void WriteControls();

    bool m_closing = false;  // OK has confirmed the members
};
