#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "common/common_error.h"
#include "common/common_thread.h"

namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Serves its queue until the quit request, then returns the number of user messages taken.
class CQueueThread : public CThreadBase {
public:
    int Run() override {
        int taken = 0;
        ThreadMessage msg;
        while (GetMessage(msg)) {
            if (msg.message == THREAD_MSG_QUIT) {
                return 100 + taken;
            }
            ++taken;
        }
        return -1;
    }
};

// Returns a fixed code at once.
class CShortThread : public CThreadBase {
public:
    CShortThread(int result, std::promise<void>* pDestroyed = nullptr)
        : m_result(result), m_pDestroyed(pDestroyed) {}
    ~CShortThread() override {
        if (m_pDestroyed != nullptr) {
            m_pDestroyed->set_value();
        }
    }
    int Run() override { return m_result; }

private:
    int m_result;
    std::promise<void>* m_pDestroyed;
};

// Ignores the quit request: runs until the test opens its gate.
class CStubbornThread : public CThreadBase {
public:
    CStubbornThread(std::shared_future<void> gate, std::promise<void>* pDestroyed)
        : m_gate(std::move(gate)), m_pDestroyed(pDestroyed) {}
    ~CStubbornThread() override { m_pDestroyed->set_value(); }
    int Run() override {
        m_gate.wait();
        return 5;
    }

private:
    std::shared_future<void> m_gate;
    std::promise<void>* m_pDestroyed;
};

bool WaitForExitCode(CThreadBase& thread, int* pCode) {
    for (int i = 0; i < 500; ++i) {
        if (thread.GetExitCode(pCode)) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

TEST(ThreadBaseTest, QueueTakesPostsOnlyWhileTheThreadRuns) {
    CQueueThread thread;
    int code = 0;
    EXPECT_EQ(ERR_SYSTEM, thread.PostMessage(THREAD_MSG_USER, 0, 0));
    EXPECT_FALSE(thread.GetExitCode(&code));
    EXPECT_EQ(RESULT_OK, thread.Stop()) << "nothing to stop";

    ASSERT_EQ(RESULT_OK, thread.Start());
    ASSERT_TRUE(thread.WaitForStart(5000));
    EXPECT_NE(0u, thread.GetThreadId());
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(RESULT_OK, thread.PostMessage(THREAD_MSG_USER + i, 0, i));
    }
    EXPECT_EQ(RESULT_OK, thread.Stop());  // the quit request is taken behind the three
    ASSERT_TRUE(thread.GetExitCode(&code));
    EXPECT_EQ(103, code);
    EXPECT_EQ(0u, thread.GetThreadId());
    EXPECT_EQ(ERR_SYSTEM, thread.PostMessage(THREAD_MSG_USER, 0, 0));
}

TEST(ThreadBaseTest, ExitCodeIsWhatRunReturned) {
    for (int result : {0, 7, static_cast<int>(ERR_INVALID_PARAM), -3}) {
        CShortThread thread(result);
        ASSERT_EQ(RESULT_OK, thread.Start());
        int code = 12345;
        ASSERT_TRUE(WaitForExitCode(thread, &code));
        EXPECT_EQ(result, code);

        // Stop after the thread ended by itself: nothing to wait for.
        Clock::time_point start = Clock::now();
        EXPECT_EQ(RESULT_OK, thread.Stop());
        EXPECT_LT(MsSince(start), 2500);
        ASSERT_TRUE(thread.GetExitCode(&code));
        EXPECT_EQ(result, code);
    }
}

TEST(ThreadBaseTest, StartsAgainOnlyOnceTheThreadEnded) {
    CQueueThread thread;
    ASSERT_EQ(RESULT_OK, thread.Start());
    EXPECT_EQ(ERR_ALREADY_EXISTS, thread.Start());
    ASSERT_EQ(RESULT_OK, thread.Stop());
    ASSERT_EQ(RESULT_OK, thread.Start());
    ASSERT_TRUE(thread.WaitForStart(5000));
    ASSERT_EQ(RESULT_OK, thread.PostMessage(THREAD_MSG_USER, 0, 0));
    ASSERT_EQ(RESULT_OK, thread.Stop());
    int code = 0;
    ASSERT_TRUE(thread.GetExitCode(&code));
    EXPECT_EQ(101, code);
}

TEST(ThreadBaseTest, EndedThreadIsReapedByTheDestructor) {
    std::promise<void> destroyed;
    auto* pThread = new CShortThread(1, &destroyed);
    ASSERT_EQ(RESULT_OK, pThread->Start());
    int code = 0;
    ASSERT_TRUE(WaitForExitCode(*pThread, &code));
    delete pThread;  // never stopped: joined here, not left to std::terminate
    EXPECT_EQ(std::future_status::ready, destroyed.get_future().wait_for(std::chrono::seconds(0)));
}

TEST(ThreadBaseTest, AutoDeleteThreadDeletesItself) {
    std::promise<void> destroyed;
    std::future<void> done = destroyed.get_future();
    auto* pThread = new CShortThread(0, &destroyed);
    pThread->m_bAutoDelete = 1;
    ASSERT_EQ(RESULT_OK, pThread->Start());
    EXPECT_EQ(std::future_status::ready, done.wait_for(std::chrono::seconds(30)));
}

TEST(ThreadBaseTest, StopGivesUpOnAThreadThatIgnoresTheQuitRequest) {
    std::promise<void> gate;
    std::promise<void> destroyed;
    std::future<void> done = destroyed.get_future();
    auto* pThread = new CStubbornThread(gate.get_future().share(), &destroyed);
    ASSERT_EQ(RESULT_OK, pThread->Start());

    Clock::time_point start = Clock::now();
    EXPECT_EQ(ERR_TIMEOUT, pThread->Stop());
    long long waited = MsSince(start);
    EXPECT_GE(waited, 4900);
    EXPECT_LT(waited, 60000);
    int code = 0;
    ASSERT_TRUE(pThread->GetExitCode(&code));  // still safe: Run waits for the gate
    EXPECT_EQ(ERR_SYSTEM, code);

    // The thread runs on and owns the object now; it deletes it once Run returns.
    gate.set_value();
    EXPECT_EQ(std::future_status::ready, done.wait_for(std::chrono::seconds(30)));
}

TEST(ScopedLockTest, HoldsTheLockForItsLifetime) {
    std::recursive_mutex lock;
    {
        CScopedLock guard(&lock);
        std::thread other([&lock] { EXPECT_FALSE(lock.try_lock()); });
        other.join();
    }
    std::thread other([&lock] {
        EXPECT_TRUE(lock.try_lock());
        lock.unlock();
    });
    other.join();
}

}  // namespace
