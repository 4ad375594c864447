// Fuzz target of scoutcam-cli's output formats: one device record whose texts come from the
// input, printed as a table, as JSON and as CSV; each must stay well formed whatever the
// device sent. The first input byte separates the record's fields in the rest of the input
// (address, type, serial number, MAC, version, interface, local address), so a field can hold
// any byte, line feeds and invalid UTF-8 included. A broken output aborts.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli_output.h"
#include "fuzz_target.h"

namespace {

void Fail(const char* pWhat, const std::string& output) {
    std::fprintf(stderr, "fuzz_output: %s in:\n%s\n", pWhat, output.c_str());
    std::abort();
}

// A character that could rewrite what is shown around it: C0 control or DEL, C1 control,
// bidirectional override or isolate. Line feeds are the table's own and allowed.
bool HasUnsafeCharacter(const std::string& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const auto b0 = static_cast<unsigned char>(text[i]);
        const auto b1 = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0u;
        const auto b2 = i + 2 < text.size() ? static_cast<unsigned char>(text[i + 2]) : 0u;
        if ((b0 < 0x20 && b0 != '\n') || b0 == 0x7F || (b0 == 0xC2 && b1 >= 0x80 && b1 <= 0x9F) ||
            (b0 == 0xE2 && b1 == 0x80 && b2 >= 0xAA && b2 <= 0xAE) ||
            (b0 == 0xE2 && b1 == 0x81 && b2 >= 0xA6 && b2 <= 0xA9)) {
            return true;
        }
    }
    return false;
}

size_t Count(const std::string& text, char c) {
    size_t count = 0;
    for (char each : text) {
        count += each == c ? 1 : 0;
    }
    return count;
}

void CheckTable(const std::string& table) {
    if (HasUnsafeCharacter(table)) {
        Fail("unsafe character in the table", table);
    }
    if (Count(table, '\n') != 3) {  // titles, the device, the total
        Fail("table lines", table);
    }
}

// The header line, then one row of seven fields; quoted fields double their quotes; no field
// may start a spreadsheet formula.
void CheckCsv(const std::string& csv) {
    const size_t headerEnd = csv.find("\r\n");
    if (headerEnd == std::string::npos || csv.size() < 2 ||
        csv.compare(csv.size() - 2, 2, "\r\n") != 0) {
        Fail("CSV lines", csv);
    }
    const std::string row = csv.substr(headerEnd + 2, csv.size() - headerEnd - 4);
    if (row.find_first_of("\r\n") != std::string::npos || HasUnsafeCharacter(row)) {
        Fail("control character in the CSV row", csv);
    }
    size_t fields = 0;
    for (size_t i = 0; i <= row.size(); ++fields) {
        std::string field;
        if (i < row.size() && row[i] == '"') {
            for (++i;; ++i) {
                if (i >= row.size()) {
                    Fail("unclosed quote in CSV", csv);
                }
                if (row[i] == '"' && (i + 1 >= row.size() || row[i + 1] != '"')) {
                    break;
                }
                field += row[i];
                i += row[i] == '"' ? 1 : 0;
            }
            ++i;
            if (i < row.size() && row[i] != ',') {
                Fail("text after a closing quote in CSV", csv);
            }
        } else {
            const size_t comma = std::min(row.find(',', i), row.size());
            field = row.substr(i, comma - i);
            if (field.find('"') != std::string::npos) {
                Fail("quote in an unquoted CSV field", csv);
            }
            i = comma;
        }
        if (!field.empty() && std::string("=+-@").find(field[0]) != std::string::npos) {
            Fail("CSV field starts a formula", csv);
        }
        ++i;  // past the comma
    }
    if (fields != 7) {
        Fail("CSV field count", csv);
    }
}

// A small JSON reader: true when text[*pAt..] starts with one well-formed value.
bool JsonValue(const std::string& text, size_t* pAt, int depth);

void SkipSpace(const std::string& text, size_t* pAt) {
    while (*pAt < text.size() && std::string(" \t\r\n").find(text[*pAt]) != std::string::npos) {
        ++*pAt;
    }
}

bool JsonString(const std::string& text, size_t* pAt) {
    if (text[*pAt] != '"') {
        return false;
    }
    for (++*pAt; *pAt < text.size(); ++*pAt) {
        const auto c = static_cast<unsigned char>(text[*pAt]);
        if (c == '"') {
            ++*pAt;
            return true;
        }
        if (c < 0x20) {
            return false;
        }
        if (c == '\\') {
            ++*pAt;
            if (*pAt >= text.size() ||
                std::string("\"\\/bfnrtu").find(text[*pAt]) == std::string::npos) {
                return false;
            }
        }
    }
    return false;
}

bool JsonList(const std::string& text, size_t* pAt, int depth, char close, bool members) {
    ++*pAt;
    SkipSpace(text, pAt);
    if (*pAt < text.size() && text[*pAt] == close) {
        ++*pAt;
        return true;
    }
    while (*pAt < text.size()) {
        if (members) {
            if (!JsonString(text, pAt)) {
                return false;
            }
            SkipSpace(text, pAt);
            if (*pAt >= text.size() || text[(*pAt)++] != ':') {
                return false;
            }
        }
        if (!JsonValue(text, pAt, depth + 1)) {
            return false;
        }
        SkipSpace(text, pAt);
        if (*pAt >= text.size()) {
            return false;
        }
        const char next = text[(*pAt)++];
        if (next == close) {
            return true;
        }
        if (next != ',') {
            return false;
        }
        SkipSpace(text, pAt);
    }
    return false;
}

bool JsonValue(const std::string& text, size_t* pAt, int depth) {
    SkipSpace(text, pAt);
    if (*pAt >= text.size() || depth > 8) {
        return false;
    }
    switch (text[*pAt]) {
    case '{':
        return JsonList(text, pAt, depth, '}', true);
    case '[':
        return JsonList(text, pAt, depth, ']', false);
    case '"':
        return JsonString(text, pAt);
    default:
        for (const char* pWord : {"true", "false", "null"}) {
            if (text.compare(*pAt, std::string(pWord).size(), pWord) == 0) {
                *pAt += std::string(pWord).size();
                return true;
            }
        }
        return false;
    }
}

void CheckJson(const std::string& json) {
    size_t at = 0;
    if (!JsonValue(json, &at, 0)) {
        Fail("malformed JSON", json);
    }
    SkipSpace(json, &at);
    if (at != json.size()) {
        Fail("text after the JSON value", json);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    if (nSize == 0) {
        return 0;
    }
    const std::string input(reinterpret_cast<const char*>(pData) + 1, nSize - 1);
    std::vector<std::string> fields;
    for (size_t at = 0; fields.size() < 7;) {
        const size_t end = std::min(input.find(static_cast<char>(pData[0]), at), input.size());
        fields.push_back(at <= input.size() ? input.substr(at, end - at) : std::string());
        at = end + 1;
    }
    CDiscoveryBean device;
    device.m_ipAddr = fields[0];
    device.m_hardware = fields[1];
    device.m_serialNo = fields[2];
    device.m_macAddr = fields[3];
    device.m_version = fields[4];
    device.m_interface = fields[5];
    device.m_localAddr = fields[6];
    device.m_foreign = nSize % 2 == 0 ? 1 : 0;
    const std::vector<CDiscoveryBean> devices = {device};
    CheckTable(FormatTable(devices));
    CheckCsv(FormatCsv(devices));
    CheckJson(FormatJson(devices));
    return 0;
}
