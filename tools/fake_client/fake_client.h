#pragma once

// A discovery client that sends nothing, for the front ends' tests, benchmarks and the
// screenshot tool. It records the calls it gets, hands records to the attached observer from
// a thread of its own as the real client's discovery thread does, and answers configuration
// requests with a result of the caller's choice.

#include <condition_variable>
#include <istream>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "mc/mc_client.h"

class CFakeClient : public IDiscoveryClient {
public:
    // What a configuration request carried; its secrets in plain strings, for comparing.
    struct Request {
        int kind = 0;  // 1: address change, 2: password restore
        uint32_t target = 0;
        std::string userName;
        std::string authCode;
        DeviceIdentity device;
        DeviceAddress newAddr;
        std::string serialCode;
    };

    int Attach(IObserver<CDiscoveryBean>* pObserver) override;
    int Detach(IObserver<CDiscoveryBean>* pObserver) override;
    // Both record the call and then deliver the fleet, whatever was probed: the front end
    // keeps what it asked for.
    int ExactSearch(uint32_t begin, uint32_t end) override;
    int Search(uint32_t address) override;
    // Records the count; the fake sends nothing, so it repeats nothing.
    int SetSearchRepeat(int copies) override;
    int SetDeviceAddr(uint32_t address, const UserInfo& user, const DeviceIdentity& device,
                      const DeviceAddress& newAddr) override;
    int SetDefaultPasswd(uint32_t address, const DeviceIdentity& device,
                         const CSecretText& serialCode) override;
    int WaitReady(int timeoutMs) override;
    int Stop() override;

    // The records that every search finds; none unless set.
    void SetFleet(const std::vector<CDiscoveryBean>& fleet);
    // Delivers the records to the attached observer from another thread, one after another,
    // and returns when they are all delivered.
    void Deliver(const std::vector<CDiscoveryBean>& records);

    // Requests wait for Release while held.
    void Hold();
    void Release();
    // The result of the configuration requests (0 unless set).
    void SetResult(int result);
    // What WaitReady returns (0 unless set).
    void SetReadyResult(int result);

    std::vector<Request> Requests();
    bool RequestWaiting();
    // (begin, end) of each search; (address, address) for Search.
    std::vector<std::pair<uint32_t, uint32_t>> Searches();
    int ExactCalls();
    // The last count given to SetSearchRepeat (1 unless set).
    int SearchCopies();
    bool Attached();
    bool Stopped();

private:
    int Answer(Request&& r);

    std::mutex m_lock;
    std::condition_variable m_event;
    IObserver<CDiscoveryBean>* m_observer = nullptr;
    std::vector<CDiscoveryBean> m_fleet;
    std::vector<std::pair<uint32_t, uint32_t>> m_searches;
    int m_exactCalls = 0;
    int m_searchCopies = 1;
    std::vector<Request> m_requests;
    bool m_held = false;
    bool m_waiting = false;
    bool m_stopped = false;
    int m_result = 0;
    int m_readyResult = 0;
};

// Device i of a large test fleet: its own address (10.0.x.y), serial number and MAC text.
CDiscoveryBean NumberedDevice(int i);

// A record as a device of type "IPC-1", firmware "V1", would send it.
CDiscoveryBean FakeDevice(const char* pIp, const char* pSerial, const char* pMac = "0012abcdef01");

// The fleet of camsim's list in CSV (a header, then ip,model,name,serial,mac,version,...),
// as records; lines of fewer fields are skipped.
std::vector<CDiscoveryBean> ReadFleetCsv(std::istream& in);
