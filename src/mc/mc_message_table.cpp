#include "mc_message_table.h"

#include <chrono>

#include "common/common_error.h"
#include "common/common_log.h"
#include "mc_net.h"

int CMessageTable::Register(int32_t msgSeq, const std::string& deviceId, uint32_t address) {
    std::lock_guard<std::mutex> guard(m_lock);
    MessageEntry entry;
    entry.deviceId = deviceId;
    entry.address = address;
    if (!m_map.emplace(msgSeq, entry).second) {
        LOG_ERROR("message(%d) already exists", msgSeq);
        return ERR_ALREADY_EXISTS;
    }
    return RESULT_OK;
}

int CMessageTable::WaitResponse(int32_t msgSeq, int timeoutMs, int* pResult) {
    if (pResult == nullptr) {
        LOG_ERROR("invalid param");
        return ERR_INVALID_PARAM;
    }
    std::unique_lock<std::mutex> lock(m_lock);
    auto it = m_map.find(msgSeq);
    if (it == m_map.end()) {
        LOG_ERROR("message(%d) not found", msgSeq);
        return ERR_NOT_FOUND;
    }
    // Only this waiter erases its entry, so the iterator stays valid across the wait.
    MessageEntry& entry = it->second;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    const bool answered =
        m_event.wait_until(lock, deadline, [&entry] { return entry.answered != 0; });
    int rc = ERR_TIMEOUT;
    if (answered) {
        *pResult = entry.result;
        rc = RESULT_OK;
    }
    m_map.erase(it);
    return rc;
}

void CMessageTable::CompleteResponse(int32_t msgSeq, const std::string& deviceId, uint32_t source,
                                     int result) {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        auto it = m_map.find(msgSeq);
        if (it == m_map.end() || it->second.deviceId != deviceId || it->second.answered != 0) {
            return;
        }
        // Anyone on the segment sees a request's number and device id; a unicast request's
        // answer counts only from the device it went to.
        if (it->second.address != 0 && it->second.address != source) {
            LOG_WARN_LIMITED("answer to message(%d) from %s, not from its device", msgSeq,
                             AddressText(source).c_str());
            return;
        }
        it->second.answered = 1;
        it->second.result = result;
    }
    m_event.notify_all();
}

size_t CMessageTable::Size() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_map.size();
}

int ConvertResult(int soapResult) {
    switch (soapResult) {
    case 256:
        return RESULT_OK;
    case 258:
    case 259:
    case 260:
    case 261:
    case 262:
        return ERR_DEVICE_BASE + (soapResult - 258);
    default:
        LOG_ERROR_LIMITED("unknown soap result(%d)", soapResult);
        return ERR_GENERAL;
    }
}
