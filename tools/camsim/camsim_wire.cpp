#include "camsim_wire.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlwriter.h>

#include <cstring>
#include <sstream>

namespace {

const char kSoap12[] = "http://www.w3.org/2003/05/soap-envelope";
const char kSoap11[] = "http://schemas.xmlsoap.org/soap/envelope/";
const char kWsa[] = "http://schemas.xmlsoap.org/ws/2004/08/addressing";
const char kWsa5[] = "http://www.w3.org/2005/08/addressing";
const char kWsd[] = "http://schemas.xmlsoap.org/ws/2005/04/discovery";
const char kOnvifNetwork[] = "http://www.onvif.org/ver10/network/wsdl";
const char kAnonymous[] = "http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous";

void IgnoreXmlError(void*, const char*, ...) {}

bool Is(const xmlNode* node, const char* ns, const char* name) {
    return node && node->type == XML_ELEMENT_NODE && node->ns && node->ns->href &&
           std::strcmp(reinterpret_cast<const char*>(node->ns->href), ns) == 0 &&
           std::strcmp(reinterpret_cast<const char*>(node->name), name) == 0;
}

const xmlNode* FirstElement(const xmlNode* node) {
    for (; node; node = node->next) {
        if (node->type == XML_ELEMENT_NODE) {
            return node;
        }
    }
    return nullptr;
}

// The first child of parent with this name; in a record the first occurrence wins.
const xmlNode* Child(const xmlNode* parent, const char* ns, const char* name) {
    for (const xmlNode* c = parent ? parent->children : nullptr; c; c = c->next) {
        if (Is(c, ns, name)) {
            return c;
        }
    }
    return nullptr;
}

std::string Text(const xmlNode* node) {
    if (!node) {
        return "";
    }
    xmlChar* content = xmlNodeGetContent(node);
    std::string text = content ? reinterpret_cast<const char*>(content) : "";
    xmlFree(content);
    return text;
}

std::string Trim(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos) {
        return "";
    }
    size_t end = text.find_last_not_of(" \t\r\n");
    return text.substr(begin, end - begin + 1);
}

RequestKind KindOf(const xmlNode* body) {
    static const struct {
        const char* name;
        RequestKind kind;
    } kKinds[] = {
        {"Probe", RequestKind::kProbe},
        {"KorvaneProbe", RequestKind::kKorvaneProbe},
        {"SetDeviceAddrReq", RequestKind::kSetDeviceAddr},
        {"SetDefaultPasswdReq", RequestKind::kSetDefaultPasswd},
        {"SetDefaultCfgReq", RequestKind::kSetDefaultCfg},
    };
    for (const auto& k : kKinds) {
        if (Is(body, kWsd, k.name)) {
            return k.kind;
        }
    }
    return RequestKind::kNone;
}

void ReadConfig(const xmlNode* body, Request& r) {
    const xmlNode* op = Child(body, kWsd, "OpUserInfo");
    r.hasOpUser = op != nullptr;
    r.userName = Text(Child(op, kWsd, "UserName"));
    r.authCode = Text(Child(op, kWsd, "AuthCode"));
    r.userId = Text(Child(op, kWsd, "UserId"));
    r.msgSeq = Trim(Text(Child(op, kWsd, "MsgSeq")));
    const xmlNode* device = Child(body, kWsd, "DeviceInfo");
    r.hasDevice = device != nullptr;
    r.serialNo = Text(Child(device, kWsd, "DeviceSerialNo"));
    r.deviceId = Text(Child(device, kWsd, "DeviceId"));
    const xmlNode* addr = Child(body, kWsd, "DeviceAddrInfo");
    r.hasAddr = addr != nullptr;
    r.newIp = Trim(Text(Child(addr, kWsd, "DeviceIpaddr")));
    r.newMask = Trim(Text(Child(addr, kWsd, "DeviceIpMask")));
    r.newGateway = Trim(Text(Child(addr, kWsd, "DefaultGW")));
    r.passwordAuthCode = Text(Child(body, kWsd, "PasswordAuthCode"));
}

// Writes one element with text content.
void Element(xmlTextWriterPtr w, const char* name, const std::string& text) {
    xmlTextWriterWriteElement(w, BAD_CAST name, BAD_CAST text.c_str());
}

