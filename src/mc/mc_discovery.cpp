// The discovery client.
//
// One UDP socket, bound to 0.0.0.0 on the client port, carries everything: the discovery
// thread receives on it, and every request leaves from it. Devices answer to the source
// address and port of a request; a second socket bound to the same port would take answers
// meant for this one. So the socket is bound once, without address reuse, and no other
// socket (of this process or another user) can join its port; every answer reaches the
// receive loop, however quickly a device answers and however long a range search runs.
//
// Each operation renders its request once (mc_request) and sends the datagram on the receive
// socket, to every destination in turn (sending on one socket from several threads
// is safe). A datagram for the multicast group or the limited broadcast carries its outgoing
// interface and source address with it (IP_PKTINFO), so it really leaves through each
// interface in turn; unicast datagrams follow the routing table. A search can send its
// datagrams again for lossy links (SetSearchRepeat); the repeater (mc_repeat) sends those
// copies from a thread of its own.
//
// A receive thread of its own (mc_receive) empties the socket into a bounded queue. Two threads
// take the datagrams from there and parse them (mc_answer): the discovery thread and a parsing
// thread beside it, as a burst of answers comes in faster than one core parses. What the
// answers give is handed on one answer at a time, in arrival order (mc_order), so observers see
// records in the order their answers came in, one call at a time, as from a single thread.

#include "mc/mc_discovery.h"

#include <chrono>
#include <memory>
#include <new>
#include <system_error>
#include <thread>

#include "common/common_log.h"
#include "common/common_util.h"
#include "mc_net.h"
#include "mc_order.h"
#include "mc_request.h"

namespace {

const int kReceiveTimeoutMs = 3000;
const int kResponseTimeoutMs = 10000;
const int kReadyTimeoutMs = 5000;
// How long the receive thread stays urgent after a search round is sent: the programs' 3-second
// search window, and a second for answers that come late.
const int kUrgentMs = 4000;

enum SocketState { SOCKET_PENDING = 0, SOCKET_BOUND = 1, SOCKET_FAILED = 2 };

}  // namespace

// The receive socket held for one sending operation: it stays open, and no other operation
// sends, until the hold ends. socket is kNoSocket when the client has none.
class CDiscoveryThread::CSocketUse {
public:
    explicit CSocketUse(CDiscoveryThread* pClient) : m_lock(pClient->m_socketLock) {
        pClient->m_readyEvent.wait_for(m_lock, std::chrono::milliseconds(kReadyTimeoutMs),
                                       [pClient] { return pClient->m_state != SOCKET_PENDING; });
        socket = pClient->m_socket;
        if (socket == kNoSocket) {
            LOG_ERROR("no socket to send from(state:%d)", pClient->m_state);
        }
    }
    SocketHandle socket = kNoSocket;

private:
    std::unique_lock<std::mutex> m_lock;
};

CDiscoveryThread::CDiscoveryThread() : m_uuid(CreateUuidString()) {}

CDiscoveryThread::~CDiscoveryThread() {
    m_repeater.Stop();
}

CDiscoveryThread* CDiscoveryThread::GetInstance() {
    static CDiscoveryThread* s_pInstance = [] {
        CDiscoveryThread* pClient = new (std::nothrow) CDiscoveryThread();
        if (pClient == nullptr) {
            LOG_ERROR("new CDiscoveryThread failed");
            return pClient;
        }
        pClient->Init(nullptr);
        pClient->Start();
        return pClient;
    }();
    return s_pInstance;
}

IDiscoveryClient* GetDiscoveryClient() {
    return CDiscoveryThread::GetInstance();
}

int CDiscoveryThread::WaitReady(int timeoutMs) {
    std::unique_lock<std::mutex> lock(m_socketLock);
    m_readyEvent.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                          [this] { return m_state != SOCKET_PENDING; });
    switch (m_state) {
    case SOCKET_BOUND:
        return RESULT_OK;
    case SOCKET_FAILED:
        return ERR_SOCKET_BIND;
    default:
        return ERR_TIMEOUT;
    }
}

