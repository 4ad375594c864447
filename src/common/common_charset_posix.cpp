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

class CIconv {
public:
    CIconv(const char* pTo, const char* pFrom) : m_cd(iconv_open(pTo, pFrom)) {
        if (!IsOpen()) {
            LOG_ERROR("iconv_open(to:%s from:%s) failed(errno:%d)", pTo, pFrom, errno);
        }
    }
    ~CIconv() {
        if (IsOpen()) {
            iconv_close(m_cd);
        }
    }
    CIconv(const CIconv&) = delete;
    CIconv& operator=(const CIconv&) = delete;

    bool IsOpen() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    iconv_t Get() const { return m_cd; }

private:
    iconv_t m_cd;
};

// Source bytes to code points; an invalid or cut-off sequence becomes U+FFFD and the
// conversion goes on behind its first unit.
int Decode(const char* pSrc, size_t srcBytes, int charset, std::u32string& out) {
    CIconv cd(kUtf32Name, IconvName(charset));
    if (!cd.IsOpen()) {
        return ERR_SYSTEM;
    }
    out.assign(srcBytes + 1, U'\0');
    char* pIn = const_cast<char*>(pSrc);
    size_t inLeft = srcBytes;
    size_t used = 0;  // code points
    while (inLeft > 0) {
        char* pOut = reinterpret_cast<char*>(&out[used]);
        size_t outLeft = (out.size() - used) * sizeof(char32_t);
        size_t rc = iconv(cd.Get(), &pIn, &inLeft, &pOut, &outLeft);
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
        iconv(cd.Get(), nullptr, nullptr, nullptr, nullptr);
    }
    out.resize(used);
    return RESULT_OK;
}

// Code points to destination bytes; a character the destination cannot hold becomes U+FFFD,
// or '?' where U+FFFD cannot be held either.
int Encode(std::u32string text, int charset, std::vector<char>& out) {
    CIconv cd(IconvName(charset), kUtf32Name);
    if (!cd.IsOpen()) {
        return ERR_SYSTEM;
    }
    out.assign(text.size() * 4 + 16, '\0');
    char* pIn = reinterpret_cast<char*>(&text[0]);
    size_t inLeft = text.size() * sizeof(char32_t);
    size_t used = 0;
    while (inLeft > 0) {
        char* pOut = out.data() + used;
        size_t outLeft = out.size() - used;
        size_t rc = iconv(cd.Get(), &pIn, &inLeft, &pOut, &outLeft);
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
    if (result != RESULT_OK) {
        return result;
    }
    return Encode(std::move(text), dstCharset, out);
}
