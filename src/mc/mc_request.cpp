#include "mc_request.h"

#include <vector>

#include "common/common_error.h"
#include "common/common_log.h"
#include "mc_net.h"
#include "soap_wire.h"

namespace {

// Text member of a request record; the toolkit's records take non-const pointers.
char* Text(const std::string& text) {
    return const_cast<char*>(text.c_str());
}
char* Text(const CSecretText& text) {
    return const_cast<char*>(text.CStr());
}

// Renders one request with the client's header, on a runtime context of its own; pszAction
// (null: none) goes into wsa:Action.
template <typename TBody>
int Render(const std::string& uuid, PacketType type, const char* pszAction, TBody* pstBody,
           int (*fnRender)(struct soap*, TBody*, CSecretText*), OutgoingPacket* pPacket) {
    struct soap* pSoap = soap_new();
    if (pSoap == nullptr) {
        LOG_ERROR("new pSoap failed");
        return ERR_NO_MEMORY;
    }
    SoapInitContext(pSoap);
    const std::string messageId = MessageId(uuid);
    pPacket->type = type;
    int rc = SoapAttachRequestHeader(pSoap, messageId.c_str(), SOAP_WIRE_DISCOVERY_URN, pszAction);
    if (rc == RESULT_OK) {
        rc = fnRender(pSoap, pstBody, &pPacket->datagram);
    }
    soap_destroy(pSoap);
    soap_end(pSoap);
    soap_free(pSoap);
    return rc;
}

int RenderProbeOf(const std::string& uuid, PacketType type, const char* pszAction,
                  int (*fnRender)(struct soap*, struct tns__ProbeType*, CSecretText*),
                  OutgoingPacket* pPacket) {
    struct tns__ProbeType stProbe;
    stProbe.tns__Types = const_cast<char*>(SOAP_WIRE_NVT_TYPE);
    return Render(uuid, type, pszAction, &stProbe, fnRender, pPacket);
}

// The operator and device parts of both configuration requests; the texts stay owned by the
// caller's strings.
void FillRequestParts(const std::string& uuid, int32_t msgSeq, const UserInfo& user,
                      const DeviceIdentity& device, struct tns__OpUserInfo* pstUser,
                      struct tns__DeviceInfo* pstDevice) {
    pstUser->tns__UserName = Text(user.m_userName);
    pstUser->tns__AuthCode = Text(user.m_authCode);
    pstUser->tns__UserId = Text(uuid);
    pstUser->tns__MsgSeq = static_cast<unsigned int>(msgSeq);
    pstDevice->tns__DeviceSerialNo = Text(device.m_serialNo);
    pstDevice->tns__DeviceId = Text(device.m_deviceId);
}

// "soap.udp://a.b.c.d:port", the destination as the send log names it.
std::string EndpointText(uint32_t address) {
    return "soap.udp://" + AddressText(address) + ":" + std::to_string(kDiscoveryPort);
}

}  // namespace

std::string MessageId(const std::string& uuid) {
    return "urn:uuid:" + uuid;
}

int RenderProbe(const std::string& uuid, OutgoingPacket* pPacket) {
    return RenderProbeOf(uuid, PKT_TYPE_PROBE, SOAP_WIRE_PROBE_ACTION, SoapRenderProbe, pPacket);
}

int RenderKorvaneProbe(const std::string& uuid, OutgoingPacket* pPacket) {
    return RenderProbeOf(uuid, PKT_TYPE_KORVANE_PROBE, nullptr, SoapRenderKorvaneProbe, pPacket);
}

int RenderSetDeviceAddr(const std::string& uuid, int32_t msgSeq, const UserInfo& user,
                        const DeviceIdentity& device, const DeviceAddress& newAddr,
                        OutgoingPacket* pPacket) {
    struct tns__OpUserInfo stUser;
    struct tns__DeviceInfo stDevice;
    FillRequestParts(uuid, msgSeq, user, device, &stUser, &stDevice);
    struct tns__DeviceAddrInfo stAddr;
    stAddr.tns__DeviceIpaddr = Text(newAddr.m_ipAddr);
    stAddr.tns__DeviceIpMask = Text(newAddr.m_mask);
    stAddr.tns__DefaultGW = Text(newAddr.m_gateway);
    struct tns__SetDeviceAddrReqType stReq;
    stReq.tns__OpUserInfo = &stUser;
    stReq.tns__DeviceInfo = &stDevice;
    stReq.tns__DeviceAddrInfo = &stAddr;
    return Render(uuid, PKT_TYPE_SET_DEVICE_ADDR, nullptr, &stReq, SoapRenderSetDeviceAddrReq,
                  pPacket);
}

int RenderSetDefaultPasswd(const std::string& uuid, int32_t msgSeq, const DeviceIdentity& device,
                           const CSecretText& serialCode, OutgoingPacket* pPacket) {
    const UserInfo noUser;
    struct tns__OpUserInfo stUser;
    struct tns__DeviceInfo stDevice;
    FillRequestParts(uuid, msgSeq, noUser, device, &stUser, &stDevice);
    struct tns__SetDefaultPasswdReqType stReq;
    stReq.tns__OpUserInfo = &stUser;
    stReq.tns__DeviceInfo = &stDevice;
    stReq.tns__PasswordAuthCode = Text(serialCode);
    return Render(uuid, PKT_TYPE_SET_DEFAULT_PASSWD, nullptr, &stReq, SoapRenderSetDefaultPasswdReq,
                  pPacket);
}

int SendPacket(SocketHandle socket, const OutgoingPacket& packet, uint32_t address,
               const LocalInterface* pInterface) {
    const int rc = SendDatagram(socket, packet.datagram.CStr(), packet.datagram.Size(), address,
                                kDiscoveryPort, pInterface);
    LOG_DEBUG("send packet(pkt_type:%d), soap endpoint:%s", packet.type,
              EndpointText(address).c_str());
    return rc;
}

int SendThroughInterfaces(SocketHandle socket, const OutgoingPacket& packet, uint32_t address) {
    std::vector<LocalInterface> interfaces;
    const int rc = ListInterfaces(&interfaces);
    if (rc != RESULT_OK) {
        return rc;
    }
    for (const LocalInterface& item : interfaces) {
        SendPacket(socket, packet, address, &item);
    }
    return RESULT_OK;
}

void SendRange(SocketHandle socket, const OutgoingPacket& packet, uint32_t begin, uint32_t end) {
    for (uint64_t address = begin; address <= end; ++address) {
        SendPacket(socket, packet, static_cast<uint32_t>(address), nullptr);
    }
}
