#include "WaitDlg.h"

#include "Dialog.h"
#include "resource.h"

#include <memory>
#include <utility>

namespace {

class CWaitDlg : public CDialog {
public:
    explicit CWaitDlg(std::wstring text) : CDialog(IDD_WAIT), m_text(std::move(text)) {}

protected:
    BOOL OnInitDialog() override {
        SetDlgItemTextW(m_hWnd, IDC_WAIT_TEXT, m_text.c_str());
        return FALSE;
    }
    // Enter and Esc leave it open.
    void OnOK() override {}
    void OnCancel() override {}

private:
    std::wstring m_text;
};

// At most one wait window is up at a time, with the window it disabled.
struct WaitState {
    std::unique_ptr<CWaitDlg> pDialog;
    HWND owner = nullptr;
};
WaitState g_wait;

}  // namespace

void ShowWait(HWND owner, const std::wstring& text) {
    CloseWait();
    g_wait.pDialog.reset(new CWaitDlg(text));
    g_wait.owner = owner;
    HWND hWnd = g_wait.pDialog->Create(owner);
    if (owner != nullptr) {
        EnableWindow(owner, FALSE);
    }
    if (hWnd != nullptr) {
        ShowWindow(hWnd, SW_SHOW);
    }
}

void CloseWait() {
    if (!g_wait.pDialog) {
        return;
    }
    // The owner takes input again before the wait window goes, so that the system hands the
    // activation back to it rather than to another program's window.
    if (g_wait.owner != nullptr) {
        EnableWindow(g_wait.owner, TRUE);
    }
    g_wait.pDialog.reset();
    g_wait.owner = nullptr;
}

HWND CurrentWait() {
    return g_wait.pDialog ? g_wait.pDialog->Handle() : nullptr;
}
