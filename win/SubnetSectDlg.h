#pragma once

#include "Dialog.h"

#include <cstdint>

// "Network Segment": the range of an Exact Search, shown as last saved and saved on OK when it
// is ordered and holds at most 257 addresses.
class CSubnetSectDlg : public CDialog {
public:
    CSubnetSectDlg();

    uint32_t m_beginIp = 0;
    uint32_t m_endIp = 0;

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
};
