#pragma once

// A dialog from a resource template, run modally (DoModal) or shown modeless (Create, for the
// wait window and the tests). The class of the dialog handles its messages in OnMessage and
// its OK and Cancel in OnOK and OnCancel.

#include <windows.h>

class CDialog {
public:
    explicit CDialog(int templateId) : m_templateId(templateId) {}
    virtual ~CDialog();
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // IDOK, IDCANCEL, or -1 when the dialog could not be created.
    INT_PTR DoModal(HWND owner);
    // The dialog shown modeless; null when it could not be created.
    HWND Create(HWND owner);
    HWND Handle() const { return m_hWnd; }
    // How the dialog ended: IDOK, IDCANCEL, or 0 while it runs.
    INT_PTR Result() const { return m_result; }

protected:
    // After the controls are created; TRUE lets the system give the focus.
    virtual BOOL OnInitDialog() { return TRUE; }
    virtual void OnOK() { End(IDOK); }
    virtual void OnCancel() { End(IDCANCEL); }
    // Every other message; TRUE when handled (a result goes through SetResult).
    virtual INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // Ends a modal run with that result, or destroys the modeless dialog.
    void End(INT_PTR result);
    // The value a handled message returns to its sender (WM_NOTIFY answers).
    void SetResult(LONG_PTR value);
    HWND Item(int id) const { return GetDlgItem(m_hWnd, id); }

    HWND m_hWnd = nullptr;

private:
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

    int m_templateId;
    bool m_modal = false;
    INT_PTR m_result = 0;
};
