#include "mc_answer.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "common/common_charset.h"
#include "common/common_error.h"
#include "common/common_log.h"
#include "mc_message_table.h"
#include "mc_net.h"
#include "soap_wire.h"

namespace {

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

// The first non-empty piece of XAddrs cut at every 'h', 't', 'p', '/' and ':': the host of
// the first address for the usual "http://a.b.c.d[:port]/path".
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

// Fills hardware, serial number, version, MAC and the brand flag of a record from the
// blank-separated ONVIF scopes of a probe match.
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

}  // namespace

bool MatchToRecord(const tns__ProbeMatchType& stMatch, CDiscoveryBean* pRecord) {
    if (stMatch.tns__XAddrs == nullptr) {
        LOG_ERROR_LIMITED("tns__XAddrs is null");
        return false;
    }
    const std::string host = HostOfXAddrs(stMatch.tns__XAddrs);
    if (!host.empty()) {
        pRecord->m_ipAddr = host;
    }
    if (stMatch.tns__Scopes == nullptr) {
        LOG_ERROR_LIMITED("tns_Scopes is null");
        return false;
    }
    if (stMatch.tns__Scopes->__item == nullptr || *stMatch.tns__Scopes->__item == '\0') {
        LOG_ERROR_LIMITED("tns_Scopes->__item is null");
        return false;
    }
    FillFromScopes(stMatch.tns__Scopes->__item, pRecord);
    return true;
}

// The answer handlers the serve routine calls: the source check first, then what the answer
// carries goes into the outcome.
class CAnswerPath::CHandler : public ISoapAnswerHandler {
public:
    explicit CHandler(const std::string& messageId) : m_messageId(messageId) {}

    // Where the datagram being served came in, and what it gives.
    void Begin(const Arrival* pArrival, AnswerOutcome* pOutcome) {
        m_pArrival = pArrival;
        m_pOutcome = pOutcome;
    }

    int OnProbeMatches(struct soap* pSoap, struct tns__ProbeMatchesType* pstProbeMatches) override {
        return OnMatches(pSoap, pstProbeMatches, "ProbeMatches");
    }
    int OnKorvaneProbeMatches(struct soap* pSoap,
                              struct tns__ProbeMatchesType* pstProbeMatches) override {
        return OnMatches(pSoap, pstProbeMatches, "KorvaneProbeMatches");
    }
    int OnSetDeviceAddrRsp(struct soap* pSoap, struct tns__SetDeviceAddrRspType* pstRsp) override {
        return OnConfigRsp(pSoap, pstRsp, "SetDeviceAddrRsp");
    }
    int OnSetDefaultCfgRsp(struct soap* pSoap, struct tns__SetDefaultCfgRspType* pstRsp) override {
        return OnConfigRsp(pSoap, pstRsp, "SetDefaultCfgRsp");
    }
    int OnSetDefaultPasswdRsp(struct soap* pSoap,
                              struct tns__SetDefaultPasswdRspType* pstRsp) override {
        return OnConfigRsp(pSoap, pstRsp, "SetDefaultPasswdRsp");
    }

private:
    // true when the message (its header in the context) relates to the client's message id.
    bool RelatesToClient(const struct soap* pSoap) const {
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
        return pRelatesTo != nullptr && m_messageId == pRelatesTo;
    }

    int OnMatches(struct soap* pSoap, const tns__ProbeMatchesType* pstProbeMatches,
                  const char* pElement) {
        if (!RelatesToClient(pSoap)) {
            return ERR_INVALID_PARAM;
        }
        if (pstProbeMatches == nullptr) {
            LOG_ERROR_LIMITED("pstProbeMatches is null");
            return ERR_INVALID_PARAM;
        }
        LogAccepted(pElement);
        TakeMatches(*pstProbeMatches);
        return RESULT_OK;
    }

