#include "fake_client.h"

#include <sstream>
#include <thread>

#include "common/common_error.h"

int CFakeClient::Attach(IObserver<CDiscoveryBean>* pObserver) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_observer = pObserver;
    return RESULT_OK;
}

int CFakeClient::Detach(IObserver<CDiscoveryBean>* pObserver) {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_observer != pObserver) {
        return ERR_NOT_FOUND;
    }
    m_observer = nullptr;
    return RESULT_OK;
}

int CFakeClient::ExactSearch(uint32_t begin, uint32_t end) {
    std::vector<CDiscoveryBean> fleet;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_searches.push_back({begin, end});
        m_exactCalls++;
        fleet = m_fleet;
    }
    Deliver(fleet);
    return RESULT_OK;
}

int CFakeClient::Search(uint32_t address) {
    std::vector<CDiscoveryBean> fleet;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_searches.push_back({address, address});
        fleet = m_fleet;
    }
    Deliver(fleet);
    return RESULT_OK;
}

int CFakeClient::SetSearchRepeat(int copies) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_searchCopies = copies;
    return RESULT_OK;
}

int CFakeClient::SetDeviceAddr(uint32_t address, const UserInfo& user, const DeviceIdentity& device,
                               const DeviceAddress& newAddr) {
    Request r;
    r.kind = 1;
    r.target = address;
    r.userName = user.m_userName;
    r.authCode = user.m_authCode.View();
    r.device = device;
    r.newAddr = newAddr;
    return Answer(std::move(r));
}

int CFakeClient::SetDefaultPasswd(uint32_t address, const DeviceIdentity& device,
                                  const CSecretText& serialCode) {
    Request r;
    r.kind = 2;
    r.target = address;
    r.device = device;
    r.serialCode = serialCode.View();
    return Answer(std::move(r));
}

int CFakeClient::WaitReady(int) {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_readyResult;
}

int CFakeClient::Stop() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_observer = nullptr;
    m_stopped = true;
    return RESULT_OK;
}

void CFakeClient::SetFleet(const std::vector<CDiscoveryBean>& fleet) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_fleet = fleet;
}

void CFakeClient::Deliver(const std::vector<CDiscoveryBean>& records) {
    if (records.empty()) {
        return;
    }
    std::thread discovery([this, &records]() {
        for (const CDiscoveryBean& record : records) {
            std::lock_guard<std::mutex> guard(m_lock);  // held over Update, as Notify does
            if (m_observer) {
                m_observer->Update(&record);
            }
        }
    });
    discovery.join();
}

void CFakeClient::Hold() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_held = true;
}

void CFakeClient::Release() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_held = false;
    }
    m_event.notify_all();
}

void CFakeClient::SetResult(int result) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_result = result;
}

void CFakeClient::SetReadyResult(int result) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_readyResult = result;
}

std::vector<CFakeClient::Request> CFakeClient::Requests() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_requests;
}

bool CFakeClient::RequestWaiting() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_waiting;
}

std::vector<std::pair<uint32_t, uint32_t>> CFakeClient::Searches() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_searches;
}

int CFakeClient::ExactCalls() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_exactCalls;
}

int CFakeClient::SearchCopies() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_searchCopies;
}

bool CFakeClient::Attached() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_observer != nullptr;
}

bool CFakeClient::Stopped() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_stopped;
}

int CFakeClient::Answer(Request&& r) {
    std::unique_lock<std::mutex> guard(m_lock);
    m_requests.push_back(std::move(r));
    m_waiting = true;
    m_event.wait(guard, [this]() { return !m_held; });
    m_waiting = false;
    return m_result;
}

CDiscoveryBean FakeDevice(const char* pIp, const char* pSerial, const char* pMac) {
    CDiscoveryBean device;
    device.m_ipAddr = pIp;
    device.m_hardware = "IPC-1";
    device.m_serialNo = pSerial;
    device.m_macAddr = pMac;
    device.m_version = "V1";
    return device;
}

std::vector<CDiscoveryBean> ReadFleetCsv(std::istream& in) {
    std::vector<CDiscoveryBean> fleet;
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        std::istringstream split(line);
        std::string field;
        while (std::getline(split, field, ',')) {
            fields.push_back(field);
        }
        if (fields.size() < 6) {
            continue;
        }
        CDiscoveryBean record;
        record.m_ipAddr = fields[0];
        record.m_hardware = fields[1];
        record.m_serialNo = fields[3];
        record.m_macAddr = fields[4];
        record.m_version = fields[5];
        fleet.push_back(record);
    }
    return fleet;
}

CDiscoveryBean NumberedDevice(int i) {
    CDiscoveryBean b;
    b.m_ipAddr = "10.0." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1);
    b.m_hardware = "KV-IPC2140";
    b.m_serialNo = "KV" + std::to_string(100000 + i);
    b.m_macAddr = "001b8901" + std::to_string(1000 + i % 9000);
    b.m_version = "V5.3.10.build230347";
    return b;
}