void CDiscoveryThread::Publish(SocketHandle socket, int state) {
    {
        std::lock_guard<std::mutex> guard(m_socketLock);
        m_socket = socket;
        m_state = state;
    }
    m_readyEvent.notify_all();
}

int CDiscoveryThread::Run() {
    uint16_t port = kDiscoveryPort;
    SocketHandle socket = kNoSocket;
    if (BindClientSocket(&socket, &port) != RESULT_OK) {
        Publish(kNoSocket, SOCKET_FAILED);
        WaitForStop();
        return 0;
    }
    m_port.store(port);
    if (m_receiveBuffer > 0) {
        SetReceiveBuffer(socket, m_receiveBuffer);
    }
    {
        // Receiving starts before anything can be sent, so that every answer is read with
        // the interface it came in on.
        CReceiveThread receiver(socket, MessageId(m_uuid), &m_stop, &m_wake, &m_urgentUntil,
                                &m_received);
        Publish(socket, SOCKET_BOUND);
        ServeLoop(&receiver);
    }
    // Once no sender holds the socket, it can close.
    Publish(kNoSocket, SOCKET_FAILED);
    CloseSocket(socket);
    return 0;
}

void CDiscoveryThread::WaitForStop() {
    while (m_stop.load() == 0) {
        m_wake.Wait(kReceiveTimeoutMs);
    }
}

// The discovery thread parses beside one more thread; a machine of one core runs both in turn.
void CDiscoveryThread::ServeLoop(CReceiveThread* pReceiver) {
    CArrivalOrder order([this](const AnswerOutcome& outcome) { Deliver(outcome); });
    std::thread parser;
    try {
        parser = std::thread(&CDiscoveryThread::ParseLoop, this, pReceiver, &order);
    } catch (const std::system_error& e) {
        LOG_ERROR("create parsing thread failed(errorcode:%d)", e.code().value());
    }
    ParseLoop(pReceiver, &order);
    if (parser.joinable()) {
        parser.join();
    }
}

// Every datagram taken is completed in the order, also one that gave nothing, so that the
// tickets after it are handed on.
void CDiscoveryThread::ParseLoop(CReceiveThread* pReceiver, CArrivalOrder* pOrder) {
    CAnswerPath answerPath(MessageId(m_uuid));
    ReceivedDatagram datagram;
    AnswerOutcome outcome;
    while (m_stop.load() == 0) {
        if (pReceiver->Pop(&datagram, kReceiveTimeoutMs)) {
            answerPath.Serve(datagram.bytes.data(), datagram.bytes.size(), datagram.arrival,
                             &outcome);
            pOrder->Complete(datagram.ticket, std::move(outcome));
        } else if (pReceiver->Ended()) {
            WaitForStop();  // the socket failed: nothing more comes
        }
    }
}

int CDiscoveryThread::Stop() {
    m_repeater.Stop();
    m_subject.DetachAll();
    m_stop.store(1);
    m_wake.Set();
    return CThreadBase::Stop();
}

// Each request is rendered before the socket is held, and sent to all its destinations. The
// rounds of a search share its datagrams.
int CDiscoveryThread::Search(uint32_t address) {
    auto pProbe = std::make_shared<OutgoingPacket>();
    auto pKorvaneProbe = std::make_shared<OutgoingPacket>();
    if (RenderProbe(m_uuid, pProbe.get()) != RESULT_OK ||
        (address == 0 && RenderKorvaneProbe(m_uuid, pKorvaneProbe.get()) != RESULT_OK)) {
        return RESULT_OK;
    }
    if (address != 0) {
        SendSearch([pProbe, address](SocketHandle socket) {
            SendPacket(socket, *pProbe, address, nullptr);
        });
    } else {
        SendSearch([pProbe, pKorvaneProbe](SocketHandle socket) {
            SendThroughInterfaces(socket, *pProbe, kMulticastGroup);
            SendThroughInterfaces(socket, *pKorvaneProbe, kLimitedBroadcast);
        });
    }
    return RESULT_OK;
}

