#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "loopback_socket.h"

const char kLoopbackName[] = "lo";

namespace {

sockaddr_in Loopback(uint16_t port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    return addr;
}

}  // namespace

bool ReusingBindSucceeds(uint16_t port) {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    sockaddr_in addr = Loopback(port);
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    const bool bound = bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0;
    close(fd);
    return bound;
}

CLoopbackSocket::CLoopbackSocket() {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in local = Loopback(0);
    socklen_t length = sizeof(local);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        if (fd >= 0) {
            close(fd);
        }
        return;
    }
    m_socket = fd;
    m_port = ntohs(local.sin_port);
}

CLoopbackSocket::~CLoopbackSocket() {
    if (m_socket != kNoSocket) {
        close(static_cast<int>(m_socket));
    }
}

bool CLoopbackSocket::SendTo(uint16_t port, const std::string& bytes) const {
    const sockaddr_in to = Loopback(port);
    return sendto(static_cast<int>(m_socket), bytes.data(), bytes.size(), 0,
                  reinterpret_cast<const sockaddr*>(&to),
                  sizeof(to)) == static_cast<ssize_t>(bytes.size());
}
