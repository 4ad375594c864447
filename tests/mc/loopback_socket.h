#pragma once

// A UDP socket of a test's own on 127.0.0.1 (a free port), and a probe of port sharing, for
// tests of the socket layer that run on both platforms: loopback_socket_posix.cpp and
// loopback_socket_win.cpp.

#include <cstdint>
#include <string>

#include "mc_net.h"

// Whether a socket with address reuse set (SO_REUSEADDR) binds 0.0.0.0:port; it is closed
// again at once.
bool ReusingBindSucceeds(uint16_t port);

// The name the system gives the loopback interface.
extern const char kLoopbackName[];

class CLoopbackSocket {
public:
    CLoopbackSocket();
    ~CLoopbackSocket();
    CLoopbackSocket(const CLoopbackSocket&) = delete;
    CLoopbackSocket& operator=(const CLoopbackSocket&) = delete;

    // kNoSocket when the socket could not be bound.
    SocketHandle Handle() const { return m_socket; }
    uint16_t Port() const { return m_port; }
    // One datagram to 127.0.0.1:port; false when it was not sent whole.
    bool SendTo(uint16_t port, const std::string& bytes) const;

private:
    SocketHandle m_socket = kNoSocket;
    uint16_t m_port = 0;
};
