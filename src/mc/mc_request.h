#pragma once

// Outgoing requests of the discovery client. Each request is rendered once into the datagram
// that carries it, with the client's header (MessageID "urn:uuid:" + the client id, To the
// discovery URN, and on the standard probe its wsa:Action), and then sent from the client's
// socket to each of its destinations.

#include <cstdint>
#include <string>

#include "common/common_secret.h"
#include "mc_client.h"
#include "mc_net.h"

// Request kinds, by the numbers the send log shows. 3 is the default-configuration request,
// which no operation of the client sends.
enum PacketType {
    PKT_TYPE_PROBE = 0,
    PKT_TYPE_SET_DEVICE_ADDR = 1,
    PKT_TYPE_SET_DEFAULT_PASSWD = 2,
    PKT_TYPE_KORVANE_PROBE = 4,
};

// A rendered request: its kind and the datagram that carries it (wiped with the packet, as a
// configuration request carries a password or serial code).
struct OutgoingPacket {
    PacketType type = PKT_TYPE_PROBE;
    CSecretText datagram;
};

// The MessageID of every request of the client with this id; answers relate to it.
std::string MessageId(const std::string& uuid);

// The client's requests; uuid is the client id. Both probes carry the type
// "dn:NetworkVideoTransmitter"; a configuration request names the client in UserId and carries
// msgSeq. 0, or the code of the failure (logged where it happened).
int RenderProbe(const std::string& uuid, OutgoingPacket* pPacket);
int RenderKorvaneProbe(const std::string& uuid, OutgoingPacket* pPacket);
int RenderSetDeviceAddr(const std::string& uuid, int32_t msgSeq, const UserInfo& user,
                        const DeviceIdentity& device, const DeviceAddress& newAddr,
                        OutgoingPacket* pPacket);
// A password restore names no operator: empty user name and authentication code.
int RenderSetDefaultPasswd(const std::string& uuid, int32_t msgSeq, const DeviceIdentity& device,
                           const CSecretText& serialCode, OutgoingPacket* pPacket);

// One datagram from socket to address:3702, through pInterface when given (else the routing
// table decides); logged at DEBUG whatever the outcome. 0 or 10005.
int SendPacket(SocketHandle socket, const OutgoingPacket& packet, uint32_t address,
               const LocalInterface* pInterface);
// To address:3702 (the multicast group or the limited broadcast) once through every
// interface. 0, or the code of the interface listing.
int SendThroughInterfaces(SocketHandle socket, const OutgoingPacket& packet, uint32_t address);
// To every address of [begin, end] on port 3702, ascending, back to back; also ends after
// 255.255.255.255, and sends nothing when begin is above end.
void SendRange(SocketHandle socket, const OutgoingPacket& packet, uint32_t begin, uint32_t end);
