#include "mc_answer.h"

#include <cstring>
#include <map>

#include "common/common_charset.h"
#include "common/common_log.h"

namespace {

const char kUrnPrefix[] = "urn:uuid:";

// Scope prefixes, in the order in which an item is tested against them.
enum ScopeKind { SCOPE_HARDWARE, SCOPE_NAME, SCOPE_MACADDR, SCOPE_VERSION, SCOPE_SERIAL };
const char* const kScopePrefixes[] = {
    "onvif://www.onvif.org/hardware/", "onvif://www.onvif.org/name/",
    "onvif://www.onvif.org/macaddr/",  "onvif://www.onvif.org/version/",
    "onvif://www.onvif.org/serial/",
};
const int kScopeCount = 5;

// Names that mark a device as the maker's own.
const char* const kBrands[] = {"Ostrel", "Korvane"};

// The item less the length of its prefix; empty when it is shorter.
std::string AfterPrefix(const std::string& item, int kind) {
    const size_t length = std::strlen(kScopePrefixes[kind]);
    return item.size() > length ? item.substr(length) : std::string();
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

std::string HostOfXAddrs(const char* pXAddrs) {
    std::string piece;
    for (const char* p = pXAddrs; *p != '\0'; ++p) {
        if (std::strchr("htp/:", *p) != nullptr) {
            if (!piece.empty()) {
                return piece;
            }
        } else {
            piece += *p;
        }
    }
    return piece;
}

void FillFromScopes(const char* pScopes, CDiscoveryBean* pRecord) {
    std::map<int, std::string> values;
    const char* p = pScopes;
    while (*p != '\0') {
        while (IsBlank(*p)) {
            ++p;
        }
        const char* pStart = p;
        while (*p != '\0' && !IsBlank(*p)) {
            ++p;
        }
        const std::string item(pStart, p);
        for (int kind = 0; kind < kScopeCount && !item.empty(); ++kind) {
            if (item.find(kScopePrefixes[kind]) == std::string::npos) {
                continue;
            }
            if (values.count(kind) == 0) {
                values[kind] = kind == SCOPE_HARDWARE
                                   ? ConvertToString(CHARSET_UTF8, CHARSET_ANSI, item.c_str())
                                   : item;
            }
            break;
        }
    }
    pRecord->m_foreign = 1;
    for (const auto& entry : values) {
        const std::string value = AfterPrefix(entry.second, entry.first);
        switch (entry.first) {
        case SCOPE_HARDWARE:
            pRecord->m_hardware = value;
            break;
        case SCOPE_NAME:
            for (const char* pBrand : kBrands) {
                if (value.find(pBrand) != std::string::npos) {
                    pRecord->m_foreign = 0;
                }
            }
            break;
        case SCOPE_MACADDR:
            pRecord->m_macAddr = value;
            break;
        case SCOPE_VERSION:
            pRecord->m_version = value;
            break;
        case SCOPE_SERIAL:
            pRecord->m_serialNo = value;
            break;
        }
    }
}

bool CDiscoveryThread::CheckSoapSrc(const struct soap* pSoap) const {
    const struct SOAP_ENV__Header* pstHeader = pSoap->header;
    if (pstHeader == nullptr) {
        return false;
    }
    const char* pRelatesTo = nullptr;
    if (pstHeader->wsa__RelatesTo != nullptr) {
        pRelatesTo = pstHeader->wsa__RelatesTo->__item;
    } else if (pstHeader->wsa5__RelatesTo != nullptr) {
        pRelatesTo = pstHeader->wsa5__RelatesTo->__item;
    }
    return pRelatesTo != nullptr && kUrnPrefix + m_uuid == pRelatesTo;
}

void CDiscoveryThread::OnProbeMatches(const tns__ProbeMatchesType* pstProbeMatches) {
    if (pstProbeMatches == nullptr) {
        LOG_ERROR("pstProbeMatches is null");
        return;
    }
    for (int i = 0; i < pstProbeMatches->__sizeProbeMatch; ++i) {
        const struct tns__ProbeMatchType& stMatch = pstProbeMatches->tns__ProbeMatch[i];
        CDiscoveryBean record;
        if (stMatch.tns__XAddrs == nullptr) {
            LOG_ERROR("tns__XAddrs is null");
            continue;
        }
        const std::string host = HostOfXAddrs(stMatch.tns__XAddrs);
        if (!host.empty()) {
            record.m_ipAddr = host;
        }
        if (stMatch.tns__Scopes == nullptr) {
            LOG_ERROR("tns_Scopes is null");
            continue;
        }
        if (stMatch.tns__Scopes->__item == nullptr || *stMatch.tns__Scopes->__item == '\0') {
            LOG_ERROR("tns_Scopes->__item is null");
            continue;
        }
        FillFromScopes(stMatch.tns__Scopes->__item, &record);
        m_subject.Notify(&record);
    }
}

int CAnswerHandler::OnProbeMatches(struct soap* pSoap,
                                   struct tns__ProbeMatchesType* pstProbeMatches) {
    if (!m_pClient->CheckSoapSrc(pSoap)) {
        return SOAP_NO_METHOD;
    }
    m_pClient->OnProbeMatches(pstProbeMatches);
    return SOAP_OK;
}

int CAnswerHandler::OnKorvaneProbeMatches(struct soap* pSoap,
                                          struct tns__ProbeMatchesType* pstProbeMatches) {
    return OnProbeMatches(pSoap, pstProbeMatches);
}

// A response whose body element is nil (xsi:nil) arrives as a null record.
template <typename TRsp>
int CAnswerHandler::OnConfigRsp(struct soap* pSoap, const TRsp* pstRsp) {
    if (!m_pClient->CheckSoapSrc(pSoap)) {
        LOG_DEBUG("CheckSoapSrc failed");
        return SOAP_NO_METHOD;
    }
    if (pstRsp == nullptr) {
        LOG_ERROR("pstRsp is null");
        return SOAP_NO_DATA;
    }
    const struct tns__OpUserInfo* pstUser = pstRsp->tns__OpUserInfo;
    const struct tns__DeviceInfo* pstDevice = pstRsp->tns__DeviceInfo;
    if (pstUser == nullptr || pstDevice == nullptr || pstDevice->tns__DeviceId == nullptr) {
        return SOAP_NO_DATA;
    }
    const int code = ConvertResult(pstRsp->tns__result);
    m_pClient->Messages().CompleteResponse(static_cast<int32_t>(pstUser->tns__MsgSeq),
                                           pstDevice->tns__DeviceId, code);
    return SOAP_OK;
}

int CAnswerHandler::OnSetDeviceAddrRsp(struct soap* pSoap,
                                       struct tns__SetDeviceAddrRspType* pstRsp) {
    return OnConfigRsp(pSoap, pstRsp);
}

int CAnswerHandler::OnSetDefaultCfgRsp(struct soap* pSoap,
                                       struct tns__SetDefaultCfgRspType* pstRsp) {
    return OnConfigRsp(pSoap, pstRsp);
}

int CAnswerHandler::OnSetDefaultPasswdRsp(struct soap* pSoap,
                                          struct tns__SetDefaultPasswdRspType* pstRsp) {
    return OnConfigRsp(pSoap, pstRsp);
}
