// Pending configuration requests and the conversion of device results.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "mc/mc_message_table.h"

namespace {

using Clock = std::chrono::steady_clock;

const uint32_t kDevice = 0xC6120014u;  // 198.18.0.20, host byte order

TEST(MessageTable, AnswerBeforeTheWaitIsKept) {
    // The entry exists before the request leaves, so an instant answer is not lost.
    CMessageTable table;
    ASSERT_EQ(table.Register(10001, "0012abcdef01", kDevice), 0);
    table.CompleteResponse(10001, "0012abcdef01", kDevice, 11004);
    int result = -1;
    const auto start = Clock::now();
    EXPECT_EQ(table.WaitResponse(10001, 10000, &result), 0);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(result, 11004);
    EXPECT_EQ(table.Size(), 0u);
}

TEST(MessageTable, AnswerDuringTheWaitWakesTheWaiter) {
    CMessageTable table;
    ASSERT_EQ(table.Register(7, "mac", 0), 0);
    std::thread answer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        table.CompleteResponse(7, "mac", kDevice, 0);
    });
    int result = -1;
    EXPECT_EQ(table.WaitResponse(7, 10000, &result), 0);
    EXPECT_EQ(result, 0);
    answer.join();
    EXPECT_EQ(table.Size(), 0u);
}

TEST(MessageTable, MismatchesLeaveTheRequestToTimeOut) {
    struct Case {
        int32_t msgSeq;
        const char* deviceId;
        uint32_t source;
    };
    const Case cases[] = {
        {10002, "0012abcdef01", kDevice},  // another number
        {10001, "0012ABCDEF01", kDevice},  // device id compares case-sensitively
        {10001, "0012abcdef0", kDevice},   // and by length
        {10001, "", kDevice},
        {10001, "0012abcdef01", kDevice + 1},  // not from the device the request went to
    };
    for (const Case& c : cases) {
        CMessageTable table;
        ASSERT_EQ(table.Register(10001, "0012abcdef01", kDevice), 0);
        table.CompleteResponse(c.msgSeq, c.deviceId, c.source, 0);
        int result = -1;
        EXPECT_EQ(table.WaitResponse(10001, 100, &result), 10009) << c.deviceId;
        EXPECT_EQ(result, -1);
        EXPECT_EQ(table.Size(), 0u);
    }
}

TEST(MessageTable, LateAnswerAndUnknownNumbersChangeNothing) {
    CMessageTable table;
    table.CompleteResponse(5, "x", 0, 0);  // nothing pending
    EXPECT_EQ(table.Size(), 0u);
    int result = 0;
    EXPECT_EQ(table.WaitResponse(5, 10, &result), 10008);
    EXPECT_EQ(table.WaitResponse(5, 10, nullptr), 10001);

    ASSERT_EQ(table.Register(5, "x", 0), 0);
    EXPECT_EQ(table.Register(5, "y", 0), 10007);
    EXPECT_EQ(table.WaitResponse(5, 10, &result), 10009);
    table.CompleteResponse(5, "x", 0, 0);  // after the waiter gave up
    EXPECT_EQ(table.Size(), 0u);
}

TEST(MessageTable, ConcurrentRequestsGetTheirOwnAnswers) {
    CMessageTable table;
    const int count = 16;
    std::vector<std::thread> waiters;
    std::vector<int> results(count, -1);
    std::vector<int> codes(count, -1);
    for (int i = 0; i < count; ++i) {
        ASSERT_EQ(table.Register(100 + i, "dev" + std::to_string(i), 0), 0);
    }
    for (int i = 0; i < count; ++i) {
        waiters.emplace_back(
            [&, i] { codes[i] = table.WaitResponse(100 + i, 10000, &results[i]); });
    }
    for (int i = count - 1; i >= 0; --i) {
        table.CompleteResponse(100 + i, "dev" + std::to_string(i), kDevice, 11001 + i % 5);
    }
    for (auto& waiter : waiters) {
        waiter.join();
    }
    for (int i = 0; i < count; ++i) {
        EXPECT_EQ(codes[i], 0);
        EXPECT_EQ(results[i], 11001 + i % 5);
    }
    EXPECT_EQ(table.Size(), 0u);
}

TEST(ConvertResult, DeviceResultsToResultCodes) {
    const int cases[][2] = {{256, 0},     {258, 11001}, {259, 11002}, {260, 11003},
                            {261, 11004}, {262, 11005}, {257, 10000}, {0, 10000},
                            {255, 10000}, {263, 10000}, {-1, 10000}};
    for (const auto& c : cases) {
        EXPECT_EQ(ConvertResult(c[0]), c[1]) << c[0];
    }
}

}  // namespace
