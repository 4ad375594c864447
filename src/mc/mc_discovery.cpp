// The discovery client.
//
// One UDP socket, bound to 0.0.0.0 on the client port, carries everything: the discovery
// thread receives on it, and every request leaves from it. Devices answer to the source
// address and port of a request; on Linux a second socket bound to the same port (with
// address reuse) would take the unicast answers that arrive while it is open, and they would
// be lost when it closes. With a single socket every answer reaches the receive loop,
// however quickly a device answers and however long a range search runs.
//
// A SOAP runtime context is not shareable between threads, so each sending operation has a
// context of its own; its output hook hands each finished datagram to sendmsg on the receive
// socket (sending on one socket from several threads is safe). A datagram for the multicast
// group or the limited broadcast carries its outgoing interface and source address with it
// (IP_PKTINFO), so it really leaves through each interface in turn; unicast datagrams follow
// the routing table.
//
// The receive loop drains the socket into a queue of its own between two parsed messages,
// so the kernel's socket buffer only has to hold what arrives while one message is parsed.

#include "mc/mc_discovery.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <deque>
#include <new>
#include <vector>

#include "common/common_log.h"
#include "common/common_util.h"
#include "mc_answer.h"
#include "mc_net.h"
#include "soap_wire.h"

namespace {

enum PacketType {
    PKT_TYPE_PROBE = 0,
    PKT_TYPE_SET_DEVICE_ADDR = 1,
    PKT_TYPE_SET_DEFAULT_PASSWD = 2,
    PKT_TYPE_SET_DEFAULT_CFG = 3,
    PKT_TYPE_KORVANE_PROBE = 4,
};

const int kReceiveTimeoutMs = 3000;
const int kResponseTimeoutMs = 10000;
const int kReadyTimeoutMs = 5000;
const char kUrnPrefix[] = "urn:uuid:";

// Receive queue: datagrams read per system call, and the most that waits for parsing.
const int kReadBatch = 32;
const size_t kDatagramSize = 65536;
const size_t kQueueLimitBytes = 64 * 1024 * 1024;

enum SocketState { SOCKET_PENDING = 0, SOCKET_BOUND = 1, SOCKET_FAILED = 2 };

std::string Endpoint(uint32_t address) {
    return "soap.udp://" + AddressText(address) + ":" + std::to_string(kDiscoveryPort);
}

// The body element of a packet type, sent by the context to the endpoint (step of every
// send). 0, the toolkit's error, or 10000 for an unknown type.
int SendPacket(struct soap* pSoap, const std::string& endpoint, int type, void* pBody) {
    const char* pEndpoint = endpoint.c_str();
    int rc = ERR_GENERAL;
    switch (type) {
    case PKT_TYPE_PROBE:
        rc = SoapSendProbe(pSoap, pEndpoint, nullptr, static_cast<tns__ProbeType*>(pBody));
        break;
    case PKT_TYPE_KORVANE_PROBE:
        rc = SoapSendKorvaneProbe(pSoap, pEndpoint, nullptr, static_cast<tns__ProbeType*>(pBody));
        break;
    case PKT_TYPE_SET_DEVICE_ADDR:
        rc = SoapSendSetDeviceAddrReq(pSoap, pEndpoint, nullptr,
                                      static_cast<tns__SetDeviceAddrReqType*>(pBody));
        break;
    case PKT_TYPE_SET_DEFAULT_PASSWD:
        rc = SoapSendSetDefaultPasswdReq(pSoap, pEndpoint, nullptr,
                                         static_cast<tns__SetDefaultPasswdReqType*>(pBody));
        break;
    case PKT_TYPE_SET_DEFAULT_CFG:
        rc = SoapSendSetDefaultCfgReq(pSoap, pEndpoint, nullptr,
                                      static_cast<tns__SetDefaultCfgReqType*>(pBody));
        break;
    default:
        LOG_ERROR("unknown packet type(%d)", type);
        return ERR_GENERAL;
    }
    LOG_DEBUG("send packet(pkt_type:%d), soap endpoint:%s", type, pEndpoint);
    return rc;
}

// The runtime context of one sending operation. It carries the request header (MessageID
// "urn:uuid:" + the client id, To the discovery URN), and its output hook sends each
// datagram through the client's socket, through the interface of the current route.
class CSender {
public:
    CSender(int fd, const std::string& uuid) : m_pSoap(soap_new()), m_fd(fd) {
        if (m_pSoap == nullptr) {
            LOG_ERROR("new pSoap failed");
            return;
        }
        SoapInitContext(m_pSoap);
        m_pSoap->user = this;
        m_pSoap->fsend = SendOnRoute;
        const std::string messageId = kUrnPrefix + uuid;
        m_ok = fd >= 0 && SoapAttachRequestHeader(m_pSoap, messageId.c_str(),
                                                  SOAP_WIRE_DISCOVERY_URN, nullptr) == RESULT_OK;
    }
    ~CSender() {
        if (m_pSoap != nullptr) {
            soap_destroy(m_pSoap);
            soap_end(m_pSoap);
            soap_free(m_pSoap);
        }
    }
    CSender(const CSender&) = delete;
    CSender& operator=(const CSender&) = delete;

