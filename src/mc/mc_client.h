#pragma once

// The discovery client as the front ends (the window, the command line) use it. Nothing of
// the client's internals or of the SOAP toolkit shows here; tests and tools hand the front
// ends a fake of their own through the same interface.

#include <cstdint>
#include <string>

#include "common/common_secret.h"
#include "mc/mc_observer.h"

// Operator of a configuration request: user name and authentication code (the scrambled
// password, wiped with the record).
struct UserInfo {
    std::string m_userName;
    CSecretText m_authCode;
};

// Target device of a configuration request: serial number and device id (its MAC text).
struct DeviceIdentity {
    std::string m_serialNo;
    std::string m_deviceId;
};

// New network settings, dotted-decimal texts.
struct DeviceAddress {
    std::string m_ipAddr;
    std::string m_mask;
    std::string m_gateway;
};

// Most copies of each probe that a search sends (SetSearchRepeat).
const int kMaxSearchCopies = 5;

// Addresses are host byte order. Attach, Detach and the searches are called from the front
// end's own thread; the configuration requests block for up to 10 s and run on a worker.
class IDiscoveryClient {
public:
    virtual ~IDiscoveryClient() = default;

    // Device records reach attached observers on the client's threads, one at a time. 0,
    // 10001 (null), 10006 (already attached) or 10008 (Detach of an observer that is not
    // attached).
    virtual int Attach(IObserver<CDiscoveryBean>* pObserver) = 0;
    virtual int Detach(IObserver<CDiscoveryBean>* pObserver) = 0;

    // Probes every address of the inclusive range [begin, end]. Returns 0.
    virtual int ExactSearch(uint32_t begin, uint32_t end) = 0;
    // address 0: multicast probe and vendor broadcast probe through every interface;
    // otherwise one unicast probe to that address. Returns 0.
    virtual int Search(uint32_t address) = 0;
    // For lossy links: every later search sends its probes `copies` times (1 to
    // kMaxSearchCopies; 1 unless set), the same datagrams, the first at once and the others
    // within 1.75 s from a thread of the client's, so a search still returns at once. Copies
    // still due when the client stops, or when the next search starts, are not sent. 0, or
    // 10001 for a count out of range.
    virtual int SetSearchRepeat(int copies) = 0;

    // address: the device's address, or 0 to broadcast through every interface. 0 when the
    // device confirmed, 10009 without a matching answer within 10,000 ms, 11000 when the
    // client has no socket, 10004 (at once, nothing sent) when the request would not fit one
    // datagram, else the code converted from the device's result (11001..11005, 10000).
    virtual int SetDeviceAddr(uint32_t address, const UserInfo& user, const DeviceIdentity& device,
                              const DeviceAddress& newAddr) = 0;
    virtual int SetDefaultPasswd(uint32_t address, const DeviceIdentity& device,
                                 const CSecretText& serialCode) = 0;

    // Waits up to timeoutMs for the client's socket: 0 once bound, 11000 when no port could
    // be bound, 10009 when the client has not got that far.
    virtual int WaitReady(int timeoutMs) = 0;
    // Detaches every observer and ends the client's thread.
    virtual int Stop() = 0;
};

// The single client of the process: the first call creates it and starts its thread.
// Null when it cannot be created.
IDiscoveryClient* GetDiscoveryClient();
