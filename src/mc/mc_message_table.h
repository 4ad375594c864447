#pragma once

// Configuration requests waiting for their answers.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

// Pending configuration requests, keyed by message number. A request registers its entry
// before the request leaves, so that an answer arriving at once finds it; the waiter removes
// it in every case.
class CMessageTable {
public:
    // 0, or 10007 when the number is already pending. A request sent to one device's
    // address takes its answer from that address only; address 0 (a broadcast request)
    // takes it from any sender.
    int Register(int32_t msgSeq, const std::string& deviceId, uint32_t address);
    // Waits up to timeoutMs for the answer, then removes the entry. 0 with the converted
    // result in *pResult; 10009 without an answer; 10008 when the entry is unknown.
    int WaitResponse(int32_t msgSeq, int timeoutMs, int* pResult);
    // Discovery thread: completes the entry whose number and device id both match, when the
    // answer came from the address the entry allows (source in host byte order).
    void CompleteResponse(int32_t msgSeq, const std::string& deviceId, uint32_t source, int result);
    size_t Size();

private:
    struct MessageEntry {
        int answered = 0;
        int result = 0;
        std::string deviceId;
        uint32_t address = 0;  // host byte order; 0: any sender
    };
    std::mutex m_lock;
    std::condition_variable m_event;
    std::map<int32_t, MessageEntry> m_map;
};

// Device result of a configuration answer to the system's result code.
int ConvertResult(int soapResult);
