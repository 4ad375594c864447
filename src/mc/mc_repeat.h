#pragma once

// Repetition of a search's datagrams for lossy links, as SOAP-over-UDP repeats a multicast
// message: the same datagrams again after a random delay of 50 to 250 ms, each further delay
// twice the one before, at most 500 ms. The first copy is the caller's; later copies go from
// a thread of the repeater's own, so that no caller waits for them.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

// The delays in milliseconds before copies 2..copies, each counted from the copy before it.
std::vector<int> RepeatDelays(int copies, std::mt19937& random);

class CRepeater {
public:
    CRepeater();
    ~CRepeater();
    CRepeater(const CRepeater&) = delete;
    CRepeater& operator=(const CRepeater&) = delete;

    // Runs send again at the delays of RepeatDelays(copies) after now, on the repeater's
    // thread (started when first needed); what an earlier call still had pending is dropped,
    // also by a call with one copy. 0; 10002 when the thread cannot start; nothing is
    // scheduled once Stop has run.
    int Schedule(int copies, const std::function<void()>& send);
    // Drops what is pending and ends the thread. The client's socket outlives it.
    void Stop();

private:
    void Run();

    std::mutex m_lock;
    std::condition_variable m_event;
    std::mt19937 m_random;
    std::function<void()> m_send;
    std::deque<std::chrono::steady_clock::time_point> m_due;
    bool m_stop = false;
    std::thread m_thread;
};
