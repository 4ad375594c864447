#include "front/front_log.h"

#include <string>

#include "common/common_error.h"
#include "common/common_log.h"

int StartProgramLog() {
    CLogThread* pLog = GetLogThread();
    pLog->m_sysLog.SetLevel(LEVEL_DEBUG);
    // Without a safe temporary directory the log stays closed; the program runs on.
    std::string dir;
    if (GetUserTempDir(dir) == RESULT_OK) {
        pLog->m_sysLog.SetLogDir(dir.c_str());
    }
    return pLog->StartLog();
}
