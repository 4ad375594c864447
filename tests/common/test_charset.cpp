#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "common/common_charset.h"
#include "common/common_error.h"

namespace {

// Runs each test in the given locale (the code set of CHARSET_ANSI) and restores the old one.
class CharSetTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_oldLocale = setlocale(LC_ALL, nullptr);
        ASSERT_NE(nullptr, setlocale(LC_ALL, "C.UTF-8"));
    }
    void TearDown() override { setlocale(LC_ALL, m_oldLocale.c_str()); }

    std::string m_oldLocale;
};

struct SizingCase {
    int src;
    int dst;
    std::string input;     // bytes of the source, without its NUL
    std::string expected;  // bytes of the output, without its NUL
};

size_t UnitOf(int charset) {
    return charset == CHARSET_UNICODE ? 2 : 1;
}

std::string Bytes(const std::u16string& text) {
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2);
}

TEST_F(CharSetTest, SizingProtocolAsksForTheExactNeed) {
    const std::string utf8 =
        "Gr\xC3\xBC\xC3\x9F"
        "e \xF0\x9F\x98\x80";  // "Grüße 😀"
    const std::string utf16 = Bytes(u"Gr\u00FC\u00DFe \U0001F600");
    const SizingCase cases[] = {
        {CHARSET_UTF8, CHARSET_UNICODE, utf8, utf16},
        {CHARSET_UNICODE, CHARSET_UTF8, utf16, utf8},
        {CHARSET_UNICODE, CHARSET_ANSI, utf16, utf8},
        {CHARSET_ANSI, CHARSET_UNICODE, utf8, utf16},
        {CHARSET_UTF8, CHARSET_ANSI, utf8, utf8},
        {CHARSET_ANSI, CHARSET_UTF8, utf8, utf8},
        {CHARSET_UTF8, CHARSET_UTF8, utf8, utf8},
        {CHARSET_UNICODE, CHARSET_ANSI, std::string(), std::string()},
    };
    for (const SizingCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.src << " -> " << c.dst);
        CCharSet charSet(c.src, c.dst);
        std::string source = c.input + std::string(UnitOf(c.src), '\0');
        const int need = static_cast<int>((c.expected.size() + UnitOf(c.dst)) / UnitOf(c.dst));

        int len = 0;
        EXPECT_EQ(ERR_NO_MEMORY, charSet.Convert(source.data(), -1, nullptr, &len));
        EXPECT_EQ(need, len);

        std::vector<char> buf((need + 1) * UnitOf(c.dst), '#');
        len = need - 1;
        EXPECT_EQ(ERR_NO_MEMORY, charSet.Convert(source.data(), -1, buf.data(), &len));
        EXPECT_EQ(need, len);
        EXPECT_EQ('#', buf[0]) << "nothing converted";

        len = need;
        ASSERT_EQ(RESULT_OK, charSet.Convert(source.data(), -1, buf.data(), &len));
        EXPECT_EQ(need, len);
        EXPECT_EQ(c.expected + std::string(UnitOf(c.dst), '\0'),
                  std::string(buf.data(), need * UnitOf(c.dst)));
        EXPECT_EQ('#', buf[need * UnitOf(c.dst)]) << "nothing written past the need";

        // An explicit length converts exactly those units, with no terminator.
        len = need;
        ASSERT_EQ(RESULT_OK,
                  charSet.Convert(c.input.data(), static_cast<int>(c.input.size() / UnitOf(c.src)),
                                  buf.data(), &len));
        EXPECT_EQ(c.expected, std::string(buf.data(), len * UnitOf(c.dst)));
    }
}

TEST_F(CharSetTest, BadArgumentsAreRefused) {
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

TEST_F(CharSetTest, InvalidInputIsReplacedNotRefused) {
    struct Case {
        int src;
        int dst;
        std::string input;
        std::string expected;
    } cases[] = {
        {CHARSET_UTF8, CHARSET_ANSI,
         "a\xFF"
         "b",
         "a\xEF\xBF\xBD"
         "b"},
        {CHARSET_UTF8, CHARSET_ANSI, "a\xC3", "a\xEF\xBF\xBD"},                  // cut-off sequence
        {CHARSET_UTF8, CHARSET_ANSI, "\xC0\x80x", "\xEF\xBF\xBD\xEF\xBF\xBDx"},  // overlong
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

TEST_F(CharSetTest, StringFormsConvertTerminatedText) {
    EXPECT_EQ(u"Gr\u00FC\u00DFe", ConvertToWString(CHARSET_UTF8,
                                                   "Gr\xC3\xBC\xC3\x9F"
                                                   "e"));
    EXPECT_EQ(u"\U0001F600", ConvertToWString(CHARSET_ANSI, "\xF0\x9F\x98\x80"));
    EXPECT_EQ(2u, ConvertToWString(CHARSET_ANSI, "\xF0\x9F\x98\x80").size());
    EXPECT_EQ("192.168.0.10", ConvertToString(CHARSET_UNICODE, CHARSET_ANSI, u"192.168.0.10"));
    EXPECT_EQ("", ConvertToString(CHARSET_UNICODE, CHARSET_ANSI, u""));
    EXPECT_EQ(u"", ConvertToWString(CHARSET_ANSI, ""));
    EXPECT_EQ("caf\xC3\xA9", ConvertToString(CHARSET_UTF8, CHARSET_ANSI, "caf\xC3\xA9"));
}

TEST_F(CharSetTest, CharactersTheCodeSetLacksAreReplaced) {
    ASSERT_NE(nullptr, setlocale(LC_ALL, "C"));  // code set ASCII
    EXPECT_EQ("caf?", ConvertToString(CHARSET_UTF8, CHARSET_ANSI, "caf\xC3\xA9"));
    EXPECT_EQ("a?b", ConvertToString(CHARSET_UNICODE, CHARSET_ANSI, u"a\u4E2Db"));
    EXPECT_EQ("x?y", ConvertToString(CHARSET_UTF8, CHARSET_ANSI, "x\xFFy"));
    EXPECT_EQ(u"a\uFFFDb", ConvertToWString(CHARSET_ANSI,
                                            "a\xE9"
                                            "b"));  // not ASCII
}

// Each thread keeps converters of its own: threads converting at once never mix their texts.
TEST_F(CharSetTest, ThreadsConvertAtOnceWithoutMixingTheirTexts) {
    const std::string texts[] = {"caf\xC3\xA9",
                                 "Gr\xC3\xBC\xC3\x9F"
                                 "e",
                                 "\xE4\xB8\xAD\xE6\x96\x87", "x\xFFy"};
    const std::string expected[] = {"caf\xC3\xA9",
                                    "Gr\xC3\xBC\xC3\x9F"
                                    "e",
                                    "\xE4\xB8\xAD\xE6\x96\x87", "x\xEF\xBF\xBDy"};
    int wrong[4] = {};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i) {
                if (ConvertToString(CHARSET_UTF8, CHARSET_ANSI, texts[t].c_str()) != expected[t] ||
                    ConvertToWString(CHARSET_UTF8, texts[t].c_str()).empty()) {
                    ++wrong[t];
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (int t = 0; t < 4; ++t) {
        EXPECT_EQ(0, wrong[t]) << t;
    }
}

}  // namespace
