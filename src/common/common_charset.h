#pragma once

#include <cstddef>
#include <string>

// Text encodings the system converts between.
enum CharSetType : int {
    CHARSET_ANSI = 0,     // narrow text in the system code page
    CHARSET_UNICODE = 1,  // UTF-16 in 16-bit units (char16_t)
    CHARSET_UTF8 = 2,     // UTF-8
};

// Bytes in one unit of the encoding.
inline size_t CharSetUnitSize(int charset) {
    return charset == CHARSET_UNICODE ? sizeof(char16_t) : 1;
}

// Converts text from one encoding to another. Characters the destination cannot hold are
// replaced (U+FFFD where the destination has it, the code page's default character such as
// '?' otherwise); so are invalid sequences in the source. Neither fails a conversion.
//
// The system code page of CHARSET_ANSI is on Windows the ANSI code page (CP_ACP). On Linux it
// is the code set of the process locale: a program that has not called setlocale(LC_ALL, "")
// runs in the "C" locale, whose code set is ASCII.
class CCharSet {
public:
    CCharSet(int srcCharset, int dstCharset) : m_dstCharset(dstCharset), m_srcCharset(srcCharset) {}
    virtual ~CCharSet() = default;

    // Lengths count units of their encoding: bytes, or 16-bit units for CHARSET_UNICODE.
    // srcLen -1: the source runs up to and including its NUL, and so does the output.
    // *pDstLen: in, the capacity of pDst (0 with a null pDst to ask for the size); out, the
    // number of units the conversion needs (10004) or produced (0).
    // Returns 0, 10001 (bad argument or charset), 10002 (conversion not available) or
    // 10004 (capacity too small; nothing converted).
    int Convert(const void* pSrc, int srcLen, void* pDst, int* pDstLen);

private:
    int m_dstCharset;
    int m_srcCharset;
};

// NUL-terminated source converted to a narrow string (dstCharset CHARSET_ANSI or
// CHARSET_UTF8); empty on any failure.
std::string ConvertToString(int srcCharset, int dstCharset, const void* pSrc);
// NUL-terminated narrow source (CHARSET_ANSI or CHARSET_UTF8) converted to UTF-16; empty on
// any failure.
std::u16string ConvertToWString(int srcCharset, const char* pSrc);
