#include "mc_order.h"

#include <utility>

CArrivalOrder::CArrivalOrder(std::function<void(const AnswerOutcome&)> handler)
    : m_handler(std::move(handler)) {}

void CArrivalOrder::Complete(uint64_t ticket, AnswerOutcome&& outcome) {
    std::unique_lock<std::mutex> lock(m_lock);
    m_room.wait(lock, [this, ticket] { return ticket < m_next + kOrderWindow; });
    m_waiting.emplace(ticket, std::move(outcome));
    if (m_handing) {
        return;  // the handing thread finds it once the tickets before it are out
    }
    m_handing = true;
    for (auto next = m_waiting.find(m_next); next != m_waiting.end();
         next = m_waiting.find(m_next)) {
        const AnswerOutcome current = std::move(next->second);
        m_waiting.erase(next);
        lock.unlock();
        m_handler(current);
        lock.lock();
        ++m_next;
        m_room.notify_all();
    }
    m_handing = false;
}
