#include "front/front_device_list.h"

#include <cwchar>

#include "common/common_log.h"
#include "front/front_address.h"
#include "front/front_hash.h"
#include "front/front_strings.h"

namespace {

const int kColumnTitleIds[DEVICE_COL_COUNT] = {IDS_COL_IP, IDS_COL_TYPE, IDS_COL_SERIAL,
                                               IDS_COL_MAC, IDS_COL_VERSION};

// The six fields, each text behind its length, so that no two records give the same bytes.
void AppendField(std::string& out, const std::string& text) {
    const uint32_t size = static_cast<uint32_t>(text.size());
    out.append(reinterpret_cast<const char*>(&size), sizeof(size));
    out += text;
}

}  // namespace

int GetColumnTitleId(int column) {
    return column >= 0 && column < DEVICE_COL_COUNT ? kColumnTitleIds[column] : 0;
}

std::string GetDeviceCell(const CDiscoveryBean& device, int column) {
    switch (column) {
    case DEVICE_COL_IP:
        return device.m_ipAddr;
    case DEVICE_COL_TYPE:
        return device.m_hardware;
    case DEVICE_COL_SERIAL:
        return device.m_serialNo;
    case DEVICE_COL_MAC:
        return FormatMacAddr(device.m_macAddr);
    case DEVICE_COL_VERSION:
        return device.m_version;
    default:
        return std::string();
    }
}

uint32_t RowBackgroundRgb(int row) {
    return row % 2 == 0 ? 0xF8FCFFu : 0xEAEEF1u;
}

std::string FormatMacAddr(const std::string& mac) {
    std::string out;
    size_t shown = 0;  // characters written so far
    std::mbstate_t state{};
    for (size_t i = 0; i < mac.size();) {
        // One character of the locale's code set; a byte that starts none counts alone.
        size_t length = std::mbrlen(mac.data() + i, mac.size() - i, &state);
        if (length == 0 || length > mac.size() - i) {
            length = 1;
            state = std::mbstate_t{};
        }
        const char c = mac[i];
        if (length == 1 && (c == ':' || c == '-')) {
            i += 1;
            continue;
        }
        if (shown > 0 && shown % 2 == 0) {
            out += '-';
        }
        if (length == 1 && c >= 'a' && c <= 'z') {
            out += static_cast<char>(c - 'a' + 'A');
        } else {
            out.append(mac, i, length);
        }
        ++shown;
        i += length;
    }
    return out;
}

size_t CDeviceList::CHash::operator()(const CDiscoveryBean* pRecord) const {
    std::string bytes;
    AppendField(bytes, pRecord->m_ipAddr);
    AppendField(bytes, pRecord->m_hardware);
    AppendField(bytes, pRecord->m_serialNo);
    AppendField(bytes, pRecord->m_version);
    AppendField(bytes, pRecord->m_macAddr);
    bytes.append(reinterpret_cast<const char*>(&pRecord->m_foreign), sizeof(pRecord->m_foreign));
    return static_cast<size_t>(SipHash24(ProcessSipKey(), bytes.data(), bytes.size()));
}

void CDeviceList::Clear() {
    m_index.clear();
    m_records.clear();
    m_nextKey = 0;
    m_full = false;
}

void CDeviceList::SetRange(bool exact, uint32_t begin, uint32_t end) {
    m_exact = exact;
    m_begin = begin;
    m_end = end;
}

bool CDeviceList::InRange(const CDiscoveryBean& record) const {
    uint32_t address = 0;
    return !m_exact ||
           (ParseIpv4(record.m_ipAddr, &address) && address >= m_begin && address <= m_end);
}

int CDeviceList::Add(const CDiscoveryBean& record) {
    if (!InRange(record)) {
        return -1;
    }
    if (m_index.find(&record) != m_index.end()) {
        LOG_DEBUG_LIMITED("device already exist, skip insert");
        return -1;
    }
    if (m_records.size() >= kMaxListedDevices) {
        if (!m_full) {
            m_full = true;
            LOG_WARN("device list full(%lu), further devices not listed",
                     static_cast<unsigned long>(kMaxListedDevices));
        }
        return -1;
    }
    const int key = m_nextKey++;
    auto it = m_records.emplace(key, record).first;
    m_index.insert(&it->second);
    return key;
}

void CDeviceList::Unindex(const CDiscoveryBean* pRecord) {
    auto range = m_index.equal_range(pRecord);
    for (auto it = range.first; it != range.second; ++it) {
        if (*it == pRecord) {
            m_index.erase(it);
            return;
        }
    }
}

bool CDeviceList::Replace(int key, const CDiscoveryBean& record) {
    auto it = m_records.find(key);
    if (it == m_records.end()) {
        return false;
    }
    Unindex(&it->second);
    it->second = record;
    m_index.insert(&it->second);
    return true;
}

const CDiscoveryBean* CDeviceList::Find(int key) const {
    auto it = m_records.find(key);
    return it == m_records.end() ? nullptr : &it->second;
}

std::vector<CDiscoveryBean> CDeviceList::Records() const {
    std::vector<CDiscoveryBean> records;
    records.reserve(m_records.size());
    for (const auto& entry : m_records) {
        records.push_back(entry.second);
    }
    return records;
}
