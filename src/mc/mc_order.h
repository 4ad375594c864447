#pragma once

// Arrival order for answers parsed on several threads. Each datagram taken from the receive
// queue has a ticket (0, 1, 2, ... in arrival order); the thread that parsed it completes the
// ticket with the datagram's outcome, and the outcomes reach the handler one at a time, in
// ticket order, whichever thread parsed them. The thread that completes the next ticket runs
// the handler, for it and for every later ticket already waiting; the others go back to
// parsing at once, so that no thread waits for another to hand on an answer.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>

#include "mc_answer.h"

// Tickets that may wait ahead of the next one to hand on. A thread whose ticket lies further
// ahead waits until the others catch up: a slow datagram (a large envelope parses in a few
// milliseconds) holds up at most this many outcomes, not the whole queue.
const uint64_t kOrderWindow = 256;

class CArrivalOrder {
public:
    // handler: runs for each outcome, on a completing thread, never on two at once.
    explicit CArrivalOrder(std::function<void(const AnswerOutcome&)> handler);
    CArrivalOrder(const CArrivalOrder&) = delete;
    CArrivalOrder& operator=(const CArrivalOrder&) = delete;

    // Hands on the outcome of ticket, now or once the tickets before it are complete. Every
    // ticket from 0 on must be completed once, or the later ones are never handed on.
    void Complete(uint64_t ticket, AnswerOutcome&& outcome);

private:
    const std::function<void(const AnswerOutcome&)> m_handler;
    std::mutex m_lock;
    std::condition_variable m_room;  // the next ticket moved on
    std::map<uint64_t, AnswerOutcome> m_waiting;
    uint64_t m_next = 0;     // the next ticket to hand on
    bool m_handing = false;  // a thread runs the handler
};
