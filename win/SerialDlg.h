#pragma once

#include "Dialog.h"

#include <string>

// "Serial Code": the code with which a device's password is restored; any text is taken.
class CSerialDlg : public CDialog {
public:
    CSerialDlg();
    ~CSerialDlg() override;

    std::wstring m_serialCode;

protected:
    void OnOK() override;
};
