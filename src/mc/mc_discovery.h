#pragma once

// The discovery client: finds devices by probe, hands each device record to its observers,
// and sends the two configuration requests. No SOAP toolkit or user-interface type appears
// here; the toolkit's records are only named by forward declaration.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include "common/common_thread.h"
#include "mc_message_table.h"
#include "mc_observer.h"

struct soap;
struct tns__ProbeMatchesType;
struct tns__OpUserInfo;
struct tns__DeviceInfo;

// Operator of a configuration request: user name and authentication code.
struct UserInfo {
    std::string m_userName;
    std::string m_authCode;
};

// Target device of a configuration request: serial number and device id (its MAC text).
struct DeviceIdentity {
    std::string m_serialNo;
    std::string m_deviceId;
};

// New network settings, dotted-decimal texts.
struct DeviceAddress {
    std::string m_ipAddr;
    std::string m_mask;
    std::string m_gateway;
};

class IDiscoveryClient {
public:
    virtual ~IDiscoveryClient() = default;
    // Probes every address of the inclusive range [begin, end] (host byte order). Returns 0.
    virtual int ExactSearch(uint32_t begin, uint32_t end) = 0;
    // address 0: multicast probe and vendor broadcast probe through every interface;
    // otherwise one unicast probe to that address (host byte order). Returns 0.
    virtual int Search(uint32_t address) = 0;
    // Turns each probe match into a record and notifies the observers.
    virtual void OnProbeMatches(const tns__ProbeMatchesType* pstProbeMatches) = 0;
};

class CDiscoveryThread : public IDiscoveryClient, public CThreadBase {
public:
    // The single client; the first call creates it and starts its thread.
    static CDiscoveryThread* GetInstance();

    int Attach(IObserver<CDiscoveryBean>* pObserver) { return m_subject.Attach(pObserver); }
    int Detach(IObserver<CDiscoveryBean>* pObserver) { return m_subject.Detach(pObserver); }

    int ExactSearch(uint32_t begin, uint32_t end) override;
    int Search(uint32_t address) override;
    void OnProbeMatches(const tns__ProbeMatchesType* pstProbeMatches) override;

    // address: the device's address in host byte order, or 0 to broadcast through every
    // interface. 0 when the device confirmed, 10009 without a matching answer within
    // 10,000 ms, 11000 when the client has no socket, else the code converted from the
    // device's result.
    int SetDeviceAddr(uint32_t address, const UserInfo& user, const DeviceIdentity& device,
                      const DeviceAddress& newAddr);
    int SetDefaultPasswd(uint32_t address, const DeviceIdentity& device,
                         const std::string& serialCode);

    // Detaches every observer and ends the thread.
    int Stop() override;

    // Waits up to timeoutMs for the thread to bind its receive endpoint: 0 once bound,
    // 11000 when the bind failed, 10009 when the thread has not got that far.
    int WaitReady(int timeoutMs);
    // The client port, once the thread has chosen it (3702 before).
    uint16_t GetPort() const { return m_port.load(); }
    const std::string& GetUuid() const { return m_uuid; }

    // Answer handling on the discovery thread.
    bool CheckSoapSrc(const struct soap* pSoap) const;
    CMessageTable& Messages() { return m_messages; }

    CDiscoveryThread();
    ~CDiscoveryThread() override;
    CDiscoveryThread(const CDiscoveryThread&) = delete;
    CDiscoveryThread& operator=(const CDiscoveryThread&) = delete;

    int Run() override;

private:
    class CSocketUse;
    void Publish(int fd, int state);
    void ReceiveLoop(int fd);
    void WaitForStop();
    void FillRequestParts(const UserInfo& user, const DeviceIdentity& device, int32_t msgSeq,
                          struct tns__OpUserInfo* pstUser, struct tns__DeviceInfo* pstDevice) const;
    int Configure(uint32_t address, int type, void* pBody, int32_t msgSeq,
                  const std::string& deviceId);

    CSubject<CDiscoveryBean> m_subject;
    std::atomic<int> m_stop{0};
    std::atomic<int32_t> m_msgSeq{10000};
    std::atomic<uint16_t> m_port{3702};
    std::string m_uuid;
    CMessageTable m_messages;

    // The receive endpoint's socket, through which every request also leaves: a sending
    // operation holds m_socketLock while it sends, and the thread closes the socket under it.
    // m_state: 0 before the bind, 1 bound, 2 the bind failed.
    std::mutex m_socketLock;
    std::condition_variable m_readyEvent;
    int m_state = 0;
    int m_fd = -1;
    int m_stopFd = -1;  // eventfd that wakes the receive loop for Stop
};
