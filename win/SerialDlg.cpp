#include "SerialDlg.h"

#include "resource.h"
#include "win_text.h"

CSerialDlg::CSerialDlg() : CDialog(IDD_SERIAL) {}

CSerialDlg::~CSerialDlg() {
    WipeWideText(&m_serialCode);
}

void CSerialDlg::OnOK() {
    m_serialCode = GetWindowTextString(Item(IDC_SERIAL_CODE));
    SetWindowTextW(Item(IDC_SERIAL_CODE), L"");
    End(IDOK);
}
