#include "Dialog.h"

#include "common/common_log.h"

CDialog::~CDialog() {
    if (m_hWnd != nullptr && !m_modal) {
        DestroyWindow(m_hWnd);
    }
}

INT_PTR CDialog::DoModal(HWND owner) {
    m_modal = true;
    m_result = 0;
    const INT_PTR result =
        DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_templateId), owner,
                        DialogProc, reinterpret_cast<LPARAM>(this));
    if (result == -1) {
        LOG_ERROR("DialogBoxParam(%d) failed(%lu)", m_templateId, GetLastError());
    }
    m_hWnd = nullptr;
    return result;
}

HWND CDialog::Create(HWND owner) {
    m_modal = false;
    m_result = 0;
    HWND hWnd = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_templateId), owner,
                                   DialogProc, reinterpret_cast<LPARAM>(this));
    if (hWnd == nullptr) {
        LOG_ERROR("CreateDialogParam(%d) failed(%lu)", m_templateId, GetLastError());
    }
    return hWnd;
}

void CDialog::End(INT_PTR result) {
    m_result = result;
    if (m_modal) {
        EndDialog(m_hWnd, result);
    } else {
        DestroyWindow(m_hWnd);
    }
}

void CDialog::SetResult(LONG_PTR value) {
    SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, value);
}

INT_PTR CDialog::OnMessage(UINT, WPARAM, LPARAM) {
    return FALSE;
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* pDialog = reinterpret_cast<CDialog*>(lParam);
        SetWindowLongPtrW(hWnd, DWLP_USER, lParam);
        pDialog->m_hWnd = hWnd;
        return pDialog->OnInitDialog();
    }
    auto* pDialog = reinterpret_cast<CDialog*>(GetWindowLongPtrW(hWnd, DWLP_USER));
    if (pDialog == nullptr) {
        return FALSE;
    }
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        if (LOWORD(wParam) == IDOK) {
            pDialog->OnOK();
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            pDialog->OnCancel();
            return TRUE;
        }
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hWnd, DWLP_USER, 0);
        pDialog->m_hWnd = nullptr;
        return FALSE;
    }
    return pDialog->OnMessage(message, wParam, lParam);
}
