#include "common/common_charset.h"

#include <cstring>
#include <string>
#include <vector>

#include "common/common_error.h"
#include "common/common_log.h"
#include "common/common_platform.h"
#include "common/common_secret.h"

namespace {

bool IsValidCharset(int charset) {
    return charset == CHARSET_ANSI || charset == CHARSET_UNICODE || charset == CHARSET_UTF8;
}

// Units up to and including the terminating NUL.
size_t TerminatedLength(const void* pSrc, int charset) {
    if (charset == CHARSET_UNICODE) {
        const auto* p = static_cast<const char16_t*>(pSrc);
        size_t n = 0;
        while (p[n] != 0) {
            ++n;
        }
        return n + 1;
    }
    return strlen(static_cast<const char*>(pSrc)) + 1;
}

// Copies converted text of unitSize-byte units out; *pDstLen as Convert takes and gives it.
int CopyOut(const std::vector<char>& converted, size_t unitSize, void* pDst, int* pDstLen) {
    int need = static_cast<int>(converted.size() / unitSize);
    if (*pDstLen < need) {
        *pDstLen = need;
        return ERR_NO_MEMORY;
    }
    if (need > 0) {
        if (pDst == nullptr) {
            LOG_ERROR("invalid param, pDst is null");
            return ERR_INVALID_PARAM;
        }
        memcpy(pDst, converted.data(), converted.size());
    }
    *pDstLen = need;
    return RESULT_OK;
}

}  // namespace

int CCharSet::Convert(const void* pSrc, int srcLen, void* pDst, int* pDstLen) {
    if (pSrc == nullptr) {
        LOG_ERROR("invalid param, pSrc is null");
        return ERR_INVALID_PARAM;
    }
    if (!IsValidCharset(m_srcCharset)) {
        LOG_ERROR("invalid source charset(%d)", m_srcCharset);
        return ERR_INVALID_PARAM;
    }
    if (!IsValidCharset(m_dstCharset)) {
        LOG_ERROR("invalid destination charset(%d)", m_dstCharset);
        return ERR_INVALID_PARAM;
    }
    if (pDstLen == nullptr || srcLen < -1) {
        LOG_ERROR("invalid param(srcLen:%d pDstLen:%p)", srcLen, static_cast<void*>(pDstLen));
        return ERR_INVALID_PARAM;
    }

    size_t srcUnits =
        srcLen == -1 ? TerminatedLength(pSrc, m_srcCharset) : static_cast<size_t>(srcLen);
    std::vector<char> converted;
    int result = TranscodeText(m_srcCharset, m_dstCharset, pSrc, srcUnits, converted);
    if (result == RESULT_OK) {
        result = CopyOut(converted, CharSetUnitSize(m_dstCharset), pDst, pDstLen);
    }
    // The text may be a password: the copies made on the way are wiped before they are freed.
    WipeBytes(converted.data(), converted.size());
    return result;
}

std::string ConvertToString(int srcCharset, int dstCharset, const void* pSrc) {
    if (dstCharset == CHARSET_UNICODE) {
        LOG_ERROR("invalid destination charset(%d)", dstCharset);
        return std::string();
    }
    CCharSet charSet(srcCharset, dstCharset);
    // Most texts fit the first buffer, which spares a second conversion to learn the size.
    std::vector<char> buf(256, '\0');
    int len = static_cast<int>(buf.size());
    int rc = charSet.Convert(pSrc, -1, buf.data(), &len);
    if (rc == ERR_NO_MEMORY) {
        buf.assign(static_cast<size_t>(len), '\0');
        rc = charSet.Convert(pSrc, -1, buf.data(), &len);
    }
    std::string text = rc == RESULT_OK ? std::string(buf.data()) : std::string();  // reported
    WipeBytes(buf.data(), text.size());
    return text;
}

std::u16string ConvertToWString(int srcCharset, const char* pSrc) {
    if (srcCharset == CHARSET_UNICODE) {
        LOG_ERROR("invalid source charset(%d)", srcCharset);
        return std::u16string();
    }
    CCharSet charSet(srcCharset, CHARSET_UNICODE);
    int len = 0;
    if (charSet.Convert(pSrc, -1, nullptr, &len) != ERR_NO_MEMORY) {
        return std::u16string();
    }
    std::vector<char16_t> buf(static_cast<size_t>(len), u'\0');
    std::u16string text;
    if (charSet.Convert(pSrc, -1, buf.data(), &len) == RESULT_OK) {
        text = buf.data();
    }
    WipeBytes(buf.data(), text.size() * sizeof(char16_t));
    return text;
}