class Writer {
public:
    Writer() : m_buffer(xmlBufferCreate()), m_writer(xmlNewTextWriterMemory(m_buffer, 0)) {}
    ~Writer() {
        if (m_writer) {
            xmlFreeTextWriter(m_writer);
        }
        xmlBufferFree(m_buffer);
    }
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    // Envelope start and header; the caller writes the body element, then calls Finish.
    xmlTextWriterPtr Begin(const AnswerHeader& header, const std::string& action) {
        xmlTextWriterStartDocument(m_writer, nullptr, "UTF-8", nullptr);
        xmlTextWriterStartElement(m_writer, BAD_CAST "SOAP-ENV:Envelope");
        xmlTextWriterWriteAttribute(m_writer, BAD_CAST "xmlns:SOAP-ENV", BAD_CAST kSoap12);
        xmlTextWriterWriteAttribute(m_writer, BAD_CAST "xmlns:wsa", BAD_CAST kWsa);
        xmlTextWriterWriteAttribute(m_writer, BAD_CAST "xmlns:wsa5", BAD_CAST kWsa5);
        xmlTextWriterWriteAttribute(m_writer, BAD_CAST "xmlns:d", BAD_CAST kWsd);
        xmlTextWriterWriteAttribute(m_writer, BAD_CAST "xmlns:dn", BAD_CAST kOnvifNetwork);
        xmlTextWriterStartElement(m_writer, BAD_CAST "SOAP-ENV:Header");
        Element(m_writer, "wsa:MessageID", header.messageId);
        if (!header.relatesTo.empty()) {
            Element(m_writer, header.wsa5 ? "wsa5:RelatesTo" : "wsa:RelatesTo", header.relatesTo);
        }
        Element(m_writer, "wsa:To", kAnonymous);
        Element(m_writer, "wsa:Action", std::string(kWsd) + "/" + action);
        xmlTextWriterEndElement(m_writer);
        xmlTextWriterStartElement(m_writer, BAD_CAST "SOAP-ENV:Body");
        return m_writer;
    }

    std::string Finish() {
        xmlTextWriterEndDocument(m_writer);  // closes every open element
        xmlFreeTextWriter(m_writer);
        m_writer = nullptr;
        return std::string(reinterpret_cast<const char*>(xmlBufferContent(m_buffer)),
                           static_cast<size_t>(xmlBufferLength(m_buffer)));
    }

private:
    xmlBufferPtr m_buffer;
    xmlTextWriterPtr m_writer;
};

void WriteMatchContent(xmlTextWriterPtr w, const MatchText& m) {
    xmlTextWriterStartElement(w, BAD_CAST "wsa:EndpointReference");
    Element(w, "wsa:Address", m.address);
    xmlTextWriterEndElement(w);
    Element(w, "d:Types", "dn:NetworkVideoTransmitter");
    if (!m.omitScopes) {
        Element(w, "d:Scopes", m.scopes);
    }
    if (!m.omitXAddrs) {
        Element(w, "d:XAddrs", m.xaddrs);
    }
    Element(w, "d:MetadataVersion", "1");
}

}  // namespace

void InitXml() {
    xmlInitParser();
    xmlSetGenericErrorFunc(nullptr, IgnoreXmlError);
}

