#pragma once

// The client's UDP socket layer: the client socket and its port, datagrams that leave through
// one chosen interface, datagrams read with where they came in, and the wake-up for Stop.
// IPv4 only. What differs between the platforms is in mc_net_posix.cpp (BSD sockets) and
// mc_net_win.cpp (Winsock 2); no system header appears here.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

const uint16_t kDiscoveryPort = 3702;
const int kPortCount = 100;  // client ports 3702..3801
const int kSocketBufferSize = 2 * 1024 * 1024;
const uint32_t kMulticastGroup = 0xEFFFFFFAu;  // 239.255.255.250
const uint32_t kLimitedBroadcast = 0xFFFFFFFFu;
const size_t kDatagramSize = 65536;  // the largest datagram the client reads

// A socket: a file descriptor on Linux, a SOCKET on Windows; both fit, and -1 is none.
using SocketHandle = intptr_t;
const SocketHandle kNoSocket = -1;

struct LocalInterface {
    std::string name;
    unsigned int index = 0;
    uint32_t address = 0;  // host byte order
};

// Where a datagram came in.
struct Arrival {
    char interfaceName[16] = {};  // the receiving interface; empty when unknown
    uint32_t localAddress = 0;    // our address it came in on, host byte order; 0 when unknown
    uint32_t sourceAddress = 0;   // its sender, host byte order
    uint16_t sourcePort = 0;
};

// Sockets can be used while one of these lives (Winsock's start and cleanup on Windows).
class CNetworkUse {
public:
    CNetworkUse();
    ~CNetworkUse();
    CNetworkUse(const CNetworkUse&) = delete;
    CNetworkUse& operator=(const CNetworkUse&) = delete;

private:
    bool m_started = false;
};

// The host's IPv4 addresses of interfaces that are up, in the order the system lists them,
// without loopback.
int ListInterfaces(std::vector<LocalInterface>* pInterfaces);

// The client socket: bound to 0.0.0.0 on the first port of 3702..3801 that a bind without
// address reuse gets (for exclusive use on Windows), so that no other socket can join its
// port and take its answers; each port is bound once and the socket that succeeds is kept.
// 2 MiB buffers (the granted sizes are logged), broadcast allowed and multicast TTL 1.
// 0 with *pSocket and *pPort, or 11000.
int BindClientSocket(SocketHandle* pSocket, uint16_t* pPort);
void CloseSocket(SocketHandle socket);

// Sets the receive buffer to what the system then reports as its size (Linux doubles what
// it is asked for), beyond net.core.rmem_max where the process may. For measurements with
// the buffer a stock system grants; the client keeps its own otherwise.
void SetReceiveBuffer(SocketHandle socket, int reportedBytes);

// One datagram to address:port. With an interface, the datagram leaves through it with the
// interface's address as source (IP_PKTINFO): binding a socket to an interface address does
// not choose the interface of a limited broadcast, this does, for the multicast group too.
// Without one, the routing table decides. 0, or 10005 (logged).
int SendDatagram(SocketHandle socket, const char* pData, size_t size, uint32_t address,
                 uint16_t port, const LocalInterface* pInterface);

// Dotted-decimal text of a host-order address.
std::string AddressText(uint32_t address);

// A wake-up for threads that wait on a socket: once set, it stays set.
class CWakeEvent {
public:
    CWakeEvent();
    ~CWakeEvent();
    CWakeEvent(const CWakeEvent&) = delete;
    CWakeEvent& operator=(const CWakeEvent&) = delete;

    void Set();
    // Waits until the event is set, at most timeoutMs.
    void Wait(int timeoutMs) const;
    intptr_t Handle() const { return m_handle; }

private:
    intptr_t m_handle;
};

// Raises the calling thread above the time-shared ones, or returns it to normal: on Linux the
// lowest real-time priority (SCHED_FIFO 1), which needs CAP_SYS_NICE or an RLIMIT_RTPRIO; on
// Windows THREAD_PRIORITY_HIGHEST, which any process may set. false (logged) when refused.
bool SetThreadUrgent(bool urgent);

// One datagram as read: its bytes sit in the slot's buffer of kDatagramSize bytes.
struct DatagramSlot {
    char* pData = nullptr;
    size_t size = 0;
    bool truncated = false;  // longer than kDatagramSize; the bytes are incomplete
    Arrival arrival;
};

// Reads datagrams from a socket with their arrival, without waiting, and waits for the next.
class CDatagramReader {
public:
    // socket stays the caller's and must outlive the reader.
    explicit CDatagramReader(SocketHandle socket);
    ~CDatagramReader();
    CDatagramReader(const CDatagramReader&) = delete;
    CDatagramReader& operator=(const CDatagramReader&) = delete;

    // Fills up to count slots with what the socket holds. The number read (0 when the socket
    // was empty), or -1 when the socket failed (logged). *pKernelLost: datagrams the system
    // dropped since the last read because its buffer was full, where the system tells.
    int Read(DatagramSlot* pSlots, int count, uint64_t* pKernelLost);
    // Waits until the socket has a datagram or wake is set, at most timeoutMs. Interface
    // names are looked up afresh after each wait, so a renamed interface shows its new name.
    void Wait(const CWakeEvent& wake, int timeoutMs);

private:
    struct Impl;
    std::unique_ptr<Impl> m_pImpl;
};
