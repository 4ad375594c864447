// Device records and the observer registry.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "mc/mc_observer.h"

namespace {

// Writes the order of delivery into a shared log.
class CRecorder : public IObserver<CDiscoveryBean> {
public:
    CRecorder(int id, std::vector<int>* pOrder) : m_id(id), m_pOrder(pOrder) {}
    void Update(const CDiscoveryBean* pData) override {
        m_pOrder->push_back(m_id);
        m_last = *pData;
    }
    CDiscoveryBean m_last;

private:
    int m_id;
    std::vector<int>* m_pOrder;
};

TEST(DiscoveryBean, DefaultsAndEqualityCoverAllSixMembers) {
    const CDiscoveryBean base;
    EXPECT_EQ(base.m_ipAddr, "0.0.0.0");
    EXPECT_TRUE(base.m_hardware.empty() && base.m_serialNo.empty() && base.m_version.empty() &&
                base.m_macAddr.empty());
    EXPECT_EQ(base.m_foreign, 0);

    std::vector<CDiscoveryBean> variants(6, base);
    variants[0].m_ipAddr = "10.0.0.7";
    variants[1].m_hardware = "IPC";
    variants[2].m_serialNo = "S1";
    variants[3].m_version = "V1";
    variants[4].m_macAddr = "0012abcdef01";
    variants[5].m_foreign = 1;
    for (const CDiscoveryBean& variant : variants) {
        EXPECT_FALSE(variant == base);
        EXPECT_TRUE(variant != base);
        CDiscoveryBean copy(variant);
        EXPECT_TRUE(copy == variant);
        copy = base;
        EXPECT_TRUE(copy == base);
    }
    // Texts compare byte for byte, embedded zero bytes and lengths included.
    CDiscoveryBean a;
    CDiscoveryBean b;
    a.m_serialNo = std::string("AB\0C", 4);
    b.m_serialNo = std::string("AB\0D", 4);
    EXPECT_FALSE(a == b);
    b.m_serialNo = "AB";
    EXPECT_FALSE(a == b);
}

TEST(Subject, AttachAndDetachResults) {
    std::vector<int> order;
    CRecorder observer(1, &order);
    CSubject<CDiscoveryBean> subject;
    const CDiscoveryBean record;

    EXPECT_EQ(subject.Attach(nullptr), 10001);
    EXPECT_EQ(subject.Detach(nullptr), 10001);
    EXPECT_EQ(subject.Detach(&observer), 10008);
    EXPECT_EQ(subject.Attach(&observer), 0);
    EXPECT_EQ(subject.Attach(&observer), 10006);
    subject.Notify(&record);
    EXPECT_EQ(order, std::vector<int>({1}));  // once, although attached twice

    EXPECT_EQ(subject.Detach(&observer), 0);
    EXPECT_EQ(subject.Detach(&observer), 10008);
    subject.Notify(&record);
    EXPECT_EQ(order.size(), 1u);

    EXPECT_EQ(subject.Attach(&observer), 0);
    subject.DetachAll();
    subject.Notify(&record);
    EXPECT_EQ(order.size(), 1u);
    EXPECT_EQ(subject.Attach(&observer), 0);  // DetachAll really removed it
}

TEST(Subject, DeliversInAttachOrderAndCopiesNothing) {
    std::vector<int> order;
    CRecorder first(1, &order);
    CRecorder second(2, &order);
    CRecorder third(3, &order);
    CSubject<CDiscoveryBean> subject;
    ASSERT_EQ(subject.Attach(&second), 0);
    ASSERT_EQ(subject.Attach(&first), 0);
    ASSERT_EQ(subject.Attach(&third), 0);
    ASSERT_EQ(subject.Detach(&first), 0);
    ASSERT_EQ(subject.Attach(&first), 0);

    CDiscoveryBean record;
    record.m_serialNo = "SN-1";
    subject.Notify(&record);
    record.m_serialNo = "SN-2";
    subject.Notify(&record);
    EXPECT_EQ(order, std::vector<int>({2, 3, 1, 2, 3, 1}));
    EXPECT_EQ(first.m_last.m_serialNo, "SN-2");
}

// An observer that notes whether it was called after its Detach had returned.
class CLateCheck : public IObserver<CDiscoveryBean> {
public:
    void Update(const CDiscoveryBean*) override {
        m_inside.store(true);
        if (m_detached.load()) {
            m_late.store(true);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        m_calls.fetch_add(1);
        m_inside.store(false);
    }
    std::atomic<bool> m_inside{false};
    std::atomic<bool> m_detached{false};
    std::atomic<bool> m_late{false};
    std::atomic<int> m_calls{0};
};

TEST(Subject, NoDeliveryAfterDetachReturns) {
    for (int round = 0; round < 20; ++round) {
        CSubject<CDiscoveryBean> subject;
        CLateCheck observer;
        ASSERT_EQ(subject.Attach(&observer), 0);
        std::atomic<bool> stop{false};
        std::thread notifier([&] {
            const CDiscoveryBean record;
            while (!stop.load()) {
                subject.Notify(&record);
            }
        });
        // Detach while an Update is running, so Detach has to wait for it.
        while (!observer.m_inside.load()) {
            std::this_thread::yield();
        }
        ASSERT_EQ(subject.Detach(&observer), 0);
        observer.m_detached.store(true);
        EXPECT_FALSE(observer.m_inside.load());
        const int calls = observer.m_calls.load();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        stop.store(true);
        notifier.join();
        EXPECT_FALSE(observer.m_late.load());
        EXPECT_EQ(observer.m_calls.load(), calls);
    }
}

}  // namespace
