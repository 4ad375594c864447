// Repetition of a search for lossy links: the delays between copies and the thread that sends
// them (nothing goes on a network here).

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "mc_repeat.h"

namespace {

using std::chrono::milliseconds;

// SOAP-over-UDP: the first delay is drawn from 50..250 ms, every further one doubles, capped at
// 500 ms; one copy means no delay at all.
TEST(RepeatDelays, FollowTheRetransmissionRule) {
    std::mt19937 random(12345);
    int lowest = 1000;
    int highest = 0;
    for (int draw = 0; draw < 2000; ++draw) {
        const int copies = 1 + draw % 5;
        const std::vector<int> delays = RepeatDelays(copies, random);
        ASSERT_EQ(delays.size(), static_cast<size_t>(copies - 1));
        for (size_t i = 0; i < delays.size(); ++i) {
            if (i == 0) {
                ASSERT_GE(delays[0], 50);
                ASSERT_LE(delays[0], 250);
                lowest = std::min(lowest, delays[0]);
                highest = std::max(highest, delays[0]);
            } else {
                ASSERT_EQ(delays[i], std::min(2 * delays[i - 1], 500)) << i;
            }
        }
    }
    // Drawn, not fixed: the whole span is used.
    EXPECT_LT(lowest, 60);
    EXPECT_GT(highest, 240);
}

// Counts the copies sent and lets the test wait for a number of them.
class CSends {
public:
    void Send() {
        std::lock_guard<std::mutex> guard(m_lock);
        ++m_count;
        m_event.notify_all();
    }
    int WaitFor(int count, int timeoutMs) {
        std::unique_lock<std::mutex> lock(m_lock);
        m_event.wait_for(lock, milliseconds(timeoutMs), [&] { return m_count >= count; });
        return m_count;
    }

private:
    std::mutex m_lock;
    std::condition_variable m_event;
    int m_count = 0;
};

// The last copy of five is due at most 1.75 s after the first.
const int kLastCopyMs = 250 + 500 + 500 + 500;

TEST(Repeater, SendsEachFurtherCopyOnceAndNoMore) {
    CSends sends;
    CRepeater repeater;
    ASSERT_EQ(repeater.Schedule(3, [&sends] { sends.Send(); }), 0);
    EXPECT_EQ(sends.WaitFor(2, 10000), 2);
    EXPECT_EQ(sends.WaitFor(3, kLastCopyMs), 2);
}

// A later search drops what an earlier one still had due (also a search without repeats),
// and nothing is sent once Stop has returned.
TEST(Repeater, ALaterScheduleOrStopDropsWhatIsStillDue) {
    CSends first;
    CSends second;
    CRepeater repeater;
    ASSERT_EQ(repeater.Schedule(5, [&first] { first.Send(); }), 0);
    ASSERT_EQ(first.WaitFor(1, 10000), 1);
    ASSERT_EQ(repeater.Schedule(1, [&second] { second.Send(); }), 0);
    const int firstAtReplace = first.WaitFor(0, 0);
    std::this_thread::sleep_for(milliseconds(kLastCopyMs));
    EXPECT_LE(first.WaitFor(0, 0), firstAtReplace + 1);  // at most the one under way
    EXPECT_EQ(second.WaitFor(0, 0), 0);

    ASSERT_EQ(repeater.Schedule(5, [&second] { second.Send(); }), 0);
    ASSERT_EQ(second.WaitFor(1, 10000), 1);
    repeater.Stop();
    const int secondAtStop = second.WaitFor(0, 0);
    std::this_thread::sleep_for(milliseconds(kLastCopyMs));
    EXPECT_EQ(second.WaitFor(0, 0), secondAtStop);

    // A stopped repeater schedules nothing.
    EXPECT_EQ(repeater.Schedule(2, [&second] { second.Send(); }), 0);
    std::this_thread::sleep_for(milliseconds(300));
    EXPECT_EQ(second.WaitFor(0, 0), secondAtStop);
}

}  // namespace
