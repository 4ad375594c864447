// Conversions that do not depend on the system code page.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "charset_test_support.h"
#include "common/common_charset.h"
#include "common/common_error.h"

namespace {

TEST(CharSetTest, SizingProtocolAsksForTheExactNeed) {
    const std::string utf8 =
        "Gr\xC3\xBC\xC3\x9F"
        "e \xF0\x9F\x98\x80";  // "Grüße 😀"
    const std::string utf16 = Bytes(u"Gr\u00FC\u00DFe \U0001F600");
    const SizingCase cases[] = {
        {CHARSET_UTF8, CHARSET_UNICODE, utf8, utf16},
        {CHARSET_UNICODE, CHARSET_UTF8, utf16, utf8},
        {CHARSET_UTF8, CHARSET_UTF8, utf8, utf8},
        {CHARSET_UNICODE, CHARSET_ANSI, std::string(), std::string()},
    };
    for (const SizingCase& c : cases) {
        ExpectSizing(c);
    }
}

TEST(CharSetTest, BadArgumentsAreRefused) {
    int len = 10;
    char buf[10];
    EXPECT_EQ(ERR_INVALID_PARAM,
              CCharSet(CHARSET_UTF8, CHARSET_UNICODE).Convert(nullptr, -1, buf, &len));
    EXPECT_EQ(ERR_INVALID_PARAM, CCharSet(3, CHARSET_UNICODE).Convert("a", -1, buf, &len));
    EXPECT_EQ(ERR_INVALID_PARAM, CCharSet(CHARSET_UTF8, -1).Convert("a", -1, buf, &len));
    EXPECT_EQ(ERR_INVALID_PARAM, CCharSet(7, 9).Convert("a", -1, buf, &len));
    EXPECT_EQ(ERR_INVALID_PARAM, CCharSet(CHARSET_UTF8, CHARSET_ANSI).Convert("a", -2, buf, &len));
    EXPECT_EQ(ERR_INVALID_PARAM,
              CCharSet(CHARSET_UTF8, CHARSET_ANSI).Convert("a", -1, buf, nullptr));
    EXPECT_EQ(10, len);
    EXPECT_EQ("", ConvertToString(CHARSET_UTF8, 5, "abc"));
    EXPECT_EQ("", ConvertToString(CHARSET_UTF8, CHARSET_UNICODE, "abc"));
    EXPECT_EQ("", ConvertToString(CHARSET_UTF8, CHARSET_ANSI, nullptr));
    EXPECT_EQ(u"", ConvertToWString(CHARSET_UNICODE, "abc"));
}

TEST(CharSetTest, InvalidInputIsReplacedNotRefused) {
    struct Case {
        int src;
        int dst;
        std::string input;
        std::string expected;
    } cases[] = {
        {CHARSET_UTF8, CHARSET_UTF8,
         "a\xFF"
         "b",
         "a\xEF\xBF\xBD"
         "b"},
        {CHARSET_UTF8, CHARSET_UTF8, "a\xC3", "a\xEF\xBF\xBD"},                  // cut-off sequence
        {CHARSET_UTF8, CHARSET_UTF8, "\xC0\x80x", "\xEF\xBF\xBD\xEF\xBF\xBDx"},  // overlong
        {CHARSET_UTF8, CHARSET_UNICODE,
         "a\xFF"
         "b",
         Bytes(u"a\uFFFDb")},
        {CHARSET_UNICODE, CHARSET_UTF8, Bytes(u"a") + std::string("\x00\xD8", 2) + Bytes(u"b"),
         "a\xEF\xBF\xBD"
         "b"},  // lone surrogate
    };
    for (const Case& c : cases) {
        CCharSet charSet(c.src, c.dst);
        int len = 0;
        int units = static_cast<int>(c.input.size() / UnitOf(c.src));
        ASSERT_EQ(ERR_NO_MEMORY, charSet.Convert(c.input.data(), units, nullptr, &len));
        std::vector<char> buf(len * UnitOf(c.dst));
        ASSERT_EQ(RESULT_OK, charSet.Convert(c.input.data(), units, buf.data(), &len));
        EXPECT_EQ(c.expected, std::string(buf.data(), buf.size()));
    }
}

TEST(CharSetTest, StringFormsConvertTerminatedText) {
    EXPECT_EQ(u"Gr\u00FC\u00DFe", ConvertToWString(CHARSET_UTF8,
                                                   "Gr\xC3\xBC\xC3\x9F"
                                                   "e"));
    EXPECT_EQ(u"\U0001F600", ConvertToWString(CHARSET_UTF8, "\xF0\x9F\x98\x80"));
    EXPECT_EQ(2u, ConvertToWString(CHARSET_UTF8, "\xF0\x9F\x98\x80").size());
    EXPECT_EQ("192.168.0.10", ConvertToString(CHARSET_UNICODE, CHARSET_ANSI, u"192.168.0.10"));
    EXPECT_EQ(u"192.168.0.10", ConvertToWString(CHARSET_ANSI, "192.168.0.10"));
    EXPECT_EQ("", ConvertToString(CHARSET_UNICODE, CHARSET_ANSI, u""));
    EXPECT_EQ(u"", ConvertToWString(CHARSET_ANSI, ""));
    EXPECT_EQ("caf\xC3\xA9", ConvertToString(CHARSET_UNICODE, CHARSET_UTF8, u"caf\u00E9"));
}

}  // namespace
