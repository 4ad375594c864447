#pragma once

// The client's UDP socket layer: port choice, the receive endpoint and datagrams that leave
// through one chosen interface. IPv4 only.

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

const uint16_t kDiscoveryPort = 3702;
const int kPortCount = 100;  // client ports 3702..3801
const int kSocketBufferSize = 2 * 1024 * 1024;
const uint32_t kMulticastGroup = 0xEFFFFFFAu;  // 239.255.255.250
const uint32_t kLimitedBroadcast = 0xFFFFFFFFu;

struct LocalInterface {
    std::string name;
    unsigned int index = 0;
    uint32_t address = 0;  // host byte order
};

// The IPv4 socket address of a host-order address and port.
sockaddr_in MakeAddress(uint32_t address, uint16_t port);

// The host's IPv4 addresses in the order the system lists them, without 127.0.0.1.
int ListInterfaces(std::vector<LocalInterface>* pInterfaces);

// The lowest port of 3702..3801 that a bind without address reuse gets; 10008 if none.
int SelectPort(uint16_t* pPort);

// The receive endpoint: an IPv4 UDP socket with address reuse bound to 0.0.0.0:port, 2 MiB
// buffers (the granted sizes are logged), broadcast allowed and multicast TTL 1.
// 0 with the socket in *pFd, or 11000.
int BindPlain(uint16_t port, int* pFd);

// One datagram from fd to dest. With an interface, the datagram leaves through it with the
// interface's address as source (IP_PKTINFO): binding a socket to an interface address does
// not choose the interface of a limited broadcast on Linux, this does, for the multicast
// group too. Without one, the routing table decides. 0, or 10005 with errno kept.
int SendDatagram(int fd, const char* pData, size_t size, const sockaddr_in& dest,
                 const LocalInterface* pInterface);

// Dotted-decimal text of a host-order address.
std::string AddressText(uint32_t address);
