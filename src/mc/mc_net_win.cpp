// The client's socket layer on Windows: Winsock 2. Datagrams leave through a chosen interface
// by WSASendMsg with IN_PKTINFO on the one client socket, so that no second socket is bound
// to the client port; answers are read by WSARecvMsg with IP_PKTINFO, and the receive thread
// waits on the socket's event and the wake event together (WSAWaitForMultipleEvents).

#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <mswsock.h>
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "common/common_error.h"
#include "common/common_log.h"
#include "mc_net.h"

namespace {

// Longest wait for room in the send buffer of the (non-blocking) client socket.
const int kSendWaitMs = 1000;

SOCKET Sock(SocketHandle socket) {
    return static_cast<SOCKET>(socket);
}

sockaddr_in MakeAddress(uint32_t address, uint16_t port) {
    sockaddr_in addr;
    std::memset(&addr, 0, sizeof(addr));
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(address);
    addr.sin_port = htons(port);
    return addr;
}

void EnableOption(SOCKET socket, int level, int option, const char* pName) {
    const DWORD one = 1;
    if (setsockopt(socket, level, option, reinterpret_cast<const char*>(&one), sizeof(one)) != 0) {
        LOG_WARN("setsockopt(%s) failed(error:%d)", pName, WSAGetLastError());
    }
}

// Asks for a socket buffer and logs what was granted.
void SetBuffer(SOCKET socket, int option, int size, const char* pName) {
    setsockopt(socket, SOL_SOCKET, option, reinterpret_cast<const char*>(&size), sizeof(size));
    int granted = 0;
    int length = sizeof(granted);
    getsockopt(socket, SOL_SOCKET, option, reinterpret_cast<char*>(&granted), &length);
    LOG_DEBUG("%s asked(%d) granted(%d)", pName, size, granted);
}

std::string Utf8(const wchar_t* pText) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, pText, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) {
        return std::string();
    }
    std::string text(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, pText, -1, &text[0], size, nullptr, nullptr);
    text.resize(static_cast<size_t>(size - 1));
    return text;
}

// The adapters with their IPv4 addresses; empty (logged) on failure.
std::vector<char> ReadAdapters() {
    const ULONG flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
    ULONG size = 16 * 1024;
    std::vector<char> buffer;
    ULONG rc = ERROR_BUFFER_OVERFLOW;
    for (int attempt = 0; attempt < 3 && rc == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer.resize(size);
        rc = GetAdaptersAddresses(AF_INET, flags, nullptr,
                                  reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
    }
    if (rc != NO_ERROR) {
        LOG_ERROR("GetAdaptersAddresses failed(error:%lu)", rc);
        buffer.clear();
    }
    return buffer;
}

const IP_ADAPTER_ADDRESSES* FirstAdapter(const std::vector<char>& buffer) {
    return buffer.empty() ? nullptr : reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer.data());
}

// Binds a new socket to 0.0.0.0:port for exclusive use: the socket, or INVALID_SOCKET.
SOCKET BindExclusive(uint16_t port) {
    const SOCKET socket = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (socket == INVALID_SOCKET) {
        LOG_ERROR("socket failed(error:%d)", WSAGetLastError());
        return INVALID_SOCKET;
    }
    EnableOption(socket, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, "SO_EXCLUSIVEADDRUSE");
    const sockaddr_in addr = MakeAddress(INADDR_ANY, port);
    if (bind(socket, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) != 0) {
        closesocket(socket);
        return INVALID_SOCKET;
    }
    return socket;
}

// Waits until the socket has room to send, at most kSendWaitMs.
void WaitWritable(SOCKET socket) {
    fd_set items;
    FD_ZERO(&items);
    FD_SET(socket, &items);
    timeval timeout = {0, kSendWaitMs * 1000};
    select(0, nullptr, &items, nullptr, &timeout);
}

}  // namespace

CNetworkUse::CNetworkUse() {
    WSADATA data;
    const int rc = WSAStartup(MAKEWORD(2, 2), &data);
    if (rc != 0) {
        LOG_ERROR("WSAStartup failed(error:%d)", rc);
        return;
    }
    m_started = true;
}

CNetworkUse::~CNetworkUse() {
    if (m_started) {
        WSACleanup();
    }
}

std::string AddressText(uint32_t address) {
    char text[16] = {};
    std::snprintf(text, sizeof(text), "%u.%u.%u.%u", (address >> 24) & 0xFFu,
                  (address >> 16) & 0xFFu, (address >> 8) & 0xFFu, address & 0xFFu);
    return text;
}

