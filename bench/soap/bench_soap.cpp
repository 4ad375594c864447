// Receive path from memory: one ProbeMatches envelope of about 1.3 KB (one match, five scopes)
// parsed, dispatched to an answer handler and cleaned up, per iteration, on one thread.

#include <benchmark/benchmark.h>

#include <string>

#include "soap_wire.h"

namespace {

class CCountingHandler : public ISoapAnswerHandler {
public:
    int OnProbeMatches(struct soap*, struct tns__ProbeMatchesType* pst) override {
        m_nMatches += pst->__sizeProbeMatch;
        return 0;
    }
    int OnKorvaneProbeMatches(struct soap*, struct tns__ProbeMatchesType*) override { return 0; }
    int OnSetDeviceAddrRsp(struct soap*, struct tns__SetDeviceAddrRspType*) override { return 0; }
    int OnSetDefaultCfgRsp(struct soap*, struct tns__SetDefaultCfgRspType*) override { return 0; }
    int OnSetDefaultPasswdRsp(struct soap*, struct tns__SetDefaultPasswdRspType*) override {
        return 0;
    }

    long m_nMatches = 0;
};

std::string ProbeMatchesEnvelope() {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://www.w3.org/2003/05/soap-envelope\""
           " xmlns:wsa=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\""
           " xmlns:tns=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\""
           " xmlns:dn=\"http://www.onvif.org/ver10/network/wsdl\">"
           "<SOAP-ENV:Header>"
           "<wsa:MessageID>urn:uuid:a4f0c3e2-6b1d-4e8a-9c27-3d5f1b0e7a46</wsa:MessageID>"
           "<wsa:RelatesTo>urn:uuid:6b1c7e52-3f0a-4d2b-9a61-0c5e8d2f4a17</wsa:RelatesTo>"
           "<wsa:To SOAP-ENV:mustUnderstand=\"true\">"
           "http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous</wsa:To>"
           "<wsa:Action SOAP-ENV:mustUnderstand=\"true\">"
           "http://schemas.xmlsoap.org/ws/2005/04/discovery/ProbeMatches</wsa:Action>"
           "</SOAP-ENV:Header><SOAP-ENV:Body><tns:ProbeMatches><tns:ProbeMatch>"
           "<wsa:EndpointReference><wsa:Address>urn:uuid:1419d68a-1dd2-11b2-a105-00118822c6a4"
           "</wsa:Address></wsa:EndpointReference>"
           "<tns:Types>dn:NetworkVideoTransmitter</tns:Types>"
           "<tns:Scopes>onvif://www.onvif.org/type/video_encoder "
           "onvif://www.onvif.org/hardware/KVC-2231F "
           "onvif://www.onvif.org/serial/K21A0047713 "
           "onvif://www.onvif.org/mac/00-11-88-22-C6-A4 "
           "onvif://www.onvif.org/version/V5.5.102-build230816</tns:Scopes>"
           "<tns:XAddrs>http://192.168.1.64/onvif/device_service</tns:XAddrs>"
           "<tns:MetadataVersion>1</tns:MetadataVersion>"
           "</tns:ProbeMatch></tns:ProbeMatches></SOAP-ENV:Body></SOAP-ENV:Envelope>";
}

void BM_ServeProbeMatches(benchmark::State& state) {
    const std::string strEnvelope = ProbeMatchesEnvelope();
    CCountingHandler handler;
    struct soap* pSoap = soap_new();
    SoapInitContext(pSoap);
    SoapSetAnswerHandler(pSoap, &handler);
    for (auto _ : state) {
        const int nResult = SoapServe(pSoap, strEnvelope.data(), strEnvelope.size());
        soap_destroy(pSoap);
        soap_end(pSoap);
        if (nResult != 0) {
            state.SkipWithError("envelope refused");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(strEnvelope.size()));
    state.counters["envelope_bytes"] = static_cast<double>(strEnvelope.size());
    state.counters["matches"] = static_cast<double>(handler.m_nMatches);
    soap_free(pSoap);
}
BENCHMARK(BM_ServeProbeMatches);

}  // namespace

BENCHMARK_MAIN();
