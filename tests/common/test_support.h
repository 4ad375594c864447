#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

// A fresh directory under the temporary directory, removed with everything in it.
class CTempDir {
public:
    CTempDir() {
        const char* pBase = getenv("TMPDIR");
        std::string pattern = std::string(pBase != nullptr && *pBase != '\0' ? pBase : "/tmp") +
                              "/scoutcam_test_XXXXXX";
        if (mkdtemp(&pattern[0]) != nullptr) {
            m_path = pattern;
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
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}
