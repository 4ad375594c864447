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
const char kAnonymous[] = "http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous";

// The types of every simulated device, with the prefixes its answers declare for them.
struct DeviceType {
    const char* prefix;
    const char* ns;
    const char* local;
};
const DeviceType kDeviceTypes[] = {
    {"dn", "http://www.onvif.org/ver10/network/wsdl", "NetworkVideoTransmitter"},
    {"tds", "http://www.onvif.org/ver10/device/wsdl", "Device"},
};

void IgnoreXmlError(void*, const char*, ...) {}

// libxml2 keeps UTF-8 text as unsigned bytes (xmlChar); ours is the same bytes as char.
const xmlChar* Xml(const char* text) {
    return reinterpret_cast<const xmlChar*>(text);
}

const char* Chars(const xmlChar* text) {
    return reinterpret_cast<const char*>(text);
}

bool Is(const xmlNode* node, const char* ns, const char* name) {
    return node && node->type == XML_ELEMENT_NODE && node->ns && node->ns->href &&
           std::strcmp(Chars(node->ns->href), ns) == 0 && std::strcmp(Chars(node->name), name) == 0;
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
    std::string text = content ? Chars(content) : "";
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

// The body element of each request kind.
const struct {
    const char* name;
    RequestKind kind;
} kRequests[] = {
    {"Probe", RequestKind::kProbe},
    {"KorvaneProbe", RequestKind::kKorvaneProbe},
    {"SetDeviceAddrReq", RequestKind::kSetDeviceAddr},
    {"SetDefaultPasswdReq", RequestKind::kSetDefaultPasswd},
    {"SetDefaultCfgReq", RequestKind::kSetDefaultCfg},
};

RequestKind KindOf(const xmlNode* body) {
    for (const auto& k : kRequests) {
        if (Is(body, kWsd, k.name)) {
            return k.kind;
        }
    }
    return RequestKind::kNone;
}

// Resolves the blank-separated QNames of a tns:Types element against the namespace
// declarations in scope there (an unprefixed name takes the default namespace).
void ReadTypes(xmlDocPtr doc, xmlNode* types, Request& r) {
    std::stringstream names(Text(types));
    std::string name;
    while (names >> name) {
        size_t colon = name.find(':');
        std::string prefix = colon == std::string::npos ? "" : name.substr(0, colon);
        std::string local = colon == std::string::npos ? name : name.substr(colon + 1);
        if (local.empty() || local.find(':') != std::string::npos ||
            (colon != std::string::npos && prefix.empty())) {
            r.typesValid = false;
            continue;
        }
        xmlNsPtr ns = xmlSearchNs(doc, types, prefix.empty() ? nullptr : Xml(prefix.c_str()));
        if (!ns && !prefix.empty()) {
            r.typesValid = false;
            continue;
        }
        r.types.push_back({ns && ns->href ? Chars(ns->href) : "", local});
    }
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
    xmlTextWriterWriteElement(w, Xml(name), Xml(text.c_str()));
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
        xmlTextWriterStartElement(m_writer, Xml("SOAP-ENV:Envelope"));
        xmlTextWriterWriteAttribute(m_writer, Xml("xmlns:SOAP-ENV"), Xml(kSoap12));
        xmlTextWriterWriteAttribute(m_writer, Xml("xmlns:wsa"), Xml(kWsa));
        xmlTextWriterWriteAttribute(m_writer, Xml("xmlns:wsa5"), Xml(kWsa5));
        xmlTextWriterWriteAttribute(m_writer, Xml("xmlns:d"), Xml(kWsd));
        for (const DeviceType& t : kDeviceTypes) {
            xmlTextWriterWriteAttribute(m_writer, Xml((std::string("xmlns:") + t.prefix).c_str()),
                                        Xml(t.ns));
        }
        xmlTextWriterStartElement(m_writer, Xml("SOAP-ENV:Header"));
        Element(m_writer, "wsa:MessageID", header.messageId);
        if (!header.relatesTo.empty()) {
            Element(m_writer, header.wsa5 ? "wsa5:RelatesTo" : "wsa:RelatesTo", header.relatesTo);
        }
        Element(m_writer, "wsa:To", kAnonymous);
        Element(m_writer, "wsa:Action", std::string(kWsd) + "/" + action);
        xmlTextWriterEndElement(m_writer);
        xmlTextWriterStartElement(m_writer, Xml("SOAP-ENV:Body"));
        return m_writer;
    }

    std::string Finish() {
        xmlTextWriterEndDocument(m_writer);  // closes every open element
        xmlFreeTextWriter(m_writer);
        m_writer = nullptr;
        return std::string(Chars(xmlBufferContent(m_buffer)),
                           static_cast<size_t>(xmlBufferLength(m_buffer)));
    }

private:
    xmlBufferPtr m_buffer;
    xmlTextWriterPtr m_writer;
};

