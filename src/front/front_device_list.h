#pragma once

// The device list as both programs show it: which records a search lists, the columns and
// the text of each cell.

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <unordered_set>
#include <vector>

#include "mc/mc_observer.h"

// The columns of the list, in order.
enum DeviceColumn {
    DEVICE_COL_IP,
    DEVICE_COL_TYPE,
    DEVICE_COL_SERIAL,
    DEVICE_COL_MAC,
    DEVICE_COL_VERSION,
    DEVICE_COL_COUNT,
};

// The string id of a column's title.
int GetColumnTitleId(int column);
// The text a column shows of a device (narrow text, as the record holds it).
std::string GetDeviceCell(const CDiscoveryBean& device, int column);

// The background of a list row by its index, as 0xRRGGBB: rows 0, 2, 4, ... are
// (248, 252, 255), the others (234, 238, 241), also after a sort.
uint32_t RowBackgroundRgb(int row);

// A MAC text as the list shows it: separators ':' and '-' that the device sent are dropped,
// letters go to upper case, and a '-' stands between each two characters:
// 0012abcdef01 and 00:12:ab:cd:ef:01 both show as 00-12-AB-CD-EF-01, abc as AB-C.
// A character of several bytes in the locale's code set stays whole.
std::string FormatMacAddr(const std::string& mac);

// Most devices one search lists: a flood of made-up devices must not take every byte of
// memory and every cycle of the programs that show it.
const size_t kMaxListedDevices = 65536;

// The records of one search. A record is listed unless, in an exact search, its address is
// no dotted quad or lies outside the range, or it equals a listed record in all six fields,
// or kMaxListedDevices are listed already (one warning line tells when that is first met).
// Each listed record has a key: 0, 1, 2, ... in the order of listing since the last Clear.
// The duplicate look-up is a keyed hash, so that its cost does not grow with the list.
class CDeviceList {
public:
    CDeviceList() = default;
    CDeviceList(const CDeviceList&) = delete;
    CDeviceList& operator=(const CDeviceList&) = delete;

    // Empties the list; keys start again from 0. The range stays.
    void Clear();
    // What the list takes: every address (exact false), or only those of the inclusive range
    // [begin, end].
    void SetRange(bool exact, uint32_t begin, uint32_t end);

    // Lists the record unless the rule drops it. Its key, or -1 when dropped.
    int Add(const CDiscoveryBean& record);
    // Replaces the record listed under a key (the device took a new address). false when no
    // record has that key.
    bool Replace(int key, const CDiscoveryBean& record);
    // The record listed under a key; null when none.
    const CDiscoveryBean* Find(int key) const;

    size_t Size() const { return m_records.size(); }
    // The listed records in the order of their keys.
    std::vector<CDiscoveryBean> Records() const;

private:
    struct CHash {
        size_t operator()(const CDiscoveryBean* pRecord) const;
    };
    struct CEqual {
        bool operator()(const CDiscoveryBean* pA, const CDiscoveryBean* pB) const {
            return *pA == *pB;
        }
    };
    bool InRange(const CDiscoveryBean& record) const;
    void Unindex(const CDiscoveryBean* pRecord);

    bool m_exact = false;
    uint32_t m_begin = 0;
    uint32_t m_end = 0;
    int m_nextKey = 0;
    bool m_full = false;  // the cap was met since the last Clear
    std::map<int, CDiscoveryBean> m_records;
    // The records of m_records, found by content.
    std::unordered_multiset<const CDiscoveryBean*, CHash, CEqual> m_index;
};