    // To address:3702, through pInterface when given.
    int Send(int type, void* pBody, uint32_t address, const LocalInterface* pInterface) {
        if (!m_ok) {
            return ERR_GENERAL;
        }
        m_pInterface = pInterface;
        return SendPacket(m_pSoap, Endpoint(address), type, pBody);
    }

private:
    static int SendOnRoute(struct soap* pSoap, const char* pData, size_t size) {
        const CSender* pSelf = static_cast<const CSender*>(pSoap->user);
        if (SendDatagram(pSelf->m_fd, pData, size, pSoap->peer.in, pSelf->m_pInterface) !=
            RESULT_OK) {
            pSoap->errnum = errno;
            return SOAP_EOF;
        }
        return SOAP_OK;
    }

    struct soap* m_pSoap;
    int m_fd;
    const LocalInterface* m_pInterface = nullptr;
    bool m_ok = false;
};

// One datagram to the group or the limited broadcast through every interface.
int SendThroughInterfaces(CSender* pSender, int type, void* pBody, uint32_t address) {
    std::vector<LocalInterface> interfaces;
    const int rc = ListInterfaces(&interfaces);
    if (rc != RESULT_OK) {
        return rc;
    }
    for (const LocalInterface& item : interfaces) {
        pSender->Send(type, pBody, address, &item);
    }
    return RESULT_OK;
}

// Every address from begin to end inclusive, ascending; also ends after 255.255.255.255.
void SendRange(CSender* pSender, int type, void* pBody, uint32_t begin, uint32_t end) {
    for (uint64_t address = begin; address <= end; ++address) {
        pSender->Send(type, pBody, static_cast<uint32_t>(address), nullptr);
    }
}

// Text member of a request record; the toolkit's records take non-const pointers.
char* Text(const std::string& text) {
    return const_cast<char*>(text.c_str());
}

// Reads what is waiting on the socket, one batch, without blocking. false when the socket
// failed.
bool Drain(int fd, std::vector<char>* pBuffer, std::deque<std::string>* pQueue,
           size_t* pQueuedBytes) {
    mmsghdr messages[kReadBatch];
    iovec vectors[kReadBatch];
    for (int i = 0; i < kReadBatch; ++i) {
        vectors[i].iov_base = pBuffer->data() + i * kDatagramSize;
        vectors[i].iov_len = kDatagramSize;
        messages[i] = mmsghdr();
        messages[i].msg_hdr.msg_iov = &vectors[i];
        messages[i].msg_hdr.msg_iovlen = 1;
    }
    const int count = recvmmsg(fd, messages, kReadBatch, MSG_DONTWAIT, nullptr);
    if (count < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
            return true;
        }
        LOG_ERROR("recvmmsg failed(errno:%d)", errno);
        return false;
    }
    for (int i = 0; i < count; ++i) {
        const size_t size = messages[i].msg_len;
        if ((messages[i].msg_hdr.msg_flags & MSG_TRUNC) != 0) {
            LOG_WARN("datagram longer than %lu bytes dropped",
                     static_cast<unsigned long>(kDatagramSize));
            continue;
        }
        if (*pQueuedBytes + size > kQueueLimitBytes) {
            LOG_WARN("receive queue full, datagram(%lu bytes) dropped",
                     static_cast<unsigned long>(size));
            continue;
        }
        pQueue->emplace_back(static_cast<const char*>(vectors[i].iov_base), size);
        *pQueuedBytes += size;
    }
    return true;
}

}  // namespace