void WriteMatchContent(xmlTextWriterPtr w, const MatchText& m) {
    xmlTextWriterStartElement(w, Xml("wsa:EndpointReference"));
    Element(w, "wsa:Address", m.address);
    xmlTextWriterEndElement(w);
    std::string types;
    for (const DeviceType& t : kDeviceTypes) {
        types += (types.empty() ? "" : " ") + std::string(t.prefix) + ":" + t.local;
    }
    Element(w, "d:Types", types);
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
        const xmlNode* action = Child(header, kWsa, "Action");
        request.action = Trim(Text(action ? action : Child(header, kWsa5, "Action")));
        const xmlNode* body = FirstElement(
            Child(envelope, soap, "Body") ? Child(envelope, soap, "Body")->children : nullptr);
        request.kind = KindOf(body);
        if (request.kind == RequestKind::kProbe || request.kind == RequestKind::kKorvaneProbe) {
            // libxml2 looks namespaces up from a node it may not change, but takes it non-const.
            ReadTypes(doc, const_cast<xmlNode*>(Child(body, kWsd, "Types")), request);
            request.scopes = Trim(Text(Child(body, kWsd, "Scopes")));
        } else if (request.kind != RequestKind::kNone) {
            ReadConfig(body, request);
        }
    }
    xmlFreeDoc(doc);
    return ok;
}

std::string ActionOf(RequestKind kind) {
    for (const auto& k : kRequests) {
        if (k.kind == kind) {
            return std::string(kWsd) + "/" + k.name;
        }
    }
    return "";
}

std::vector<QName> DeviceTypes() {
    std::vector<QName> types;
    for (const DeviceType& t : kDeviceTypes) {
        types.push_back({t.ns, t.local});
    }
    return types;
}

std::string WriteProbeMatches(const AnswerHeader& header, bool korvane,
                              const std::vector<MatchText>& matches) {
    const char* element = korvane ? "KorvaneProbeMatches" : "ProbeMatches";
    Writer writer;
    xmlTextWriterPtr w = writer.Begin(header, element);
    xmlTextWriterStartElement(w, Xml(korvane ? "d:KorvaneProbeMatches" : "d:ProbeMatches"));
    for (const MatchText& m : matches) {
        xmlTextWriterStartElement(w, Xml("d:ProbeMatch"));
        WriteMatchContent(w, m);
        xmlTextWriterEndElement(w);
    }
    return writer.Finish();
}

std::string FakeAddress(uint32_t n) {
    return IpText(0x0A000000 | (n & 0xFFFFFF));
}

std::string WriteFakeMatches(const AnswerHeader& header, uint32_t first, uint32_t count) {
    Writer writer;
    xmlTextWriterPtr w = writer.Begin(header, "ProbeMatches");
    // The default namespace keeps each of the many matches short.
    xmlTextWriterStartElement(w, Xml("ProbeMatches"));
    xmlTextWriterWriteAttribute(w, Xml("xmlns"), Xml(kWsd));
    for (uint32_t n = first; n < first + count; ++n) {
        xmlTextWriterStartElement(w, Xml("ProbeMatch"));
        Element(w, "XAddrs", FakeAddress(n));
        Element(w, "Scopes", "fake");
        xmlTextWriterEndElement(w);
    }
    return writer.Finish();
}

std::string PadEnvelope(const std::string& envelope, size_t size) {
    const std::string end = "</SOAP-ENV:Body>";
    size_t at = envelope.rfind(end);
    if (at == std::string::npos || envelope.size() >= size) {
        return envelope;
    }
    std::string padded = envelope;
    padded.insert(at, size - envelope.size(), ' ');
    return padded;
}

std::string WriteConfigAnswer(const AnswerHeader& header, const Request& request,
                              const Device& device, int result) {
    const char* name = request.kind == RequestKind::kSetDeviceAddr      ? "SetDeviceAddrRsp"
                       : request.kind == RequestKind::kSetDefaultPasswd ? "SetDefaultPasswdRsp"
                                                                        : "SetDefaultCfgRsp";
    Writer writer;
    xmlTextWriterPtr w = writer.Begin(header, name);
    xmlTextWriterStartElement(w, Xml((std::string("d:") + name).c_str()));
    xmlTextWriterStartElement(w, Xml("d:OpUserInfo"));
    Element(w, "d:UserName", request.userName);
    Element(w, "d:AuthCode", "");
    Element(w, "d:UserId", request.userId);
    Element(w, "d:MsgSeq", request.msgSeq);
    xmlTextWriterEndElement(w);
    xmlTextWriterStartElement(w, Xml("d:DeviceInfo"));
    Element(w, "d:DeviceSerialNo", device.serial);
    Element(w, "d:DeviceId", device.mac);
    xmlTextWriterEndElement(w);
    Element(w, "d:result", std::to_string(result));
    return writer.Finish();
}

std::string WriteAnnouncement(const AnswerHeader& header, bool bye, const MatchText& match) {
    Writer writer;
    xmlTextWriterPtr w = writer.Begin(header, bye ? "Bye" : "Hello");
    xmlTextWriterStartElement(w, Xml(bye ? "d:Bye" : "d:Hello"));
    WriteMatchContent(w, match);
    return writer.Finish();
}

std::string WriteFault(const AnswerHeader& header) {
    Writer writer;
    xmlTextWriterPtr w = writer.Begin(header, "Fault");
    xmlTextWriterStartElement(w, Xml("SOAP-ENV:Fault"));
    xmlTextWriterStartElement(w, Xml("SOAP-ENV:Code"));
    Element(w, "SOAP-ENV:Value", "SOAP-ENV:Receiver");
    xmlTextWriterEndElement(w);
    xmlTextWriterStartElement(w, Xml("SOAP-ENV:Reason"));
    xmlTextWriterStartElement(w, Xml("SOAP-ENV:Text"));
    xmlTextWriterWriteAttribute(w, Xml("xml:lang"), Xml("en"));
    xmlTextWriterWriteString(w, Xml("simulated fault"));
    return writer.Finish();
}