bool ParseRequest(const char* data, size_t size, Request& request) {
    request = Request();
    if (size == 0 || size > 65536) {
        return false;
    }
    // No network access, no entity expansion beyond the built-in five.
    xmlDocPtr doc = xmlReadMemory(data, static_cast<int>(size), nullptr, nullptr,
                                  XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (!doc) {
        return false;
    }
    const xmlNode* envelope = xmlDocGetRootElement(doc);
    const char* soap = Is(envelope, kSoap12, "Envelope")   ? kSoap12
                       : Is(envelope, kSoap11, "Envelope") ? kSoap11
                                                           : nullptr;
    bool ok = soap != nullptr;
    if (ok) {
        const xmlNode* header = Child(envelope, soap, "Header");
        const xmlNode* id = Child(header, kWsa, "MessageID");
        request.messageId = Trim(Text(id ? id : Child(header, kWsa5, "MessageID")));
        const xmlNode* body = FirstElement(
            Child(envelope, soap, "Body") ? Child(envelope, soap, "Body")->children : nullptr);
        request.kind = KindOf(body);
        if (request.kind == RequestKind::kProbe || request.kind == RequestKind::kKorvaneProbe) {
            const xmlNode* types = Child(body, kWsd, "Types");
            request.hasTypes = types != nullptr;
            request.types = Text(types);
            request.scopes = Trim(Text(Child(body, kWsd, "Scopes")));
        } else if (request.kind != RequestKind::kNone) {
            ReadConfig(body, request);
        }
    }
    xmlFreeDoc(doc);
    return ok;
}

bool ProbeSelects(const Request& probe, const Device& device) {
    std::stringstream types(probe.types);
    std::string type;
    bool typeMatches = true;
    while (types >> type) {
        std::string local = type.substr(type.find(':') + 1);
        typeMatches = local == "NetworkVideoTransmitter" || local == "Device";
        if (typeMatches) {
            break;
        }
    }
    if (!typeMatches) {
        return false;
    }
    // Every scope asked for must be a prefix (at a segment boundary) of one of ours.
    std::stringstream wanted(probe.scopes);
    std::string scope;
    const std::string ours = " " + ScopesOf(device) + " ";
    while (wanted >> scope) {
        while (!scope.empty() && scope.back() == '/') {
            scope.pop_back();
        }
        if (ours.find(" " + scope + " ") == std::string::npos &&
            ours.find(" " + scope + "/") == std::string::npos) {
            return false;
        }
    }
    return true;
}

std::string WriteProbeMatches(const AnswerHeader& header, bool korvane,
                              const std::vector<MatchText>& matches) {
    const char* element = korvane ? "KorvaneProbeMatches" : "ProbeMatches";
    Writer writer;
    xmlTextWriterPtr w = writer.Begin(header, element);
    xmlTextWriterStartElement(w, BAD_CAST(korvane ? "d:KorvaneProbeMatches" : "d:ProbeMatches"));
    for (const MatchText& m : matches) {
        xmlTextWriterStartElement(w, BAD_CAST "d:ProbeMatch");
        WriteMatchContent(w, m);
        xmlTextWriterEndElement(w);
    }
    return writer.Finish();
}

std::string WriteConfigAnswer(const AnswerHeader& header, const Request& request,
                              const Device& device, int result) {
    const char* name = request.kind == RequestKind::kSetDeviceAddr      ? "SetDeviceAddrRsp"
                       : request.kind == RequestKind::kSetDefaultPasswd ? "SetDefaultPasswdRsp"
                                                                        : "SetDefaultCfgRsp";
    Writer writer;
    xmlTextWriterPtr w = writer.Begin(header, name);
    xmlTextWriterStartElement(w, BAD_CAST(std::string("d:") + name).c_str());
    xmlTextWriterStartElement(w, BAD_CAST "d:OpUserInfo");
    Element(w, "d:UserName", request.userName);
    Element(w, "d:AuthCode", "");
    Element(w, "d:UserId", request.userId);
    Element(w, "d:MsgSeq", request.msgSeq);
    xmlTextWriterEndElement(w);
    xmlTextWriterStartElement(w, BAD_CAST "d:DeviceInfo");
    Element(w, "d:DeviceSerialNo", device.serial);
    Element(w, "d:DeviceId", device.mac);
    xmlTextWriterEndElement(w);
    Element(w, "d:result", std::to_string(result));
    return writer.Finish();
}

std::string WriteAnnouncement(const AnswerHeader& header, bool bye, const MatchText& match) {
    Writer writer;
    xmlTextWriterPtr w = writer.Begin(header, bye ? "Bye" : "Hello");
    xmlTextWriterStartElement(w, BAD_CAST(bye ? "d:Bye" : "d:Hello"));
    WriteMatchContent(w, match);
    return writer.Finish();
}

std::string WriteFault(const AnswerHeader& header) {
    Writer writer;
    xmlTextWriterPtr w = writer.Begin(header, "Fault");
    xmlTextWriterStartElement(w, BAD_CAST "SOAP-ENV:Fault");
    xmlTextWriterStartElement(w, BAD_CAST "SOAP-ENV:Code");
    Element(w, "SOAP-ENV:Value", "SOAP-ENV:Receiver");
    xmlTextWriterEndElement(w);
    xmlTextWriterStartElement(w, BAD_CAST "SOAP-ENV:Reason");
    xmlTextWriterStartElement(w, BAD_CAST "SOAP-ENV:Text");
    xmlTextWriterWriteAttribute(w, BAD_CAST "xml:lang", BAD_CAST "en");
    xmlTextWriterWriteString(w, BAD_CAST "simulated fault");
    return writer.Finish();
}
