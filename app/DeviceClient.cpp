#include "DeviceClient.h"

int CDiscoveryClientAdapter::Attach(IObserver<CDiscoveryBean>* pObserver) {
    return m_pClient->Attach(pObserver);
}

int CDiscoveryClientAdapter::Detach(IObserver<CDiscoveryBean>* pObserver) {
    return m_pClient->Detach(pObserver);
}

int CDiscoveryClientAdapter::Search(uint32_t address) {
    return m_pClient->Search(address);
}

int CDiscoveryClientAdapter::ExactSearch(uint32_t begin, uint32_t end) {
    return m_pClient->ExactSearch(begin, end);
}

int CDiscoveryClientAdapter::SetDeviceAddr(uint32_t address, const UserInfo& user,
                                           const DeviceIdentity& device,
                                           const DeviceAddress& newAddr) {
    return m_pClient->SetDeviceAddr(address, user, device, newAddr);
}

int CDiscoveryClientAdapter::SetDefaultPasswd(uint32_t address, const DeviceIdentity& device,
                                              const std::string& serialCode) {
    return m_pClient->SetDefaultPasswd(address, device, serialCode);
}
