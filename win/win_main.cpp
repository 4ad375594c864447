// scoutcam.exe: the window of Scoutcam on Windows. It takes no arguments.

#include "ErrMsg.h"
#include "ScoutcamDlg.h"
#include "common/common_log.h"
#include "common/common_util.h"
#include "front/front_log.h"
#include "front/front_strings.h"
#include "win_text.h"

#include <windows.h>

#include <commctrl.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    KeepOutOfCoreFiles();
    // The common controls, with the IP address control and the link of the about box.
    INITCOMMONCONTROLSEX controls = {sizeof(controls),
                                     0xFF | ICC_INTERNET_CLASSES | ICC_LINK_CLASS};
    InitCommonControlsEx(&controls);
    StartProgramLog();
    LOG_INFO("scoutcam started");
    IDiscoveryClient* pClient = GetDiscoveryClient();
    if (pClient == nullptr) {
        ShowMessage(nullptr, LoadResString(IDS_STARTUP_FAILED));
    } else {
        CScoutcamDlg dlg(pClient);
        dlg.DoModal(nullptr);
    }
    GetLogThread()->StopLog();
    return 0;
}
