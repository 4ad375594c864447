#pragma once

// A discovery client that sends nothing: it records the window's calls, hands records to the
// attached observer from a thread of its own as the real client's discovery thread does, and
// answers configuration requests with a result the test chooses.

#include "DeviceClient.h"

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

class CFakeClient : public IDeviceClient {
public:
    struct Request {
        int kind = 0;  // 1: address change, 2: password restore
        uint32_t target = 0;
        UserInfo user;
        DeviceIdentity device;
        DeviceAddress newAddr;
        std::string serialCode;
    };

    int Attach(IObserver<CDiscoveryBean>* pObserver) override {
        std::lock_guard<std::mutex> guard(m_lock);
        m_observer = pObserver;
        return 0;
    }
    int Detach(IObserver<CDiscoveryBean>* pObserver) override {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_observer != pObserver) {
            return 10008;
        }
        m_observer = nullptr;
        return 0;
    }
    int Search(uint32_t address) override {
        std::lock_guard<std::mutex> guard(m_lock);
        m_searches.push_back({address, address});
        return 0;
    }
    int ExactSearch(uint32_t begin, uint32_t end) override {
        std::lock_guard<std::mutex> guard(m_lock);
        m_searches.push_back({begin, end});
        m_exactCalls++;
        return 0;
    }
    int SetDeviceAddr(uint32_t address, const UserInfo& user, const DeviceIdentity& device,
                      const DeviceAddress& newAddr) override {
        Request r;
        r.kind = 1;
        r.target = address;
        r.user = user;
        r.device = device;
        r.newAddr = newAddr;
        return Answer(r);
    }
    int SetDefaultPasswd(uint32_t address, const DeviceIdentity& device,
                         const std::string& serialCode) override {
        Request r;
        r.kind = 2;
        r.target = address;
        r.device = device;
        r.serialCode = serialCode;
        return Answer(r);
    }

    // Delivers the records to the attached observer, from another thread, one after another.
    void Deliver(const std::vector<CDiscoveryBean>& records) {
        std::thread discovery([this, records]() {
            for (const CDiscoveryBean& record : records) {
                std::lock_guard<std::mutex> guard(m_lock);  // held over Update, as Notify does
                if (m_observer) {
                    m_observer->Update(&record);
                }
            }
        });
        discovery.join();
    }

    // Requests wait for Release when held.
    void Hold() {
        std::lock_guard<std::mutex> guard(m_lock);
        m_held = true;
    }
    void Release() {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_held = false;
        }
        m_event.notify_all();
    }
    void SetResult(int result) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_result = result;
    }
    std::vector<Request> Requests() {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_requests;
    }
    bool RequestWaiting() {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_waiting;
    }
    std::vector<std::pair<uint32_t, uint32_t>> Searches() {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_searches;
    }
    int ExactCalls() {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_exactCalls;
    }
    bool Attached() {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_observer != nullptr;
    }

private:
    int Answer(const Request& r) {
        std::unique_lock<std::mutex> guard(m_lock);
        m_requests.push_back(r);
        m_waiting = true;
        m_event.wait(guard, [this]() { return !m_held; });
        m_waiting = false;
        return m_result;
    }

    std::mutex m_lock;
    std::condition_variable m_event;
    IObserver<CDiscoveryBean>* m_observer = nullptr;
    std::vector<std::pair<uint32_t, uint32_t>> m_searches;
    int m_exactCalls = 0;
    std::vector<Request> m_requests;
    bool m_held = false;
    bool m_waiting = false;
    int m_result = 0;
};
