// The system code page on Linux: the code set of the process locale.

#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "charset_test_support.h"
#include "common/common_charset.h"

namespace {

// Runs each test in the locale C.UTF-8 (the code set of CHARSET_ANSI) and restores the old one.
class CharSetLocaleTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_oldLocale = setlocale(LC_ALL, nullptr);
        ASSERT_NE(nullptr, setlocale(LC_ALL, "C.UTF-8"));
    }
    void TearDown() override { setlocale(LC_ALL, m_oldLocale.c_str()); }

    std::string m_oldLocale;
};

TEST_F(CharSetLocaleTest, SizingProtocolInTheLocaleCodeSet) {
    const std::string utf8 =
        "Gr\xC3\xBC\xC3\x9F"
        "e \xF0\x9F\x98\x80";  // "Grüße 😀"
    const std::string utf16 = Bytes(u"Gr\u00FC\u00DFe \U0001F600");
    const SizingCase cases[] = {
        {CHARSET_UNICODE, CHARSET_ANSI, utf16, utf8},
        {CHARSET_ANSI, CHARSET_UNICODE, utf8, utf16},
        {CHARSET_UTF8, CHARSET_ANSI, utf8, utf8},
        {CHARSET_ANSI, CHARSET_UTF8, utf8, utf8},
    };
    for (const SizingCase& c : cases) {
        ExpectSizing(c);
    }
}

TEST_F(CharSetLocaleTest, StringFormsInTheLocaleCodeSet) {
    EXPECT_EQ(u"\U0001F600", ConvertToWString(CHARSET_ANSI, "\xF0\x9F\x98\x80"));
    EXPECT_EQ(2u, ConvertToWString(CHARSET_ANSI, "\xF0\x9F\x98\x80").size());
    EXPECT_EQ("caf\xC3\xA9", ConvertToString(CHARSET_UTF8, CHARSET_ANSI, "caf\xC3\xA9"));
    EXPECT_EQ(
        "a\xEF\xBF\xBD"
        "b",
        ConvertToString(CHARSET_UTF8, CHARSET_ANSI,
                        "a\xFF"
                        "b"));
}

TEST_F(CharSetLocaleTest, CharactersTheCodeSetLacksAreReplaced) {
    ASSERT_NE(nullptr, setlocale(LC_ALL, "C"));  // code set ASCII
    EXPECT_EQ("caf?", ConvertToString(CHARSET_UTF8, CHARSET_ANSI, "caf\xC3\xA9"));
    EXPECT_EQ("a?b", ConvertToString(CHARSET_UNICODE, CHARSET_ANSI, u"a\u4E2Db"));
    EXPECT_EQ("x?y", ConvertToString(CHARSET_UTF8, CHARSET_ANSI, "x\xFFy"));
    EXPECT_EQ(u"a\uFFFDb", ConvertToWString(CHARSET_ANSI,
                                            "a\xE9"
                                            "b"));  // not ASCII
}

}  // namespace