int ListInterfaces(std::vector<LocalInterface>* pInterfaces) {
    const std::vector<char> buffer = ReadAdapters();
    if (buffer.empty()) {
        return ERR_GENERAL;
    }
    pInterfaces->clear();
    for (const IP_ADAPTER_ADDRESSES* pAdapter = FirstAdapter(buffer); pAdapter != nullptr;
         pAdapter = pAdapter->Next) {
        if (pAdapter->OperStatus != IfOperStatusUp ||
            pAdapter->IfType == IF_TYPE_SOFTWARE_LOOPBACK) {
            continue;
        }
        for (const IP_ADAPTER_UNICAST_ADDRESS* pItem = pAdapter->FirstUnicastAddress;
             pItem != nullptr; pItem = pItem->Next) {
            const sockaddr* pAddr = pItem->Address.lpSockaddr;
            if (pAddr == nullptr || pAddr->sa_family != AF_INET) {
                continue;
            }
            LocalInterface item;
            item.address = ntohl(reinterpret_cast<const sockaddr_in*>(pAddr)->sin_addr.s_addr);
            if ((item.address >> 24) == 127) {
                continue;
            }
            item.name = Utf8(pAdapter->FriendlyName);
            item.index = pAdapter->IfIndex;
            pInterfaces->push_back(item);
        }
    }
    return RESULT_OK;
}

int BindClientSocket(SocketHandle* pSocket, uint16_t* pPort) {
    for (int i = 0; i < kPortCount; ++i) {
        const uint16_t port = static_cast<uint16_t>(kDiscoveryPort + i);
        const SOCKET socket = BindExclusive(port);
        if (socket == INVALID_SOCKET) {
            continue;
        }
        LOG_INFO("soap bind ip:port(0:%d) succeed", port);
        SetBuffer(socket, SO_SNDBUF, kSocketBufferSize, "send buffer");
        SetBuffer(socket, SO_RCVBUF, kSocketBufferSize, "receive buffer");
        EnableOption(socket, SOL_SOCKET, SO_BROADCAST, "SO_BROADCAST");
        EnableOption(socket, IPPROTO_IP, IP_MULTICAST_TTL, "IP_MULTICAST_TTL");
        // A device that is gone answers a unicast request with an ICMP port unreachable;
        // without this the next read of the socket would fail with WSAECONNRESET.
        BOOL reportReset = FALSE;
        DWORD bytes = 0;
        if (WSAIoctl(socket, SIO_UDP_CONNRESET, &reportReset, sizeof(reportReset), nullptr, 0,
                     &bytes, nullptr, nullptr) != 0) {
            LOG_WARN("WSAIoctl(SIO_UDP_CONNRESET) failed(error:%d)", WSAGetLastError());
        }
        *pSocket = static_cast<SocketHandle>(socket);
        *pPort = port;
        return RESULT_OK;
    }
    LOG_ERROR("soap_bind(ip:%s port:%d..%d) failed", "0.0.0.0", kDiscoveryPort,
              kDiscoveryPort + kPortCount - 1);
    return ERR_SOCKET_BIND;
}

void CloseSocket(SocketHandle socket) {
    closesocket(Sock(socket));
}

void SetReceiveBuffer(SocketHandle socket, int reportedBytes) {
    SetBuffer(Sock(socket), SO_RCVBUF, reportedBytes, "receive buffer");
    LOG_INFO("receive buffer set(%d)", reportedBytes);
}

