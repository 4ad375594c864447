// Text conversion on Linux: glibc's iconv, through UTF-32. The code set of CHARSET_ANSI is the
// locale's (nl_langinfo(CODESET)).

#include <iconv.h>
#include <langinfo.h>

#include <cerrno>
#include <string>
#include <vector>

#include "common/common_charset.h"
#include "common/common_error.h"
#include "common/common_log.h"
#include "common/common_platform.h"
#include "common/common_secret.h"

namespace {

#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
const char* const kUtf16Name = "UTF-16LE";
const char* const kUtf32Name = "UTF-32LE";
#else
const char* const kUtf16Name = "UTF-16BE";
const char* const kUtf32Name = "UTF-32BE";
#endif

constexpr char32_t kReplacement = 0xFFFD;

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
        size_t skip = CharSetUnitSize(charset) < inLeft ? CharSetUnitSize(charset) : inLeft;
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
int Encode(std::u32string& text, int charset, std::vector<char>& out) {
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

int TranscodeText(int srcCharset, int dstCharset, const void* pSrc, size_t srcUnits,
                  std::vector<char>& out) {
    std::u32string text;
    int result = Decode(static_cast<const char*>(pSrc), srcUnits * CharSetUnitSize(srcCharset),
                        srcCharset, text);
    if (result == RESULT_OK) {
        result = Encode(text, dstCharset, out);
    }
    // The text may be a password: its code points are wiped before they are freed.
    WipeBytes(&text[0], text.size() * sizeof(char32_t));
    return result;
}
