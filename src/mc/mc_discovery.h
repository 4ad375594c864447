#pragma once

// The discovery client's implementation, internal to src/mc: the front ends reach it through
// mc_client.h. It finds devices by probe, hands each device record to its observers, and sends
// the two configuration requests. No SOAP toolkit type appears here.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "common/common_thread.h"
#include "mc_answer.h"
#include "mc_client.h"
#include "mc_message_table.h"
#include "mc_net.h"
#include "mc_observer.h"
#include "mc_repeat.h"
#include "mc_receive.h"

struct OutgoingPacket;

class CArrivalOrder;

class CDiscoveryThread : public IDiscoveryClient, public CThreadBase {
public:
    // The single client; the first call creates it and starts its thread.
    static CDiscoveryThread* GetInstance();

    int Attach(IObserver<CDiscoveryBean>* pObserver) override {
        return m_subject.Attach(pObserver);
    }
    int Detach(IObserver<CDiscoveryBean>* pObserver) override {
        return m_subject.Detach(pObserver);
    }

    int ExactSearch(uint32_t begin, uint32_t end) override;
    int Search(uint32_t address) override;
    int SetSearchRepeat(int copies) override;
    int SetDeviceAddr(uint32_t address, const UserInfo& user, const DeviceIdentity& device,
                      const DeviceAddress& newAddr) override;
    int SetDefaultPasswd(uint32_t address, const DeviceIdentity& device,
                         const CSecretText& serialCode) override;
    int WaitReady(int timeoutMs) override;
    // Detaches every observer and ends the thread (both bases' Stop).
    int Stop() override;

    // Hands on what one datagram gave: its records to the observers, its configuration answer
    // to the pending request. The parsing threads call it one datagram at a time, in arrival
    // order.
    void Deliver(const AnswerOutcome& outcome);

    // The client port, once the thread has chosen it (3702 before).
    uint16_t GetPort() const { return m_port.load(); }
    const std::string& GetUuid() const { return m_uuid; }
    CMessageTable& Messages() { return m_messages; }
    // What the receive thread did with the datagrams it read.
    const ReceiveCounters& Received() const { return m_received; }
    // For measurements only: the receive buffer as the kernel reports it, set before Start
    // (0, the default: the client's own 2 MiB request).
    void SetReceiveBufferForMeasurement(int reportedBytes) { m_receiveBuffer = reportedBytes; }

    CDiscoveryThread();
    ~CDiscoveryThread() override;
    CDiscoveryThread(const CDiscoveryThread&) = delete;
    CDiscoveryThread& operator=(const CDiscoveryThread&) = delete;

    int Run() override;

private:
    class CSocketUse;
    void Publish(SocketHandle socket, int state);
    void ServeLoop(CReceiveThread* pReceiver);
    void ParseLoop(CReceiveThread* pReceiver, CArrivalOrder* pOrder);
    void WaitForStop();
    int Configure(uint32_t address, const OutgoingPacket& packet, int32_t msgSeq,
                  const std::string& deviceId);
    // One round of a search: sendRound gets the socket.
    bool SendRound(const std::function<void(SocketHandle)>& sendRound);
    void SendSearch(const std::function<void(SocketHandle)>& sendRound);

    CNetworkUse m_network;  // first in, last out: sockets work while the client lives
    CSubject<CDiscoveryBean> m_subject;
    std::atomic<int> m_stop{0};
    std::atomic<int64_t> m_urgentUntil{0};  // the receive thread's urgency deadline
    std::atomic<int32_t> m_msgSeq{10000};
    std::atomic<uint16_t> m_port{3702};
    std::string m_uuid;
    CMessageTable m_messages;
    ReceiveCounters m_received;
    int m_receiveBuffer = 0;

    // The receive endpoint's socket, through which every request also leaves: a sending
    // operation holds m_socketLock while it sends, and the thread closes the socket under it.
    // m_state: 0 before the bind, 1 bound, 2 the bind failed.
    std::mutex m_socketLock;
    std::condition_variable m_readyEvent;
    int m_state = 0;
    SocketHandle m_socket = kNoSocket;
    CWakeEvent m_wake;  // wakes both threads for Stop

    // Copies of each search's round, and the thread that sends all but the first.
    std::atomic<int> m_searchCopies{1};
    CRepeater m_repeater;
};
