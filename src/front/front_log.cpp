#include "front/front_log.h"

#include <cstdlib>

#include "common/common_log.h"

const char* UserTempDir() {
    const char* pDir = std::getenv("TMPDIR");
    return (pDir != nullptr && *pDir != '\0') ? pDir : "/tmp";
}

int StartProgramLog() {
    CLogThread* pLog = GetLogThread();
    pLog->m_sysLog.SetLevel(LEVEL_DEBUG);
    pLog->m_sysLog.SetLogDir(UserTempDir());
    return pLog->StartLog();
}
