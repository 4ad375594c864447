#pragma once

#include "Dialog.h"

// "About Scoutcam": the version, the build's date and time on a double-click on the version,
// and the maker's home page behind a link.
class CAboutDlg : public CDialog {
public:
    CAboutDlg();

protected:
    BOOL OnInitDialog() override;
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void AddLinkTip();
};
