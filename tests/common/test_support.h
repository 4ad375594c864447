#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>

// A fresh directory under the temporary directory, removed with everything in it.
class CTempDir {
public:
    CTempDir() {
        std::error_code ec;
        const std::filesystem::path base = std::filesystem::temp_directory_path(ec);
        std::random_device random;
        for (int i = 0; i < 100 && !ec && m_path.empty(); ++i) {
            std::filesystem::path candidate =
                base / ("scoutcam_test_" + std::to_string(static_cast<uint32_t>(random())));
            if (std::filesystem::create_directory(candidate, ec)) {
                m_path = candidate.string();
            }
        }
    }
    ~CTempDir() {
        std::error_code ec;
        if (!m_path.empty()) {
            std::filesystem::remove_all(m_path, ec);
        }
    }
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;

    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const {
        return (std::filesystem::path(m_path) / name).string();
    }

private:
    std::string m_path;
};

// Points the user's temporary directory (GetUserTempDir) at a directory while it lives, by
// the variable that the platform reads first: TMP on Windows, TMPDIR elsewhere.
class CUserTempDirAt {
public:
    explicit CUserTempDirAt(const std::string& dir) {
        const char* pOld = std::getenv(kName);
        m_had = pOld != nullptr;
        m_saved = m_had ? pOld : "";
        Set(dir);
    }
    ~CUserTempDirAt() { Set(m_had ? m_saved : std::string()); }
    CUserTempDirAt(const CUserTempDirAt&) = delete;
    CUserTempDirAt& operator=(const CUserTempDirAt&) = delete;

private:
#ifdef _WIN32
    static constexpr const char* kName = "TMP";
    // The C runtime passes the change on to the process environment that GetTempPathA reads;
    // an empty value removes the variable.
    static void Set(const std::string& value) {
        _putenv((std::string(kName) + "=" + value).c_str());
    }
#else
    static constexpr const char* kName = "TMPDIR";
    static void Set(const std::string& value) {
        if (value.empty()) {
            unsetenv(kName);
        } else {
            setenv(kName, value.c_str(), 1);
        }
    }
#endif

    bool m_had = false;
    std::string m_saved;
};

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

// Whether text has the given shape: in the shape '9' stands for a decimal digit, 'X' for an
// upper-case and 'x' for a lower-case hexadecimal digit; every other character for itself.
inline bool MatchesShape(const std::string& text, const std::string& shape) {
    if (text.size() != shape.size()) {
        return false;
    }
    const std::string upperHex = "0123456789ABCDEF";
    const std::string lowerHex = "0123456789abcdef";
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        bool ok = shape[i] == '9'   ? c >= '0' && c <= '9'
                  : shape[i] == 'X' ? upperHex.find(c) != std::string::npos
                  : shape[i] == 'x' ? lowerHex.find(c) != std::string::npos
                                    : c == shape[i];
        if (!ok) {
            return false;
        }
    }
    return true;
}

// Shape of a local time stamp "%04d-%02d-%02d %02d:%02d:%02d.%03d".
constexpr const char* kStampShape = "9999-99-99 99:99:99.999";