int SendDatagram(SocketHandle socket, const char* pData, size_t size, uint32_t address,
                 uint16_t port, const LocalInterface* pInterface) {
    sockaddr_in to = MakeAddress(address, port);
    WSABUF buffer;
    buffer.buf = const_cast<char*>(pData);
    buffer.len = static_cast<ULONG>(size);
    WSAMSG msg;
    std::memset(&msg, 0, sizeof(msg));
    msg.name = reinterpret_cast<sockaddr*>(&to);
    msg.namelen = sizeof(to);
    msg.lpBuffers = &buffer;
    msg.dwBufferCount = 1;
    alignas(WSACMSGHDR) char control[WSA_CMSG_SPACE(sizeof(IN_PKTINFO))];
    if (pInterface != nullptr) {
        std::memset(control, 0, sizeof(control));
        msg.Control.buf = control;
        msg.Control.len = sizeof(control);
        WSACMSGHDR* pHeader = WSA_CMSG_FIRSTHDR(&msg);
        pHeader->cmsg_level = IPPROTO_IP;
        pHeader->cmsg_type = IP_PKTINFO;
        pHeader->cmsg_len = WSA_CMSG_LEN(sizeof(IN_PKTINFO));
        IN_PKTINFO info;
        std::memset(&info, 0, sizeof(info));
        info.ipi_ifindex = pInterface->index;
        info.ipi_addr.s_addr = htonl(pInterface->address);
        std::memcpy(WSA_CMSG_DATA(pHeader), &info, sizeof(info));
    }
    if (pInterface != nullptr && (address >> 28) == 0xEu) {
        // The multicast interface is also set on the socket: Wine ignores IN_PKTINFO when
        // sending. Sending operations never overlap (the client holds its socket while one
        // sends), so the setting cannot change under another datagram.
        in_addr outgoing;
        outgoing.s_addr = htonl(pInterface->address);
        setsockopt(Sock(socket), IPPROTO_IP, IP_MULTICAST_IF,
                   reinterpret_cast<const char*>(&outgoing), sizeof(outgoing));
    }
    DWORD sent = 0;
    int rc = WSASendMsg(Sock(socket), &msg, 0, &sent, nullptr, nullptr);
    if (rc != 0 && WSAGetLastError() == WSAEWOULDBLOCK) {
        WaitWritable(Sock(socket));
        rc = WSASendMsg(Sock(socket), &msg, 0, &sent, nullptr, nullptr);
    }
    if (rc != 0 || sent != size) {
        LOG_ERROR("WSASendMsg(ip:%s if:%s) failed(error:%d)", AddressText(address).c_str(),
                  pInterface != nullptr ? pInterface->name.c_str() : "-", WSAGetLastError());
        return ERR_IO;
    }
    return RESULT_OK;
}

CWakeEvent::CWakeEvent() : m_handle(reinterpret_cast<intptr_t>(WSACreateEvent())) {
    if (m_handle == 0) {
        LOG_ERROR("WSACreateEvent failed(error:%d)", WSAGetLastError());
    }
}

CWakeEvent::~CWakeEvent() {
    if (m_handle != 0) {
        WSACloseEvent(reinterpret_cast<WSAEVENT>(m_handle));
    }
}

bool SetThreadUrgent(bool urgent) {
    if (!SetThreadPriority(GetCurrentThread(),
                           urgent ? THREAD_PRIORITY_HIGHEST : THREAD_PRIORITY_NORMAL)) {
        LOG_WARN_LIMITED("thread priority(urgent:%d) refused(errorcode:%lu)", urgent ? 1 : 0,
                         GetLastError());
        return false;
    }
    return true;
}

void CWakeEvent::Set() {
    if (m_handle != 0 && !WSASetEvent(reinterpret_cast<WSAEVENT>(m_handle))) {
        LOG_WARN("wake of the receive loop failed(error:%d)", WSAGetLastError());
    }
}

void CWakeEvent::Wait(int timeoutMs) const {
    if (m_handle == 0) {
        Sleep(static_cast<DWORD>(timeoutMs));
        return;
    }
    WaitForSingleObject(reinterpret_cast<HANDLE>(m_handle), static_cast<DWORD>(timeoutMs));
}

struct CDatagramReader::Impl {
    struct Name {
        ULONG index = 0;
        char text[sizeof(Arrival::interfaceName)] = {};
    };
    SOCKET socket = INVALID_SOCKET;
    WSAEVENT readEvent = WSA_INVALID_EVENT;
    LPFN_WSARECVMSG pRecvMsg = nullptr;
    std::vector<Name> names;

    // The adapter's name of an interface index, looked up once per burst of datagrams.
    const char* NameOf(ULONG index) {
        for (const Name& name : names) {
            if (name.index == index) {
                return name.text;
            }
        }
        Name name;
        name.index = index;
        const std::vector<char> buffer = ReadAdapters();
        for (const IP_ADAPTER_ADDRESSES* pAdapter = FirstAdapter(buffer); pAdapter != nullptr;
             pAdapter = pAdapter->Next) {
            if (pAdapter->IfIndex == index) {
                std::snprintf(name.text, sizeof(name.text), "%s",
                              Utf8(pAdapter->FriendlyName).c_str());
                break;
            }
        }
        names.push_back(name);
        return names.back().text;
    }

