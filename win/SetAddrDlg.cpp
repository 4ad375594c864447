#include "SetAddrDlg.h"

#include "ErrMsg.h"
#include "IpAddressCtrl.h"
#include "front/front_address.h"
#include "resource.h"
#include "win_text.h"

#include <commctrl.h>

CSetAddrDlg::CSetAddrDlg() : CDialog(IDD_SET_ADDR) {}

CSetAddrDlg::~CSetAddrDlg() {
    WipeWideText(&m_password);
}

BOOL CSetAddrDlg::OnInitDialog() {
    WriteControls();
    return TRUE;
}

void CSetAddrDlg::ReadControls() {
    m_ip = GetIpAddress(m_hWnd, IDC_IP);
    m_mask = GetIpAddress(m_hWnd, IDC_MASK);
    m_gateway = GetIpAddress(m_hWnd, IDC_GATEWAY);
    WipeWideText(&m_password);
    m_password = GetWindowTextString(Item(IDC_PASSWORD));
}

void CSetAddrDlg::WriteControls() {
    SetIpAddress(m_hWnd, IDC_IP, m_ip);
    SetIpAddress(m_hWnd, IDC_MASK, m_mask);
    SetIpAddress(m_hWnd, IDC_GATEWAY, m_gateway);
    SetWindowTextW(Item(IDC_PASSWORD), m_password.c_str());
}

void CSetAddrDlg::OnOK() {
    ReadControls();
    const int refusal = CheckNewAddress(m_ip, m_mask, m_gateway);
    if (refusal != 0) {
        ShowMessage(m_hWnd, LoadResString(refusal));
        return;
    }
    // The password lives on in m_password only; the control forgets it.
    SetWindowTextW(Item(IDC_PASSWORD), L"");
    m_closing = true;
    End(IDOK);
}

INT_PTR CSetAddrDlg::OnMessage(UINT message, WPARAM, LPARAM lParam) {
    if (message != WM_NOTIFY) {
        return FALSE;
    }
    const auto* pHeader = reinterpret_cast<const NMHDR*>(lParam);
    if (pHeader->idFrom != IDC_IP || pHeader->code != static_cast<UINT>(IPN_FIELDCHANGED)) {
        return FALSE;
    }
    // The address control also reports a field when it loses the focus as the dialog closes
    // (OK pressed with Enter in the address): the confirmed mask must stay as it was typed.
    if (m_closing) {
        SetResult(0);
        return TRUE;
    }
    // Only the mask is written back: rewriting the address control from inside its own
    // notification would move the caret of the field being typed in.
    m_ip = GetIpAddress(m_hWnd, IDC_IP);
    m_mask = DefaultMaskOf(m_ip);
    SetIpAddress(m_hWnd, IDC_MASK, m_mask);
    SetResult(0);
    return TRUE;
}
