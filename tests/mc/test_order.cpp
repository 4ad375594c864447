// Arrival order for answers parsed on several threads: outcomes reach the handler one at a time,
// in ticket order, whichever thread completed them (nothing goes on a network here).

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "mc_order.h"

namespace {

// An outcome that carries its ticket, and a handler that records the tickets it is given and
// whether two calls ever overlapped.
AnswerOutcome Marked(uint64_t ticket) {
    AnswerOutcome outcome;
    outcome.msgSeq = static_cast<int32_t>(ticket);
    return outcome;
}

class CHanded {
public:
    void operator()(const AnswerOutcome& outcome) {
        if (m_inside.fetch_add(1) != 0) {
            m_overlapped = true;
        }
        tickets.push_back(outcome.msgSeq);
        std::this_thread::yield();
        m_inside.fetch_sub(1);
    }
    bool Overlapped() const { return m_overlapped.load(); }
    std::vector<int32_t> tickets;

private:
    std::atomic<int> m_inside{0};
    std::atomic<bool> m_overlapped{false};
};

std::vector<int32_t> Range(int32_t count) {
    std::vector<int32_t> tickets;
    for (int32_t i = 0; i < count; ++i) {
        tickets.push_back(i);
    }
    return tickets;
}

TEST(ArrivalOrder, LaterTicketsWaitForEarlierOnes) {
    CHanded handed;
    CArrivalOrder order([&handed](const AnswerOutcome& outcome) { handed(outcome); });
    order.Complete(2, Marked(2));
    order.Complete(1, Marked(1));
    EXPECT_TRUE(handed.tickets.empty());
    order.Complete(0, Marked(0));  // hands on 0, then the waiting 1 and 2
    EXPECT_EQ(handed.tickets, Range(3));
    order.Complete(4, Marked(4));
    order.Complete(3, Marked(3));
    EXPECT_EQ(handed.tickets, Range(5));
}

// Several threads take tickets as parsing threads take datagrams, and finish them in any order.
TEST(ArrivalOrder, ThreadsCompletingAtOnceHandOnEveryTicketInOrder) {
    const int kThreads = 4;
    const int32_t kTickets = 20000;
    CHanded handed;
    CArrivalOrder order([&handed](const AnswerOutcome& outcome) { handed(outcome); });
    std::atomic<uint64_t> nextTicket{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (uint64_t ticket = nextTicket++; ticket < static_cast<uint64_t>(kTickets);
                 ticket = nextTicket++) {
                if (ticket % 7 == 0) {
                    std::this_thread::yield();  // a slower datagram
                }
                order.Complete(ticket, Marked(ticket));
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(handed.tickets, Range(kTickets));
    EXPECT_FALSE(handed.Overlapped());
}

// A thread that runs a whole window ahead waits for the ticket holding the others up.
TEST(ArrivalOrder, ThreadFarAheadWaitsForTheOthers) {
    CHanded handed;
    CArrivalOrder order([&handed](const AnswerOutcome& outcome) { handed(outcome); });
    std::atomic<bool> returned{false};
    std::thread ahead([&] {
        order.Complete(kOrderWindow, Marked(kOrderWindow));
        returned = true;
    });
    for (uint64_t ticket = 1; ticket < kOrderWindow; ++ticket) {
        order.Complete(ticket, Marked(ticket));  // within the window: returns at once
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(returned.load());
    order.Complete(0, Marked(0));
    ahead.join();
    EXPECT_EQ(handed.tickets, Range(static_cast<int32_t>(kOrderWindow) + 1));
}

}  // namespace
