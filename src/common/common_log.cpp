#include "common/common_log.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <shared_mutex>
#include <string>

#include "common/common_error.h"
#include "common/common_platform.h"
#include "common/common_util.h"

namespace {

const char* const kLevelText[] = {"NOLOG", "DEBUG", "INFO", "WARN", "ERROR", "FATAL"};
const char* const kTimeFormat = "%04d-%02d-%02d %02d:%02d:%02d.%03d";

// Guards the single object's pointer: WriteLog posts under the shared lock, so the object
// cannot be destroyed under a post. Never destroyed, as threads may report until the end.
std::shared_mutex& LogLock() {
    static auto* pLock = new std::shared_mutex;
    return *pLock;
}

CLogThread* g_pLogThread = nullptr;

}  // namespace

int WriteLog(int level, const char* file, int line, const char* format, ...) {
    auto* pRecord = static_cast<LogRecord*>(malloc(sizeof(LogRecord)));
    if (pRecord == nullptr) {
        return ERR_SYSTEM;
    }
    memset(pRecord, 0, sizeof(LogRecord));
    pRecord->level = level;
    pRecord->line = line;
    const char* pBaseName = GetFileName(file);
    if (pBaseName != nullptr) {
        snprintf(pRecord->file, sizeof(pRecord->file), "%s", pBaseName);
    }
    va_list args;
    va_start(args, format);
    vsnprintf(pRecord->text, sizeof(pRecord->text), format, args);
    va_end(args);

    int result = ERR_SYSTEM;
    {
        std::shared_lock<std::shared_mutex> lock(LogLock());
        if (g_pLogThread != nullptr) {
            result = g_pLogThread->PostRecord(pRecord);
        }
    }
    if (result != RESULT_OK) {
        free(pRecord);
    }
    return result;
}

bool CLogLimit::Pass(int64_t nowMs, unsigned long* pHeld) {
    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_started || nowMs - m_windowStart >= 1000) {
        m_started = true;
        m_windowStart = nowMs;
        m_written = 0;
    }
    if (m_written >= LOG_LIMIT_LINES) {
        ++m_held;
        return false;
    }
    ++m_written;
    *pHeld = m_held;
    m_held = 0;
    return true;
}

int64_t LogClockMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

CLogThread* GetLogThread() {
    std::lock_guard<std::shared_mutex> lock(LogLock());
    if (g_pLogThread == nullptr) {
        g_pLogThread = new (std::nothrow) CLogThread;
    }
    return g_pLogThread;
}

CSysLog::~CSysLog() {
    Close();
}

void CSysLog::SetLogDir(const char* pDir) {
    if (pDir == nullptr) {
        LOG_ERROR("invalid param, pDir is null");
        return;
    }
    if (strcmp(pDir, m_logDir) == 0) {
        return;
    }
    Close();
    if (strlen(pDir) >= sizeof(m_logDir)) {
        // A cut directory would name some other place: the log stays closed instead.
        LOG_ERROR("log dir too long(len:%zu)", strlen(pDir));
        m_logDir[0] = '\0';
        return;
    }
    snprintf(m_logDir, sizeof(m_logDir), "%s", pDir);
    Open();
}

int CSysLog::Open() {
    if (m_hFile != LOG_NO_FILE) {
        return RESULT_OK;
    }
    if (m_logDir[0] == '\0') {
        LOG_ERROR("log dir not set");
        return ERR_IO;
    }
    int len =
        snprintf(m_logPath, sizeof(m_logPath), "%s%cscoutcam.log", m_logDir, kLogPathSeparator);
    if (len < 0 || static_cast<size_t>(len) >= sizeof(m_logPath)) {
        LOG_ERROR("log path too long(len:%d)", len);
        m_logPath[0] = '\0';
        return ERR_IO;
    }
    return OpenLogFile(m_logPath, &m_hFile);
}

void CSysLog::Close() {
    if (m_hFile != LOG_NO_FILE) {
        CloseLogFile(m_hFile);
        m_hFile = LOG_NO_FILE;
    }
}

