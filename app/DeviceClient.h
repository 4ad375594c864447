#pragma once

#include "mc/mc_discovery.h"

#include <cstdint>
#include <string>

// The discovery client as the main window uses it. The program hands the window the single
// CDiscoveryThread (CDiscoveryClientAdapter); the window's tests hand it one of their own.
// Attach, Detach and the searches are called on the GUI thread, the two configuration
// requests on a command's worker thread.
class IDeviceClient {
public:
    virtual ~IDeviceClient() = default;
    virtual int Attach(IObserver<CDiscoveryBean>* pObserver) = 0;
    virtual int Detach(IObserver<CDiscoveryBean>* pObserver) = 0;
    virtual int Search(uint32_t address) = 0;
    virtual int ExactSearch(uint32_t begin, uint32_t end) = 0;
    virtual int SetDeviceAddr(uint32_t address, const UserInfo& user, const DeviceIdentity& device,
                              const DeviceAddress& newAddr) = 0;
    virtual int SetDefaultPasswd(uint32_t address, const DeviceIdentity& device,
                                 const std::string& serialCode) = 0;
};

// Hands the window's calls to the single discovery client.
class CDiscoveryClientAdapter : public IDeviceClient {
public:
    explicit CDiscoveryClientAdapter(CDiscoveryThread* pClient) : m_pClient(pClient) {}

    int Attach(IObserver<CDiscoveryBean>* pObserver) override;
    int Detach(IObserver<CDiscoveryBean>* pObserver) override;
    int Search(uint32_t address) override;
    int ExactSearch(uint32_t begin, uint32_t end) override;
    int SetDeviceAddr(uint32_t address, const UserInfo& user, const DeviceIdentity& device,
                      const DeviceAddress& newAddr) override;
    int SetDefaultPasswd(uint32_t address, const DeviceIdentity& device,
                         const std::string& serialCode) override;

private:
    CDiscoveryThread* m_pClient;
};
