// The system code page on Windows: the ANSI code page. Its cases are written for code page
// 1252 (Western European), that of an English or Western European Windows, and of Wine in an
// English or C locale.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "charset_test_support.h"
#include "common/common_charset.h"

namespace {

class CharSetAnsiTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (GetACP() != 1252) {
            GTEST_SKIP() << "the ANSI code page is " << GetACP() << "; these cases are for 1252";
        }
    }
};

TEST_F(CharSetAnsiTest, SizingProtocolInTheAnsiCodePage) {
    const std::string ansi =
        "Gr\xFC\xDF"
        "e \x80";  // "Grüße €"
    const std::string utf8 =
        "Gr\xC3\xBC\xC3\x9F"
        "e \xE2\x82\xAC";
    const std::string utf16 = Bytes(u"Gr\u00FC\u00DFe \u20AC");
    const SizingCase cases[] = {
        {CHARSET_UNICODE, CHARSET_ANSI, utf16, ansi},
        {CHARSET_ANSI, CHARSET_UNICODE, ansi, utf16},
        {CHARSET_UTF8, CHARSET_ANSI, utf8, ansi},
        {CHARSET_ANSI, CHARSET_UTF8, ansi, utf8},
    };
    for (const SizingCase& c : cases) {
        ExpectSizing(c);
    }
}

TEST_F(CharSetAnsiTest, CharactersTheCodePageLacksBecomeItsDefaultCharacter) {
    EXPECT_EQ("caf\xE9", ConvertToString(CHARSET_UTF8, CHARSET_ANSI, "caf\xC3\xA9"));
    EXPECT_EQ("a?b", ConvertToString(CHARSET_UNICODE, CHARSET_ANSI, u"a\u4E2Db"));
    EXPECT_EQ("x?y", ConvertToString(CHARSET_UTF8, CHARSET_ANSI, "x\xFFy"));
    // No look-alikes: "A" with macron and the full-width "<" are not turned into "A" and "<".
    EXPECT_EQ("?x?", ConvertToString(CHARSET_UNICODE, CHARSET_ANSI, u"\u0100x\uFF1C"));
}

}  // namespace
