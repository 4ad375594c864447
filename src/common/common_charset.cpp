#include "common/common_charset.h"

#include <iconv.h>
#include <langinfo.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "common/common_error.h"
#include "common/common_log.h"

namespace {

#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
const char* const kUtf16Name = "UTF-16LE";
const char* const kUtf32Name = "UTF-32LE";
#else
const char* const kUtf16Name = "UTF-16BE";
const char* const kUtf32Name = "UTF-32BE";
#endif

constexpr char32_t kReplacement = 0xFFFD;

bool IsValidCharset(int charset) {
    return charset == CHARSET_ANSI || charset == CHARSET_UNICODE || charset == CHARSET_UTF8;
}

size_t UnitSize(int charset) {
    return charset == CHARSET_UNICODE ? sizeof(char16_t) : 1;
}

const char* IconvName(int charset) {
    switch (charset) {
    case CHARSET_UNICODE:
        return kUtf16Name;
    case CHARSET_UTF8:
        return "UTF-8";
    default:
        return nl_langinfo(CODESET);
    }
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

bool IsOpen(iconv_t cd) {
    return cd != reinterpret_cast<iconv_t>(-1);
}

// The converters of one thread, one per pair of code sets, kept for the thread's life:
// opening a converter costs more than converting a device's text.
class CConverterCache {
public:
    CConverterCache() = default;
    CConverterCache(const CConverterCache&) = delete;
    CConverterCache& operator=(const CConverterCache&) = delete;
    ~CConverterCache() {
        for (const Entry& entry : m_entries) {
            iconv_close(entry.cd);
        }
    }

    // The converter in its initial state; one that is not IsOpen, logged, when none opens.
    iconv_t Get(const char* pTo, const char* pFrom) {
        for (const Entry& entry : m_entries) {
            if (entry.to == pTo && entry.from == pFrom) {
                iconv(entry.cd, nullptr, nullptr, nullptr, nullptr);
                return entry.cd;
            }
        }
        const iconv_t cd = iconv_open(pTo, pFrom);
        if (!IsOpen(cd)) {
            LOG_ERROR("iconv_open(to:%s from:%s) failed(errno:%d)", pTo, pFrom, errno);
            return cd;
        }
        m_entries.push_back(Entry{pTo, pFrom, cd});
        return cd;
    }

private:
    struct Entry {
        std::string to;
        std::string from;
        iconv_t cd;
    };
    std::vector<Entry> m_entries;
};

iconv_t ThreadConverter(const char* pTo, const char* pFrom) {
    thread_local CConverterCache s_cache;
    return s_cache.Get(pTo, pFrom);
}

// Source bytes to code points; an invalid or cut-off sequence becomes U+FFFD and the
// conversion goes on behind its first unit.
int Decode(const char* pSrc, size_t srcBytes, int charset, std::u32string& out) {
    const iconv_t cd = ThreadConverter(kUtf32Name, IconvName(charset));
    if (!IsOpen(cd)) {
        return ERR_SYSTEM;
    }
    out.assign(srcBytes + 1, U'\0');
    char* pIn = const_cast<char*>(pSrc);
    size_t inLeft = srcBytes;
    size_t used = 0;  // code points
    while (inLeft > 0) {
        char* pOut = reinterpret_cast<char*>(&out[used]);
        size_t outLeft = (out.size() - used) * sizeof(char32_t);
        size_t rc = iconv(cd, &pIn, &inLeft, &pOut, &outLeft);
        int err = errno;
        used = out.size() - outLeft / sizeof(char32_t);
        if (rc != static_cast<size_t>(-1)) {
            break;
        }
        if (err == E2BIG) {
            out.resize(out.size() * 2);
            continue;
        }
        if (used == out.size()) {
            out.resize(out.size() * 2);
        }
        size_t skip = UnitSize(charset) < inLeft ? UnitSize(charset) : inLeft;
        out[used++] = kReplacement;
        pIn += skip;
        inLeft -= skip;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    out.resize(used);
    return RESULT_OK;
}

// Code points to destination bytes; a character the destination cannot hold becomes U+FFFD,
// or '?' where U+FFFD cannot be held either.
int Encode(std::u32string text, int charset, std::vector<char>& out) {
    const iconv_t cd = ThreadConverter(IconvName(charset), kUtf32Name);
    if (!IsOpen(cd)) {
        return ERR_SYSTEM;
    }
    out.assign(text.size() * 4 + 16, '\0');
    char* pIn = reinterpret_cast<char*>(&text[0]);
    size_t inLeft = text.size() * sizeof(char32_t);
    size_t used = 0;
    while (inLeft > 0) {
        char* pOut = out.data() + used;
        size_t outLeft = out.size() - used;
        size_t rc = iconv(cd, &pIn, &inLeft, &pOut, &outLeft);
        int err = errno;
        used = out.size() - outLeft;
        if (rc != static_cast<size_t>(-1)) {
            break;
        }
        if (err == E2BIG) {
            out.resize(out.size() * 2);
        } else if (err == EILSEQ) {
            auto* pChar = reinterpret_cast<char32_t*>(pIn);
            *pChar = *pChar == kReplacement ? U'?' : kReplacement;
        } else {
            LOG_ERROR("iconv(to:%s) failed(errno:%d)", IconvName(charset), err);
            return ERR_SYSTEM;
        }
    }
    out.resize(used);
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
    std::u32string text;
    int result = Decode(static_cast<const char*>(pSrc), srcUnits * UnitSize(m_srcCharset),
                        m_srcCharset, text);
    if (result != RESULT_OK) {
        return result;
    }
    std::vector<char> converted;
    result = Encode(std::move(text), m_dstCharset, converted);
    if (result != RESULT_OK) {
        return result;
    }

    int need = static_cast<int>(converted.size() / UnitSize(m_dstCharset));
    if (*pDstLen < need) {
        *pDstLen = need;
        return ERR_NO_MEMORY;
    }
    if (need > 0 && pDst == nullptr) {
        LOG_ERROR("invalid param, pDst is null");
        return ERR_INVALID_PARAM;
    }
    if (need > 0) {
        memcpy(pDst, converted.data(), converted.size());
    }
    *pDstLen = need;
    return RESULT_OK;
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
    return rc == RESULT_OK ? std::string(buf.data()) : std::string();  // failures are reported
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
    if (charSet.Convert(pSrc, -1, buf.data(), &len) != RESULT_OK) {
        return std::u16string();
    }
    return std::u16string(buf.data());
}
