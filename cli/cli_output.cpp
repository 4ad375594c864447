#include "cli_output.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "cli_console.h"
#include "front/front_strings.h"

namespace {

// The device list's columns, and where each device's answer came in: in the table one
// column, name and local address ("eth1 198.19.0.1"); in CSV two.
const int kListColumns = DEVICE_COL_COUNT;
const int kColumnCount = kListColumns + 1;
const char kInterfaceTitle[] = "Interface";
const char kLocalAddressTitle[] = "Local address";

std::vector<std::string> Titles() {
    std::vector<std::string> titles;
    for (int c = 0; c < kListColumns; ++c) {
        titles.push_back(LoadResText(GetColumnTitleId(c)));
    }
    return titles;
}

std::vector<std::string> Cells(const CDiscoveryBean& device) {
    std::vector<std::string> cells;
    for (int c = 0; c < kListColumns; ++c) {
        cells.push_back(GetDeviceCell(device, c));
    }
    return cells;
}

std::string InterfaceCell(const CDiscoveryBean& device) {
    if (device.m_interface.empty() || device.m_localAddr.empty()) {
        return device.m_interface + device.m_localAddr;
    }
    return device.m_interface + " " + device.m_localAddr;
}

// Length of a valid UTF-8 sequence starting at text[i], or 0.
size_t Utf8Length(const std::string& text, size_t i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    size_t length = 0;
    unsigned int minimum = 0;
    unsigned int code = 0;
    if (c < 0x80) {
        return 1;
    } else if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
        code = c & 0x1F;
        minimum = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        code = c & 0x0F;
        minimum = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        code = c & 0x07;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (i + length > text.size()) {
        return 0;
    }
    for (size_t k = 1; k < length; ++k) {
        const unsigned char next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80) {
            return 0;
        }
        code = (code << 6) | (next & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        return 0;
    }
    return length;
}

// The text as valid UTF-8: each byte that starts no valid sequence becomes U+FFFD.
std::string ValidUtf8(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        const size_t length = Utf8Length(text, i);
        if (length == 0) {
            out += "\xEF\xBF\xBD";
            i += 1;
        } else {
            out.append(text, i, length);
            i += length;
        }
    }
    return out;
}

// Display width of valid UTF-8 text: the terminal columns of each character (wide East
// Asian characters take two) where the platform knows them, else one.
size_t Width(const std::string& text) {
    size_t width = 0;
    for (size_t i = 0; i < text.size();) {
        const size_t length = std::max<size_t>(Utf8Length(text, i), 1);
        const int columns = CharColumns(text.data() + i, length);
        width += columns >= 0 ? static_cast<size_t>(columns) : 1;
        i += length;
    }
    return width;
}

// Whether text[i..] starts a character that could rewrite what a terminal or a spreadsheet
// shows around it: a C0 control or DEL, a C1 control (U+0080..U+009F) or a bidirectional
// override (U+202A..U+202E, U+2066..U+2069). Sets *pLength to the bytes it takes.
bool IsUnsafeCharacter(const std::string& text, size_t i, size_t* pLength) {
    const auto byte = [&text](size_t at) {
        return at < text.size() ? static_cast<unsigned char>(text[at]) : 0u;
    };
    const unsigned int b0 = byte(i);
    if (b0 < 0x20 || b0 == 0x7F) {
        *pLength = 1;
        return true;
    }
    if (b0 == 0xC2 && byte(i + 1) >= 0x80 && byte(i + 1) <= 0x9F) {
        *pLength = 2;
        return true;
    }
    const unsigned int b1 = byte(i + 1);
    const unsigned int b2 = byte(i + 2);
    const bool embedding = b1 == 0x80 && b2 >= 0xAA && b2 <= 0xAE;  // U+202A..U+202E
    const bool isolate = b1 == 0x81 && b2 >= 0xA6 && b2 <= 0xA9;    // U+2066..U+2069
    if (b0 == 0xE2 && (embedding || isolate)) {
        *pLength = 3;
        return true;
    }
    return false;
}

