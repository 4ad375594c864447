#include "mc_repeat.h"

#include <algorithm>
#include <system_error>
#include <utility>

#include "common/common_error.h"
#include "common/common_log.h"

namespace {

// SOAP-over-UDP's UDP_MIN_DELAY, UDP_MAX_DELAY and UDP_UPPER_DELAY.
const int kMinDelayMs = 50;
const int kMaxDelayMs = 250;
const int kUpperDelayMs = 500;

}  // namespace

std::vector<int> RepeatDelays(int copies, std::mt19937& random) {
    std::vector<int> delays;
    int delay = std::uniform_int_distribution<int>(kMinDelayMs, kMaxDelayMs)(random);
    for (int copy = 2; copy <= copies; ++copy) {
        delays.push_back(delay);
        delay = std::min(delay * 2, kUpperDelayMs);
    }
    return delays;
}

CRepeater::CRepeater() : m_random(std::random_device()()) {}

CRepeater::~CRepeater() {
    Stop();
}

int CRepeater::Schedule(int copies, const std::function<void()>& send) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_due.clear();
    if (m_stop || copies < 2) {
        return RESULT_OK;
    }
    if (!m_thread.joinable()) {
        try {
            m_thread = std::thread(&CRepeater::Run, this);
        } catch (const std::system_error& e) {
            LOG_ERROR("create repeat thread failed(errorcode:%d)", e.code().value());
            return ERR_SYSTEM;
        }
    }
    m_send = send;
    auto due = std::chrono::steady_clock::now();
    for (int delay : RepeatDelays(copies, m_random)) {
        due += std::chrono::milliseconds(delay);
        m_due.push_back(due);
    }
    m_event.notify_all();
    return RESULT_OK;
}

void CRepeater::Stop() {
    std::thread thread;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_stop = true;
        m_due.clear();
        thread = std::move(m_thread);
    }
    m_event.notify_all();
    if (thread.joinable()) {
        thread.join();
    }
}

// Sends each copy when it is due, without holding the lock while it sends.
void CRepeater::Run() {
    std::unique_lock<std::mutex> lock(m_lock);
    while (!m_stop) {
        if (m_due.empty()) {
            m_event.wait(lock);
            continue;
        }
        if (std::chrono::steady_clock::now() < m_due.front()) {
            m_event.wait_until(lock, m_due.front());
            continue;
        }
        m_due.pop_front();
        const std::function<void()> send = m_send;
        lock.unlock();
        send();
        lock.lock();
    }
}
