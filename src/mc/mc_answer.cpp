#include "mc_answer.h"

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

// The answer handlers the serve routine calls: the source check first, then the receiver.
class CAnswerPath::CHandler : public ISoapAnswerHandler {
public:
    explicit CHandler(IAnswerReceiver* pReceiver) : m_pReceiver(pReceiver) {}

    // Where the datagram being served came in.
    void SetArrival(const Arrival* pArrival) { m_pArrival = pArrival; }

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
    int OnMatches(struct soap* pSoap, const tns__ProbeMatchesType* pstProbeMatches,
                  const char* pElement) {
        if (!m_pReceiver->CheckSoapSrc(pSoap)) {
            return ERR_INVALID_PARAM;
        }
        LogAccepted(pElement);
        m_pReceiver->OnProbeMatches(pstProbeMatches, *m_pArrival);
        return RESULT_OK;
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
        if (!m_pReceiver->CheckSoapSrc(pSoap)) {
            LOG_DEBUG_LIMITED("CheckSoapSrc failed");
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
        m_pReceiver->CompleteResponse(static_cast<int32_t>(pstUser->tns__MsgSeq),
                                      pstDevice->tns__DeviceId, m_pArrival->sourceAddress,
                                      ConvertResult(pstRsp->tns__result));
        return RESULT_OK;
    }

    IAnswerReceiver* m_pReceiver;
    const Arrival* m_pArrival = nullptr;
};

CAnswerPath::CAnswerPath(IAnswerReceiver* pReceiver)
    : m_pHandler(new CHandler(pReceiver)), m_pSoap(soap_new()) {
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

int CAnswerPath::Serve(const char* pData, size_t size, const Arrival& arrival) {
    if (m_pSoap == nullptr) {
        return ERR_NO_MEMORY;
    }
    m_pHandler->SetArrival(&arrival);
    const int rc = SoapServe(m_pSoap, pData, size);
    m_pHandler->SetArrival(nullptr);
    // The message memory goes now; the toolkit's temporary data (namespace stack, hash
    // tables) is cleared when the next message begins, so soap_end would clear it twice.
    soap_destroy(m_pSoap);
    soap_dealloc(m_pSoap, nullptr);
    return rc;
}
