#include <winsock2.h>
#include <ws2tcpip.h>

#include "loopback_socket.h"

// What Wine names it; Windows itself says "Loopback Pseudo-Interface 1".
const char kLoopbackName[] = "lo";

namespace {

sockaddr_in Loopback(uint16_t port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    return addr;
}

// Winsock stays started while a test socket exists.
CNetworkUse g_network;

}  // namespace

bool ReusingBindSucceeds(uint16_t port) {
    const SOCKET socket = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    const BOOL one = TRUE;
    setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&one), sizeof(one));
    sockaddr_in addr = Loopback(port);
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    const bool bound = bind(socket, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0;
    closesocket(socket);
    return bound;
}

CLoopbackSocket::CLoopbackSocket() {
    const SOCKET socket = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    sockaddr_in local = Loopback(0);
    int length = sizeof(local);
    if (socket == INVALID_SOCKET ||
        bind(socket, reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0 ||
        getsockname(socket, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        if (socket != INVALID_SOCKET) {
            closesocket(socket);
        }
        return;
    }
    m_socket = static_cast<SocketHandle>(socket);
    m_port = ntohs(local.sin_port);
}

CLoopbackSocket::~CLoopbackSocket() {
    if (m_socket != kNoSocket) {
        closesocket(static_cast<SOCKET>(m_socket));
    }
}

bool CLoopbackSocket::SendTo(uint16_t port, const std::string& bytes) const {
    const sockaddr_in to = Loopback(port);
    return sendto(static_cast<SOCKET>(m_socket), bytes.data(), static_cast<int>(bytes.size()), 0,
                  reinterpret_cast<const sockaddr*>(&to),
                  sizeof(to)) == static_cast<int>(bytes.size());
}