// Valid UTF-8 with every unsafe character replaced by '?': a device's texts cannot break a
// table's layout or a CSV row, nor reorder what is shown beside them.
std::string Printable(const std::string& text) {
    const std::string valid = ValidUtf8(text);
    std::string out;
    out.reserve(valid.size());
    for (size_t i = 0; i < valid.size();) {
        size_t length = 0;
        if (IsUnsafeCharacter(valid, i, &length)) {
            out += '?';
            i += length;
        } else {
            out += valid[i++];
        }
    }
    return out;
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (char c : ValidUtf8(text)) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20 || u == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof(escaped), "\\u%04x", u);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// A spreadsheet takes a cell that begins with '=', '+', '-' or '@' as a formula: such a field
// gets a leading apostrophe, the common convention that keeps it text.
std::string CsvField(const std::string& text) {
    std::string field = Printable(text);
    const bool formula = !field.empty() && std::strchr("=+-@", field[0]) != nullptr;
    if (formula) {
        field.insert(0, 1, '\'');
    }
    if (!formula && field.find_first_of(",\"") == std::string::npos) {
        return field;
    }
    std::string out = "\"";
    for (char c : field) {
        if (c == '"') {
            out += '"';
        }
        out += c;
    }
    return out + "\"";
}

}  // namespace

CDeviceCollector::CDeviceCollector(uint32_t first, uint32_t last) {
    m_devices.SetRange(last != 0, first, last);
}

void CDeviceCollector::Update(const CDiscoveryBean* pData) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_devices.Add(*pData);
}

std::vector<CDiscoveryBean> CDeviceCollector::Devices() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_devices.Records();
}

std::string FormatTable(const std::vector<CDiscoveryBean>& devices) {
    std::vector<std::vector<std::string>> rows;
    rows.push_back(Titles());
    rows.back().push_back(kInterfaceTitle);
    for (const CDiscoveryBean& device : devices) {
        std::vector<std::string> cells = Cells(device);
        cells.push_back(InterfaceCell(device));
        for (std::string& cell : cells) {
            cell = Printable(cell);
        }
        rows.push_back(cells);
    }
    size_t widths[kColumnCount] = {};
    for (const auto& row : rows) {
        for (int c = 0; c < kColumnCount; ++c) {
            widths[c] = std::max(widths[c], Width(row[c]));
        }
    }
    std::string out;
    for (const auto& row : rows) {
        std::string line;
        for (int c = 0; c < kColumnCount; ++c) {
            line += row[c];
            if (c + 1 < kColumnCount) {
                line.append(widths[c] - Width(row[c]) + 2, ' ');
            }
        }
        while (!line.empty() && line.back() == ' ') {
            line.pop_back();
        }
        out += line + "\n";
    }
    return out + "Total: " + std::to_string(devices.size()) + "\n";
}

std::string FormatJson(const std::vector<CDiscoveryBean>& devices) {
    std::string out = "[";
    for (size_t i = 0; i < devices.size(); ++i) {
        const CDiscoveryBean& device = devices[i];
        out += i == 0 ? "\n" : ",\n";
        out += "  {\"ipAddress\": " + JsonString(device.m_ipAddr) +
               ", \"type\": " + JsonString(device.m_hardware) +
               ", \"serialNumber\": " + JsonString(device.m_serialNo) +
               ", \"physicalAddress\": " + JsonString(GetDeviceCell(device, DEVICE_COL_MAC)) +
               ", \"version\": " + JsonString(device.m_version) +
               ", \"macAddr\": " + JsonString(device.m_macAddr) +
               ", \"foreign\": " + (device.m_foreign != 0 ? "true" : "false") +
               ", \"interface\": " + JsonString(device.m_interface) +
               ", \"localAddress\": " + JsonString(device.m_localAddr) + "}";
    }
    return out + (devices.empty() ? "]\n" : "\n]\n");
}

std::string FormatCsv(const std::vector<CDiscoveryBean>& devices) {
    std::string out;
    std::vector<std::string> titles = Titles();
    titles.push_back(kInterfaceTitle);
    titles.push_back(kLocalAddressTitle);
    for (size_t c = 0; c < titles.size(); ++c) {
        out += (c == 0 ? "" : ",") + titles[c];
    }
    out += "\r\n";
    for (const CDiscoveryBean& device : devices) {
        std::vector<std::string> cells = Cells(device);
        cells.push_back(device.m_interface);
        cells.push_back(device.m_localAddr);
        for (size_t c = 0; c < cells.size(); ++c) {
            out += (c == 0 ? "" : ",") + CsvField(cells[c]);
        }
        out += "\r\n";
    }
    return out;
}

std::string FormatDevices(const std::vector<CDiscoveryBean>& devices, CliFormat format) {
    switch (format) {
    case FORMAT_JSON:
        return FormatJson(devices);
    case FORMAT_CSV:
        return FormatCsv(devices);
    case FORMAT_TABLE:
        break;
    }
    return FormatTable(devices);
}