    // One datagram into the slot: 1, 0 when there was none, -1 when the socket failed.
    int ReadOne(DatagramSlot* pSlot) {
        sockaddr_in source;
        std::memset(&source, 0, sizeof(source));
        WSABUF buffer;
        buffer.buf = pSlot->pData;
        buffer.len = static_cast<ULONG>(kDatagramSize);
        alignas(WSACMSGHDR) char control[WSA_CMSG_SPACE(sizeof(IN_PKTINFO))] = {};
        WSAMSG msg;
        std::memset(&msg, 0, sizeof(msg));
        msg.name = reinterpret_cast<sockaddr*>(&source);
        msg.namelen = sizeof(source);
        msg.lpBuffers = &buffer;
        msg.dwBufferCount = 1;
        msg.Control.buf = control;
        msg.Control.len = sizeof(control);
        DWORD bytes = 0;
        int rc = 0;
        if (pRecvMsg != nullptr) {
            rc = pRecvMsg(socket, &msg, &bytes, nullptr, nullptr);
        } else {
            int length = sizeof(source);
            const int read = recvfrom(socket, buffer.buf, static_cast<int>(buffer.len), 0,
                                      reinterpret_cast<sockaddr*>(&source), &length);
            rc = read < 0 ? SOCKET_ERROR : 0;
            bytes = read < 0 ? 0 : static_cast<DWORD>(read);
            msg.Control.len = 0;
        }
        pSlot->arrival = Arrival();
        pSlot->truncated = false;
        if (rc != 0) {
            const int error = WSAGetLastError();
            if (error == WSAEWOULDBLOCK) {
                return 0;
            }
            if (error != WSAEMSGSIZE) {
                LOG_ERROR("WSARecvMsg failed(error:%d)", error);
                return -1;
            }
            pSlot->truncated = true;
        }
        pSlot->truncated = pSlot->truncated || (msg.dwFlags & MSG_TRUNC) != 0;
        pSlot->size = bytes;
        for (WSACMSGHDR* pItem = WSA_CMSG_FIRSTHDR(&msg); pItem != nullptr;
             pItem = WSA_CMSG_NXTHDR(&msg, pItem)) {
            if (pItem->cmsg_level == IPPROTO_IP && pItem->cmsg_type == IP_PKTINFO) {
                IN_PKTINFO info;
                std::memcpy(&info, WSA_CMSG_DATA(pItem), sizeof(info));
                std::snprintf(pSlot->arrival.interfaceName, sizeof(pSlot->arrival.interfaceName),
                              "%s", NameOf(info.ipi_ifindex));
                pSlot->arrival.localAddress = ntohl(info.ipi_addr.s_addr);
            }
        }
        pSlot->arrival.sourceAddress = ntohl(source.sin_addr.s_addr);
        pSlot->arrival.sourcePort = ntohs(source.sin_port);
        return 1;
    }
};

CDatagramReader::CDatagramReader(SocketHandle socket) : m_pImpl(new Impl) {
    m_pImpl->socket = Sock(socket);
    EnableOption(m_pImpl->socket, IPPROTO_IP, IP_PKTINFO, "IP_PKTINFO");
    GUID id = WSAID_WSARECVMSG;
    DWORD bytes = 0;
    if (WSAIoctl(m_pImpl->socket, SIO_GET_EXTENSION_FUNCTION_POINTER, &id, sizeof(id),
                 &m_pImpl->pRecvMsg, sizeof(m_pImpl->pRecvMsg), &bytes, nullptr, nullptr) != 0) {
        m_pImpl->pRecvMsg = nullptr;
        LOG_WARN("WSARecvMsg unavailable(error:%d): answers are read without their interface",
                 WSAGetLastError());
    }
    // The socket's event signals arriving datagrams; this also makes the socket non-blocking.
    m_pImpl->readEvent = WSACreateEvent();
    if (m_pImpl->readEvent == WSA_INVALID_EVENT ||
        WSAEventSelect(m_pImpl->socket, m_pImpl->readEvent, FD_READ) != 0) {
        LOG_ERROR("WSAEventSelect failed(error:%d)", WSAGetLastError());
    }
}

CDatagramReader::~CDatagramReader() {
    if (m_pImpl->readEvent != WSA_INVALID_EVENT) {
        WSACloseEvent(m_pImpl->readEvent);
    }
}

int CDatagramReader::Read(DatagramSlot* pSlots, int count, uint64_t* pKernelLost) {
    *pKernelLost = 0;  // Winsock does not tell
    for (int i = 0; i < count; ++i) {
        const int rc = m_pImpl->ReadOne(&pSlots[i]);
        if (rc <= 0) {
            return i > 0 ? i : rc;
        }
    }
    return count;
}

void CDatagramReader::Wait(const CWakeEvent& wake, int timeoutMs) {
    m_pImpl->names.clear();
    WSAEVENT events[2] = {m_pImpl->readEvent, reinterpret_cast<WSAEVENT>(wake.Handle())};
    const DWORD count = wake.Handle() != 0 ? 2 : 1;
    WSAWaitForMultipleEvents(count, events, FALSE, static_cast<DWORD>(timeoutMs), FALSE);
    // Datagrams that come after the reset signal again: each read re-arms FD_READ.
    WSAResetEvent(m_pImpl->readEvent);
}