// The receive socket held for one sending operation: it stays open, and no other operation
// sends, until the hold ends. fd is -1 when the client has no socket.
class CDiscoveryThread::CSocketUse {
public:
    explicit CSocketUse(CDiscoveryThread* pClient) : m_lock(pClient->m_socketLock) {
        pClient->m_readyEvent.wait_for(m_lock, std::chrono::milliseconds(kReadyTimeoutMs),
                                       [pClient] { return pClient->m_state != SOCKET_PENDING; });
        fd = pClient->m_fd;
        if (fd < 0) {
            LOG_ERROR("no socket to send from(state:%d)", pClient->m_state);
        }
    }
    int fd = -1;

private:
    std::unique_lock<std::mutex> m_lock;
};

CDiscoveryThread::CDiscoveryThread() : m_uuid(CreateUuidString()) {
    m_stopFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_stopFd < 0) {
        LOG_ERROR("eventfd failed(errno:%d)", errno);
    }
}

CDiscoveryThread::~CDiscoveryThread() {
    if (m_stopFd >= 0) {
        close(m_stopFd);
    }
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

void CDiscoveryThread::Publish(int fd, int state) {
    {
        std::lock_guard<std::mutex> guard(m_socketLock);
        m_fd = fd;
        m_state = state;
    }
    m_readyEvent.notify_all();
}

int CDiscoveryThread::Run() {
    uint16_t port = kDiscoveryPort;
    SelectPort(&port);
    m_port.store(port);
    int fd = -1;
    if (BindPlain(port, &fd) != RESULT_OK) {
        Publish(-1, SOCKET_FAILED);
        WaitForStop();
        return 0;
    }
    Publish(fd, SOCKET_BOUND);
    ReceiveLoop(fd);
    // Once no sender holds the socket, it can close.
    Publish(-1, SOCKET_FAILED);
    close(fd);
    return 0;
}

void CDiscoveryThread::WaitForStop() {
    pollfd item = {m_stopFd, POLLIN, 0};
    while (m_stop.load() == 0) {
        poll(&item, m_stopFd >= 0 ? 1 : 0, kReceiveTimeoutMs);
    }
}

void CDiscoveryThread::ReceiveLoop(int fd) {
    struct soap* pSoap = soap_new();
    if (pSoap == nullptr) {
        LOG_ERROR("new pSoap failed");
        WaitForStop();
        return;
    }
    SoapInitContext(pSoap);
    CAnswerHandler handler(this);
    SoapSetAnswerHandler(pSoap, &handler);

    std::vector<char> buffer(kReadBatch * kDatagramSize);
    std::deque<std::string> queue;
    size_t queuedBytes = 0;
    pollfd items[2] = {{fd, POLLIN, 0}, {m_stopFd, POLLIN, 0}};
    while (m_stop.load() == 0) {
        if (queue.empty()) {
            const int ready = poll(items, m_stopFd >= 0 ? 2 : 1, kReceiveTimeoutMs);
            if (ready <= 0) {
                continue;  // time-out (or a signal): look at m_stop again
            }
            if (m_stop.load() != 0) {
                break;
            }
        }
        if (!Drain(fd, &buffer, &queue, &queuedBytes)) {
            WaitForStop();
            break;
        }
        if (queue.empty()) {
            continue;
        }
        const std::string datagram = std::move(queue.front());
        queue.pop_front();
        queuedBytes -= datagram.size();
        SoapServeBuffer(pSoap, datagram.data(), datagram.size());
        soap_destroy(pSoap);
        soap_end(pSoap);
    }
    soap_free(pSoap);
}

int CDiscoveryThread::Stop() {
    m_subject.DetachAll();
    m_stop.store(1);
    if (m_stopFd >= 0) {
        const uint64_t one = 1;
        if (write(m_stopFd, &one, sizeof(one)) < 0) {
            LOG_WARN("wake of the receive loop failed(errno:%d)", errno);
        }
    }
    return CThreadBase::Stop();
}

int CDiscoveryThread::Search(uint32_t address) {
    struct tns__ProbeType stProbe;
    stProbe.tns__Types = const_cast<char*>(SOAP_WIRE_NVT_TYPE);
    CSocketUse socket(this);
    CSender sender(socket.fd, m_uuid);
    if (address != 0) {
        sender.Send(PKT_TYPE_PROBE, &stProbe, address, nullptr);
    } else if (socket.fd >= 0) {
        SendThroughInterfaces(&sender, PKT_TYPE_PROBE, &stProbe, kMulticastGroup);
        SendThroughInterfaces(&sender, PKT_TYPE_KORVANE_PROBE, &stProbe, kLimitedBroadcast);
    }
    return RESULT_OK;
}

int CDiscoveryThread::ExactSearch(uint32_t begin, uint32_t end) {
    struct tns__ProbeType stProbe;
    stProbe.tns__Types = const_cast<char*>(SOAP_WIRE_NVT_TYPE);
    CSocketUse socket(this);
    CSender sender(socket.fd, m_uuid);
    SendRange(&sender, PKT_TYPE_PROBE, &stProbe, begin, end);
    return RESULT_OK;
}

// The operator and device parts that both configuration requests carry; the texts stay
// owned by the caller's strings.
void CDiscoveryThread::FillRequestParts(const UserInfo& user, const DeviceIdentity& device,
                                        int32_t msgSeq, struct tns__OpUserInfo* pstUser,
                                        struct tns__DeviceInfo* pstDevice) const {
    pstUser->tns__UserName = Text(user.m_userName);
    pstUser->tns__AuthCode = Text(user.m_authCode);
    pstUser->tns__UserId = Text(m_uuid);
    pstUser->tns__MsgSeq = static_cast<unsigned int>(msgSeq);
    pstDevice->tns__DeviceSerialNo = Text(device.m_serialNo);
    pstDevice->tns__DeviceId = Text(device.m_deviceId);
}

int CDiscoveryThread::SetDeviceAddr(uint32_t address, const UserInfo& user,
                                    const DeviceIdentity& device, const DeviceAddress& newAddr) {
    const int32_t msgSeq = ++m_msgSeq;
    struct tns__OpUserInfo stUser;
    struct tns__DeviceInfo stDevice;
    FillRequestParts(user, device, msgSeq, &stUser, &stDevice);
    struct tns__DeviceAddrInfo stAddr;
    stAddr.tns__DeviceIpaddr = Text(newAddr.m_ipAddr);
    stAddr.tns__DeviceIpMask = Text(newAddr.m_mask);
    stAddr.tns__DefaultGW = Text(newAddr.m_gateway);
    struct tns__SetDeviceAddrReqType stReq;
    stReq.tns__OpUserInfo = &stUser;
    stReq.tns__DeviceInfo = &stDevice;
    stReq.tns__DeviceAddrInfo = &stAddr;
    return Configure(address, PKT_TYPE_SET_DEVICE_ADDR, &stReq, msgSeq, device.m_deviceId);
}

int CDiscoveryThread::SetDefaultPasswd(uint32_t address, const DeviceIdentity& device,
                                       const std::string& serialCode) {
    const int32_t msgSeq = ++m_msgSeq;
    const UserInfo noUser;  // a password restore names no operator
    struct tns__OpUserInfo stUser;
    struct tns__DeviceInfo stDevice;
    FillRequestParts(noUser, device, msgSeq, &stUser, &stDevice);
    struct tns__SetDefaultPasswdReqType stReq;
    stReq.tns__OpUserInfo = &stUser;
    stReq.tns__DeviceInfo = &stDevice;
    stReq.tns__PasswordAuthCode = Text(serialCode);
    return Configure(address, PKT_TYPE_SET_DEFAULT_PASSWD, &stReq, msgSeq, device.m_deviceId);
}

// Registers the pending entry, sends the request (broadcast through every interface for
// address 0, else unicast) and waits for the device's answer.
int CDiscoveryThread::Configure(uint32_t address, int type, void* pBody, int32_t msgSeq,
                                const std::string& deviceId) {
    int rc = m_messages.Register(msgSeq, deviceId);
    if (rc != RESULT_OK) {
        return rc;
    }
    {
        CSocketUse socket(this);
        if (socket.fd < 0) {
            int ignored = 0;
            m_messages.WaitResponse(msgSeq, 0, &ignored);  // removes the entry
            return ERR_SOCKET_BIND;
        }
        CSender sender(socket.fd, m_uuid);
        if (address == 0) {
            SendThroughInterfaces(&sender, type, pBody, kLimitedBroadcast);
        } else {
            sender.Send(type, pBody, address, nullptr);
        }
    }
    int result = ERR_GENERAL;
    rc = m_messages.WaitResponse(msgSeq, kResponseTimeoutMs, &result);
    return rc == RESULT_OK ? result : ERR_TIMEOUT;
}
