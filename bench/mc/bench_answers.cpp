#include "bench_answers.h"

std::string ProbeMatchesAnswer(const std::string& relatesTo, int index) {
    const std::string ip =
        "198.18." + std::to_string(1 + index / 250) + "." + std::to_string(1 + index % 250);
    std::string scopes;
    for (const char* pScope :
         {"type/video_encoder", "type/Network_Video_Transmitter", "Profile/Streaming",
          "location/office", "hardware/KV-PTZ5030", "name/Korvane_KV-PTZ5030",
          "macaddr/00:1b:89:01:00:00", "version/V5.3.10.build230347"}) {
        scopes += std::string("onvif://www.onvif.org/") + pScope + " ";
    }
    scopes += "onvif://www.onvif.org/serial/FL" + std::to_string(index);
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
           "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://www.w3.org/2003/05/soap-envelope\" "
           "xmlns:wsa=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\" "
           "xmlns:tns=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\" "
           "xmlns:dn=\"http://www.onvif.org/ver10/network/wsdl\"><SOAP-ENV:Header>"
           "<wsa:MessageID>urn:uuid:5a1e0000-0000-4000-8000-" +
           std::to_string(100000000000 + index) + "</wsa:MessageID><wsa:RelatesTo>" + relatesTo +
           "</wsa:RelatesTo><wsa:To>http://schemas.xmlsoap.org/ws/2004/08/addressing/role/"
           "anonymous</wsa:To><wsa:Action>http://schemas.xmlsoap.org/ws/2005/04/discovery/"
           "ProbeMatches</wsa:Action></SOAP-ENV:Header><SOAP-ENV:Body><tns:ProbeMatches>"
           "<tns:ProbeMatch><wsa:EndpointReference><wsa:Address>urn:uuid:fcc9f21b-9fa5-4894-a6dd-"
           "1dd2c02f56af</wsa:Address></wsa:EndpointReference><tns:Types>"
           "dn:NetworkVideoTransmitter</tns:Types><tns:Scopes>" +
           scopes + "</tns:Scopes><tns:XAddrs>http://" + ip +
           "/onvif/device_service</tns:XAddrs><tns:MetadataVersion>1</tns:MetadataVersion>"
           "</tns:ProbeMatch></tns:ProbeMatches></SOAP-ENV:Body></SOAP-ENV:Envelope>";
}
