#pragma once

// Device records and the observers that receive them from the discovery client.

#include <cstdint>
#include <list>
#include <mutex>
#include <string>

#include "common/common_error.h"

// One device as seen in a probe match. Two records are equal when their six device fields
// are; where the answer came in is carried along but is no part of the device.
class CDiscoveryBean {
public:
    std::string m_ipAddr = "0.0.0.0";
    std::string m_hardware;
    std::string m_serialNo;
    std::string m_version;
    std::string m_macAddr;
    int32_t m_foreign = 0;  // 0: the device's name marks it as the maker's; 1: any other

    // The interface the answer came in on and our address there (dotted); empty when unknown.
    std::string m_interface;
    std::string m_localAddr;

    bool operator==(const CDiscoveryBean& other) const {
        return m_ipAddr == other.m_ipAddr && m_hardware == other.m_hardware &&
               m_serialNo == other.m_serialNo && m_version == other.m_version &&
               m_macAddr == other.m_macAddr && m_foreign == other.m_foreign;
    }
    bool operator!=(const CDiscoveryBean& other) const { return !(*this == other); }
};

template <class T>
class IObserver {
public:
    virtual ~IObserver() = default;
    // Runs on a thread of the discovery client, one call at a time, in the order the answers
    // came in; the record lives only for the call.
    virtual void Update(const T* pData) = 0;
};

// Registry of observers. Notify holds the lock while it calls every observer, so an observer
// that Detach has removed gets no Update once Detach has returned. Update must not call
// Attach, Detach or DetachAll. The subject never owns or deletes its observers.
template <class T>
class CSubject {
public:
    virtual ~CSubject() { DetachAll(); }

    int Attach(IObserver<T>* pObserver) {
        if (pObserver == nullptr) {
            return ERR_INVALID_PARAM;
        }
        std::lock_guard<std::recursive_mutex> guard(m_lock);
        for (IObserver<T>* pItem : m_observers) {
            if (pItem == pObserver) {
                return ERR_ALREADY_ATTACHED;
            }
        }
        m_observers.push_back(pObserver);
        return RESULT_OK;
    }

    int Detach(IObserver<T>* pObserver) {
        if (pObserver == nullptr) {
            return ERR_INVALID_PARAM;
        }
        std::lock_guard<std::recursive_mutex> guard(m_lock);
        for (auto it = m_observers.begin(); it != m_observers.end(); ++it) {
            if (*it == pObserver) {
                m_observers.erase(it);
                return RESULT_OK;
            }
        }
        return ERR_NOT_FOUND;
    }

    void Notify(const T* pData) {
        std::lock_guard<std::recursive_mutex> guard(m_lock);
        for (IObserver<T>* pItem : m_observers) {
            pItem->Update(pData);
        }
    }

    void DetachAll() {
        std::lock_guard<std::recursive_mutex> guard(m_lock);
        m_observers.clear();
    }

private:
    std::list<IObserver<T>*> m_observers;
    std::recursive_mutex m_lock;
};