    // Each probe match (at most kMatchesPerDatagram) as a record that names the interface its
    // datagram came in on.
    void TakeMatches(const tns__ProbeMatchesType& stProbeMatches) {
        const int count = std::min(stProbeMatches.__sizeProbeMatch, kMatchesPerDatagram);
        if (count < stProbeMatches.__sizeProbeMatch) {
            LOG_WARN_LIMITED("probe matches(%d) beyond %d dropped", stProbeMatches.__sizeProbeMatch,
                             kMatchesPerDatagram);
        }
        const std::string localAddr =
            m_pArrival->localAddress != 0 ? AddressText(m_pArrival->localAddress) : std::string();
        for (int i = 0; i < count; ++i) {
            CDiscoveryBean record;
            if (MatchToRecord(stProbeMatches.tns__ProbeMatch[i], &record)) {
                record.m_interface = m_pArrival->interfaceName;
                record.m_localAddr = localAddr;
                m_pOutcome->records.push_back(std::move(record));
            }
        }
    }

    void LogAccepted(const char* pElement) const {
        LOG_DEBUG_LIMITED("answer(%s) from %s:%u on %s %s", pElement,
                          AddressText(m_pArrival->sourceAddress).c_str(),
                          static_cast<unsigned>(m_pArrival->sourcePort), m_pArrival->interfaceName,
                          AddressText(m_pArrival->localAddress).c_str());
    }

    // The three configuration responses share their record layout. A response whose body
    // element is nil (xsi:nil) arrives as a null record.
    template <typename TRsp>
    int OnConfigRsp(struct soap* pSoap, const TRsp* pstRsp, const char* pElement) {
        if (!RelatesToClient(pSoap)) {
            LOG_DEBUG_LIMITED("answer(%s) not for this client", pElement);
            return ERR_INVALID_PARAM;
        }
        if (pstRsp == nullptr) {
            LOG_ERROR_LIMITED("pstRsp is null");
            return ERR_INVALID_PARAM;
        }
        const struct tns__OpUserInfo* pstUser = pstRsp->tns__OpUserInfo;
        const struct tns__DeviceInfo* pstDevice = pstRsp->tns__DeviceInfo;
        if (pstUser == nullptr || pstDevice == nullptr || pstDevice->tns__DeviceId == nullptr) {
            return ERR_INVALID_PARAM;
        }
        LogAccepted(pElement);
        m_pOutcome->completes = true;
        m_pOutcome->msgSeq = static_cast<int32_t>(pstUser->tns__MsgSeq);
        m_pOutcome->deviceId = pstDevice->tns__DeviceId;
        m_pOutcome->source = m_pArrival->sourceAddress;
        m_pOutcome->result = ConvertResult(pstRsp->tns__result);
        return RESULT_OK;
    }

    const std::string m_messageId;
    const Arrival* m_pArrival = nullptr;
    AnswerOutcome* m_pOutcome = nullptr;
};

CAnswerPath::CAnswerPath(const std::string& messageId)
    : m_pHandler(new CHandler(messageId)), m_pSoap(soap_new()) {
    if (m_pSoap == nullptr) {
        LOG_ERROR("new pSoap failed");
        return;
    }
    SoapInitContext(m_pSoap);
    SoapSetAnswerHandler(m_pSoap, m_pHandler.get());
}

CAnswerPath::~CAnswerPath() {
    if (m_pSoap != nullptr) {
        soap_destroy(m_pSoap);
        soap_end(m_pSoap);
        soap_free(m_pSoap);
    }
}

int CAnswerPath::Serve(const char* pData, size_t size, const Arrival& arrival,
                       AnswerOutcome* pOutcome) {
    *pOutcome = AnswerOutcome();
    if (m_pSoap == nullptr) {
        return ERR_NO_MEMORY;
    }
    m_pHandler->Begin(&arrival, pOutcome);
    const int rc = SoapServe(m_pSoap, pData, size);
    m_pHandler->Begin(nullptr, nullptr);
    // The message memory goes now; the toolkit's temporary data (namespace stack, hash
    // tables) is cleared when the next message begins, so soap_end would clear it twice.
    soap_destroy(m_pSoap);
    soap_dealloc(m_pSoap, nullptr);
    return rc;
}
