#include "ScoutcamApp.h"

#include "DeviceClient.h"
#include "ErrMsg.h"
#include "ScoutcamDlg.h"
#include "common/common_log.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <cstdlib>

const char* UserTempDir() {
    const char* dir = std::getenv("TMPDIR");
    return (dir && *dir) ? dir : "/tmp";
}

bool CScoutcamApp::InitInstance() {
    CLogThread* pLog = GetLogThread();
    pLog->m_sysLog.SetLevel(LEVEL_DEBUG);
    pLog->m_sysLog.SetLogDir(UserTempDir());
    pLog->StartLog();

    // Settings live under Korvane/<program name>.
    QCoreApplication::setOrganizationName(QStringLiteral("Korvane"));
    QCoreApplication::setApplicationName(
        QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName());

    CDiscoveryThread* pClient = CDiscoveryThread::GetInstance();
    if (pClient == nullptr) {
        ShowMessage(nullptr, LoadResString(IDS_STARTUP_FAILED));
        return false;
    }
    CDiscoveryClientAdapter client(pClient);
    CScoutcamDlg dlg(&client);
    dlg.exec();
    return false;
}

int CScoutcamApp::ExitInstance() {
    GetLogThread()->StopLog();
    return 0;
}
