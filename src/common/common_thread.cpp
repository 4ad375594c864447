#include "common/common_thread.h"

#include <atomic>
#include <chrono>
#include <system_error>

#include "common/common_error.h"
#include "common/common_log.h"

void CMessageQueue::Open() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_messages.clear();
    m_open = true;
}

std::deque<ThreadMessage> CMessageQueue::Close() {
    std::deque<ThreadMessage> rest;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_open = false;
        rest.swap(m_messages);
    }
    m_cond.notify_all();
    return rest;
}

bool CMessageQueue::Post(const ThreadMessage& msg) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_open) {
            return false;
        }
        m_messages.push_back(msg);
    }
    m_cond.notify_one();
    return true;
}

bool CMessageQueue::Get(ThreadMessage& msg) {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_cond.wait(lock, [this] { return !m_open || !m_messages.empty(); });
    if (!m_open) {
        return false;
    }
    msg = m_messages.front();
    m_messages.pop_front();
    return true;
}

CThreadBase::~CThreadBase() {
    // Does not stop the thread. A thread that has ended but was never stopped is reaped here;
    // one still running (a misuse by the owner) is let go rather than ending the process.
    if (m_hThread) {
        std::shared_ptr<CThreadControl> pControl = m_hThread;
        std::unique_lock<std::mutex> lock(pControl->mutex);
        if (pControl->ended) {
            ReapEnded(lock);
        } else if (pControl->thread.joinable()) {
            pControl->thread.detach();
        }
    }
    m_hThread.reset();
    m_threadId = 0;
}

int CThreadBase::Init(void* /*pParam*/) {
    return RESULT_OK;
}

void CThreadBase::Uninit() {}

// Joins a thread whose Run has returned and forgets it; the lock is on its control block.
void CThreadBase::ReapEnded(std::unique_lock<std::mutex>& lock) {
    std::shared_ptr<CThreadControl> pControl = m_hThread;
    std::thread thread = std::move(pControl->thread);
    m_lastExitCode = pControl->exitCode;
    m_hasExitCode = true;
    lock.unlock();
    if (thread.joinable()) {
        thread.join();
    }
    m_hThread.reset();
    m_threadId = 0;
}

int CThreadBase::Start() {
    static std::atomic<uint32_t> s_nextThreadId{1};

    if (m_hThread) {
        std::unique_lock<std::mutex> lock(m_hThread->mutex);
        if (!m_hThread->ended) {
            LOG_ERROR("thread(id:%u) already running", m_threadId);
            return ERR_ALREADY_EXISTS;
        }
        ReapEnded(lock);
    }

    auto pControl = std::make_shared<CThreadControl>();
    // The new thread takes this lock before it touches the control block, so it cannot end
    // (and perhaps delete this object) before the members below are set.
    std::lock_guard<std::mutex> lock(pControl->mutex);
    // The queue takes posts from here on, so a quit request right after Start is not lost.
    m_queue.Open();
    try {
        pControl->thread = std::thread(&CThreadBase::ThreadStartRoutine, this, pControl);
    } catch (const std::system_error& e) {
        m_queue.Close();
        LOG_ERROR("create thread failed(errorcode:%d)", e.code().value());
        return ERR_SYSTEM;
    }
    m_hThread = pControl;
    m_threadId = s_nextThreadId.fetch_add(1);
    m_hasExitCode = false;
    return RESULT_OK;
}

void CThreadBase::ThreadStartRoutine(CThreadBase* pSelf, std::shared_ptr<CThreadControl> pControl) {
    {
        std::lock_guard<std::mutex> lock(pControl->mutex);
        pControl->started = true;
    }
    pControl->cond.notify_all();

    int exitCode = pSelf->Run();
    pSelf->m_queue.Close();  // a Run that queues owned pointers frees them before it returns

    bool deleteSelf = false;
    {
        std::lock_guard<std::mutex> lock(pControl->mutex);
        deleteSelf = pControl->abandoned || pSelf->m_bAutoDelete != 0;
        if (!pControl->abandoned) {
            pControl->exitCode = exitCode;
        }
        if (deleteSelf && pControl->thread.joinable()) {
            pControl->thread.detach();  // nobody will join a thread that deletes its owner
        }
        pControl->ended = true;
    }
    pControl->cond.notify_all();
    if (deleteSelf) {
        delete pSelf;
    }
}

int CThreadBase::Stop() {
    if (!m_hThread) {
        return RESULT_OK;
    }
    std::shared_ptr<CThreadControl> pControl = m_hThread;
    PostMessage(THREAD_MSG_QUIT, 0, 0);  // refused once the thread has ended: nothing to do

    std::unique_lock<std::mutex> lock(pControl->mutex);
    bool ended = pControl->cond.wait_for(lock, std::chrono::milliseconds(STOP_WAIT_MS),
                                         [&pControl] { return pControl->ended; });
    if (ended) {
        ReapEnded(lock);
        return RESULT_OK;
    }

    // The thread ignores the quit request. Killing it could leave locks held or memory half
    // written, so it runs on, detached, and deletes this object when its Run returns.
    uint32_t threadId = m_threadId;
    m_lastExitCode = ERR_SYSTEM;
    m_hasExitCode = true;
    m_hThread.reset();
    m_threadId = 0;
    pControl->abandoned = true;
    pControl->thread.detach();
    lock.unlock();  // from here on the object may be gone
    LOG_ERROR("thread(id:%u) did not end within %u ms, left running", threadId, STOP_WAIT_MS);
    return ERR_TIMEOUT;
}

int CThreadBase::PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    ThreadMessage msg;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    return m_queue.Post(msg) ? RESULT_OK : ERR_SYSTEM;
}

bool CThreadBase::WaitForStart(unsigned timeoutMs) {
    if (!m_hThread) {
        return false;
    }
    std::shared_ptr<CThreadControl> pControl = m_hThread;
    std::unique_lock<std::mutex> lock(pControl->mutex);
    return pControl->cond.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                   [&pControl] { return pControl->started; });
}

bool CThreadBase::GetExitCode(int* pExitCode) {
    if (pExitCode == nullptr) {
        LOG_ERROR("invalid param, pExitCode is null");
        return false;
    }
    if (m_hThread) {
        std::lock_guard<std::mutex> lock(m_hThread->mutex);
        if (!m_hThread->ended) {
            return false;
        }
        *pExitCode = m_hThread->exitCode;
        return true;
    }
    if (!m_hasExitCode) {
        return false;
    }
    *pExitCode = m_lastExitCode;
    return true;
}
