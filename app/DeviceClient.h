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

class CDiscoveryClientAdapter : public IDeviceClient {
public:
    explicit CDiscoveryClientAdapter(CDiscoveryThread* pClient) : m_pClient(pClient) {}

    int Attach(IObserver<CDiscoveryBean>* pObserver) override { return m_pClient->Attach(pObserver); }
    int Detach(IObserver<CDiscoveryBean>* pObserver) override { return m_pClient->Detach(pObserver); }
    int Search(uint32_t address) override { return m_pClient->Search(address); }
    int ExactSearch(uint32_t begin, uint32_t end) override { return m_pClient->ExactSearch(begin, end); }
    int SetDeviceAddr(uint32_t address, const UserInfo& user, const DeviceIdentity& device,
                      const DeviceAddress& newAddr) override
    {
        return m_pClient->SetDeviceAddr(address, user, device, newAddr);
    }
    int SetDefaultPasswd(uint32_t address, const DeviceIdentity& device, const std::string& serialCode) override
    {
        return m_pClient->SetDefaultPasswd(address, device, serialCode);
    }

private:
    CDiscoveryThread* m_pClient;
};