int CDiscoveryThread::ExactSearch(uint32_t begin, uint32_t end) {
    auto pProbe = std::make_shared<OutgoingPacket>();
    if (RenderProbe(m_uuid, pProbe.get()) != RESULT_OK) {
        return RESULT_OK;
    }
    SendSearch(
        [pProbe, begin, end](SocketHandle socket) { SendRange(socket, *pProbe, begin, end); });
    return RESULT_OK;
}

int CDiscoveryThread::SetSearchRepeat(int copies) {
    if (copies < 1 || copies > kMaxSearchCopies) {
        LOG_ERROR("invalid param(copies:%d)", copies);
        return ERR_INVALID_PARAM;
    }
    m_searchCopies.store(copies);
    return RESULT_OK;
}

// false when the client has no socket (logged by CSocketUse). The receive thread is urgent
// from the first datagram of the round (answers come while a range is still being sent) until
// kUrgentMs after its last.
bool CDiscoveryThread::SendRound(const std::function<void(SocketHandle)>& sendRound) {
    CSocketUse use(this);
    if (use.socket == kNoSocket) {
        return false;
    }
    m_urgentUntil.store(UrgentClockMs() + kUrgentMs);
    sendRound(use.socket);
    m_urgentUntil.store(UrgentClockMs() + kUrgentMs);
    return true;
}

// The first round now; the further copies, if any, from the repeater, which drops those still
// due from an earlier search.
void CDiscoveryThread::SendSearch(const std::function<void(SocketHandle)>& sendRound) {
    if (SendRound(sendRound)) {
        m_repeater.Schedule(m_searchCopies.load(), [this, sendRound] { SendRound(sendRound); });
    }
}

int CDiscoveryThread::SetDeviceAddr(uint32_t address, const UserInfo& user,
                                    const DeviceIdentity& device, const DeviceAddress& newAddr) {
    const int32_t msgSeq = ++m_msgSeq;
    OutgoingPacket request;
    const int rc = RenderSetDeviceAddr(m_uuid, msgSeq, user, device, newAddr, &request);
    return rc == RESULT_OK ? Configure(address, request, msgSeq, device.m_deviceId) : rc;
}

int CDiscoveryThread::SetDefaultPasswd(uint32_t address, const DeviceIdentity& device,
                                       const CSecretText& serialCode) {
    const int32_t msgSeq = ++m_msgSeq;
    OutgoingPacket request;
    const int rc = RenderSetDefaultPasswd(m_uuid, msgSeq, device, serialCode, &request);
    return rc == RESULT_OK ? Configure(address, request, msgSeq, device.m_deviceId) : rc;
}

// Registers the pending entry, sends the request (broadcast through every interface for
// address 0, else unicast) and waits for the device's answer.
int CDiscoveryThread::Configure(uint32_t address, const OutgoingPacket& packet, int32_t msgSeq,
                                const std::string& deviceId) {
    int rc = m_messages.Register(msgSeq, deviceId, address);
    if (rc != RESULT_OK) {
        return rc;
    }
    {
        CSocketUse use(this);
        if (use.socket == kNoSocket) {
            int ignored = 0;
            m_messages.WaitResponse(msgSeq, 0, &ignored);  // removes the entry
            return ERR_SOCKET_BIND;
        }
        if (address == 0) {
            SendThroughInterfaces(use.socket, packet, kLimitedBroadcast);
        } else {
            SendPacket(use.socket, packet, address, nullptr);
        }
    }
    int result = ERR_GENERAL;
    rc = m_messages.WaitResponse(msgSeq, kResponseTimeoutMs, &result);
    return rc == RESULT_OK ? result : ERR_TIMEOUT;
}

void CDiscoveryThread::Deliver(const AnswerOutcome& outcome) {
    for (const CDiscoveryBean& record : outcome.records) {
        m_subject.Notify(&record);
    }
    if (outcome.completes) {
        m_messages.CompleteResponse(outcome.msgSeq, outcome.deviceId, outcome.source,
                                    outcome.result);
    }
}
