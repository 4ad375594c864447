#include "ScoutcamApp.h"

#include "ErrMsg.h"
#include "ScoutcamDlg.h"
#include "common/common_log.h"
#include "front/front_log.h"
#include "mc/mc_client.h"

#include <QCoreApplication>
#include <QFileInfo>

bool CScoutcamApp::InitInstance() {
    StartProgramLog();

    // Settings live under Korvane/<program name>.
    QCoreApplication::setOrganizationName(QStringLiteral("Korvane"));
    QCoreApplication::setApplicationName(
        QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName());

    IDiscoveryClient* pClient = GetDiscoveryClient();
    if (pClient == nullptr) {
        ShowMessage(nullptr, LoadResString(IDS_STARTUP_FAILED));
        return false;
    }
    CScoutcamDlg dlg(pClient);
    dlg.exec();
    return false;
}

int CScoutcamApp::ExitInstance() {
    GetLogThread()->StopLog();
    return 0;
}
