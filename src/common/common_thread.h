#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

// Thread messages: the quit request and the first number free for the system's own messages.
enum ThreadMessageId : uint32_t {
    THREAD_MSG_QUIT = 0x0012,
    THREAD_MSG_USER = 0x0400,
};

struct ThreadMessage {
    uint32_t message = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
};

// First-in-first-out message queue owned by one thread. It accepts posts only while open:
// from the start of its thread until its Run returns.
class CMessageQueue {
public:
    void Open();
    // Closes the queue and hands back what was still queued, so the caller can free it.
    std::deque<ThreadMessage> Close();
    // false when the queue is closed.
    bool Post(const ThreadMessage& msg);
    // Waits while the queue is open and empty; false once it is closed.
    bool Get(ThreadMessage& msg);

private:
    std::mutex m_mutex;
    std::condition_variable m_cond;
    std::deque<ThreadMessage> m_messages;
    bool m_open = false;
};

// State shared by a CThreadBase and the thread it runs, so neither side can pull it away from
// the other: the running thread keeps its own reference until its very last step.
struct CThreadControl {
    std::mutex mutex;
    std::condition_variable cond;
    std::thread thread;      // joined or detached by exactly one side, under mutex
    bool started = false;    // the thread has begun running
    bool ended = false;      // Run returned
    bool abandoned = false;  // Stop gave up waiting; the thread now owns the object
    int exitCode = 0;
};

// Base of the long-running worker threads. A derived class supplies Run.
class CThreadBase {
public:
    static constexpr unsigned STOP_WAIT_MS = 5000;

    CThreadBase() = default;
    CThreadBase(const CThreadBase&) = delete;
    CThreadBase& operator=(const CThreadBase&) = delete;
    virtual ~CThreadBase();

    virtual int Init(void* pParam);
    virtual void Uninit();
    // 0 when the thread was created; 10007 while a thread of this object still runs;
    // 10002 when creation failed.
    virtual int Start();
    // Posts the quit request and waits up to STOP_WAIT_MS for the thread to end.
    // 0: the thread has ended (or none was running).
    // 10009: the thread ignored the request. Linux offers no safe way to kill one thread, so
    //        it is left running and becomes the owner of this object: it deletes the object
    //        when its Run finally returns. The caller must drop its pointer (the object must
    //        have been created with new) and must not touch the object again, except to read
    //        the exit code while it knows Run cannot have returned yet.
    virtual int Stop();
    // Thread body; its result is the thread's exit code.
    virtual int Run() = 0;

    // 0 when posted; 10002 while no thread runs (before Start, or once Run has returned).
    int PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam);
    // Waits until the new thread has begun running; false when that did not happen in time.
    bool WaitForStart(unsigned timeoutMs);
    // Exit code of the last thread once it has ended: what Run returned, or 10002 for a thread
    // that Stop gave up on. false while it runs or when none was started.
    bool GetExitCode(int* pExitCode);
    uint32_t GetThreadId() const { return m_threadId; }

    int m_bAutoDelete = 0;  // non-zero: the thread deletes the object when Run returns

protected:
    // Takes the next message for Run, waiting while there is none; false once the queue closed.
    bool GetMessage(ThreadMessage& msg) { return m_queue.Get(msg); }
    // Closes the thread's queue and hands back the messages nobody will take.
    std::deque<ThreadMessage> CloseQueue() { return m_queue.Close(); }

    std::shared_ptr<CThreadControl> m_hThread;  // null when no thread is known
    uint32_t m_threadId = 0;                    // process-unique number of the thread

private:
    static void ThreadStartRoutine(CThreadBase* pSelf, std::shared_ptr<CThreadControl> pControl);
    void ReapEnded(std::unique_lock<std::mutex>& lock);

    CMessageQueue m_queue;
    int m_lastExitCode = 0;
    bool m_hasExitCode = false;
};

// Holds a lock for the lifetime of the guard. The system uses std::recursive_mutex as its
// critical section; std::lock_guard would do the same job.
class CScopedLock {
public:
    explicit CScopedLock(std::recursive_mutex* pLock) : m_pLock(pLock) { m_pLock->lock(); }
    ~CScopedLock() {
        m_pLock->unlock();
        m_pLock = nullptr;
    }
    CScopedLock(const CScopedLock&) = delete;
    CScopedLock& operator=(const CScopedLock&) = delete;

private:
    std::recursive_mutex* m_pLock;
};