int CSysLog::Write(int level, const char* pFile, int line, const char* pText) {
    if (static_cast<unsigned>(level) > LEVEL_FATAL) {
        return ERR_INVALID_PARAM;
    }
    if (level < m_level) {
        return RESULT_OK;
    }
    std::string timeText;
    GetLocalTimeString(kTimeFormat, timeText);
    const char* pBaseName = GetFileName(pFile);
    int len = snprintf(m_lineBuf, sizeof(m_lineBuf), "%s [%s] [%s:%d] %s\r\n", timeText.c_str(),
                       kLevelText[level], pBaseName != nullptr ? pBaseName : "", line,
                       pText != nullptr ? pText : "");
    if (len < 0) {
        return ERR_IO;
    }
    if (static_cast<size_t>(len) >= sizeof(m_lineBuf)) {
        len = static_cast<int>(sizeof(m_lineBuf)) - 1;  // the line's first 1,023 bytes
    }

    if (m_hFile == LOG_NO_FILE) {
        return ERR_IO;
    }
    if (LogFileSize(m_hFile) > LOG_FILE_SIZE_LIMIT) {
        Close();
        Open();
        if (m_hFile == LOG_NO_FILE) {
            return ERR_IO;
        }
    }
    return WriteLogFile(m_hFile, m_lineBuf, static_cast<size_t>(len)) ? RESULT_OK : ERR_IO;
}

int CLogThread::StartLog() {
    int result = Start();
    if (result != RESULT_OK) {
        LOG_INFO("start log thread failed");
        return result;
    }
    WaitForStart(1000);
    LOG_INFO("log thread started");
    return RESULT_OK;
}

void CLogThread::StopLog() {
    LOG_INFO("log thread Ended");
    {
        // From here on reports are refused; the line above is the last one written.
        std::lock_guard<std::shared_mutex> lock(LogLock());
        if (g_pLogThread == this) {
            g_pLogThread = nullptr;
        }
    }
    if (Stop() == RESULT_OK) {
        delete this;
    }
    // Otherwise the log thread ignored the quit request and deletes this object itself when
    // its Run returns.
}

int CLogThread::PostRecord(LogRecord* pRecord) {
    if (m_waiting.fetch_add(1) >= LOG_QUEUE_LIMIT) {
        m_waiting.fetch_sub(1);
        m_dropped.fetch_add(1);
        return ERR_SYSTEM;
    }
    const int result = PostMessage(LOG_MSG_RECORD, 0, reinterpret_cast<intptr_t>(pRecord));
    if (result != RESULT_OK) {
        m_waiting.fetch_sub(1);
    }
    return result;
}

// The count of records dropped while the queue was full, written once.
void CLogThread::WriteDropped() {
    const unsigned long dropped = m_dropped.exchange(0);
    if (dropped != 0) {
        char text[LOG_TEXT_SIZE];
        snprintf(text, sizeof(text), "log queue full, %lu records dropped", dropped);
        m_sysLog.Write(LEVEL_WARN, __FILE__, __LINE__, text);
    }
}

int CLogThread::Run() {
    ThreadMessage msg;
    for (;;) {
        if (!GetMessage(msg)) {
            LOG_ERROR("GetMessage failed(errorcode:%d)", ERR_SYSTEM);
            FreeQueued();
            return ERR_SYSTEM;
        }
        if (msg.message == THREAD_MSG_QUIT) {
            LOG_INFO("Log Thread exit normally");
            FreeQueued();
            return RESULT_OK;
        }
        HandleMessage(&msg);
    }
}

// Records posted behind the quit request are never written; they are released here.
void CLogThread::FreeQueued() {
    for (const ThreadMessage& msg : CloseQueue()) {
        if (msg.message == LOG_MSG_RECORD) {
            free(reinterpret_cast<void*>(msg.lParam));
        }
    }
}

void CLogThread::HandleMessage(const ThreadMessage* pMsg) {
    if (pMsg == nullptr) {
        LOG_ERROR("invalid param");
        return;
    }
    if (pMsg->message != LOG_MSG_RECORD) {
        return;  // the log thread has no other messages to serve
    }
    auto* pRecord = reinterpret_cast<LogRecord*>(pMsg->lParam);
    if (pRecord == nullptr) {
        LOG_ERROR("invalid param, message struct error");
        return;
    }
    m_sysLog.Write(pRecord->level, pRecord->file, pRecord->line, pRecord->text);
    free(pRecord);
    m_waiting.fetch_sub(1);
    WriteDropped();
}
