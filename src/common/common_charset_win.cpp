// Text conversion on Windows: MultiByteToWideChar and WideCharToMultiByte, through UTF-16. The
// code page of CHARSET_ANSI is the system's ANSI code page (CP_ACP).

#include <windows.h>

#include <climits>
#include <string>
#include <vector>

#include "common/common_charset.h"
#include "common/common_error.h"
#include "common/common_log.h"
#include "common/common_platform.h"
#include "common/common_secret.h"

namespace {

UINT CodePage(int charset) {
    return charset == CHARSET_UTF8 ? CP_UTF8 : CP_ACP;
}

// Narrow text to UTF-16; invalid sequences become U+FFFD.
int Widen(int charset, const char* pSrc, size_t srcBytes, std::u16string& out) {
    out.clear();
    if (srcBytes == 0) {
        return RESULT_OK;
    }
    if (srcBytes > INT_MAX) {
        LOG_ERROR("source too long(bytes:%zu)", srcBytes);
        return ERR_SYSTEM;
    }
    const int srcLen = static_cast<int>(srcBytes);
    int need = MultiByteToWideChar(CodePage(charset), 0, pSrc, srcLen, nullptr, 0);
    if (need > 0) {
        out.resize(static_cast<size_t>(need));
        need = MultiByteToWideChar(CodePage(charset), 0, pSrc, srcLen,
                                   reinterpret_cast<wchar_t*>(&out[0]), need);
    }
    if (need <= 0) {
        LOG_ERROR("MultiByteToWideChar(cp:%u) failed(errorcode:%lu)", CodePage(charset),
                  GetLastError());
        return ERR_SYSTEM;
    }
    return RESULT_OK;
}

// UTF-16 to narrow text. A character the code page lacks becomes its default character rather
// than a look-alike (no best fit), so text never turns silently into other text.
int Narrow(int charset, const std::u16string& text, std::vector<char>& out) {
    out.clear();
    if (text.empty()) {
        return RESULT_OK;
    }
    if (text.size() > INT_MAX) {
        LOG_ERROR("source too long(units:%zu)", text.size());
        return ERR_SYSTEM;
    }
    const UINT codePage = CodePage(charset);
    const DWORD flags = codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const auto* pWide = reinterpret_cast<const wchar_t*>(text.data());
    const int srcLen = static_cast<int>(text.size());
    int need = WideCharToMultiByte(codePage, flags, pWide, srcLen, nullptr, 0, nullptr, nullptr);
    if (need > 0) {
        out.resize(static_cast<size_t>(need));
        need =
            WideCharToMultiByte(codePage, flags, pWide, srcLen, out.data(), need, nullptr, nullptr);
    }
    if (need <= 0) {
        LOG_ERROR("WideCharToMultiByte(cp:%u) failed(errorcode:%lu)", codePage, GetLastError());
        return ERR_SYSTEM;
    }
    return RESULT_OK;
}

}  // namespace

int TranscodeText(int srcCharset, int dstCharset, const void* pSrc, size_t srcUnits,
                  std::vector<char>& out) {
    std::u16string text;
    int result = RESULT_OK;
    if (srcCharset == CHARSET_UNICODE) {
        text.assign(static_cast<const char16_t*>(pSrc), srcUnits);
    } else if (Widen(srcCharset, static_cast<const char*>(pSrc), srcUnits, text) != RESULT_OK) {
        result = ERR_SYSTEM;
    }
    if (result == RESULT_OK && dstCharset != CHARSET_UNICODE) {
        result = Narrow(dstCharset, text, out);
    } else if (result == RESULT_OK) {
        const auto* pBytes = reinterpret_cast<const char*>(text.data());
        out.assign(pBytes, pBytes + text.size() * sizeof(char16_t));
    }
    // The text may be a password: its UTF-16 copy is wiped before it is freed.
    WipeBytes(&text[0], text.size() * sizeof(char16_t));
    return result;
}
