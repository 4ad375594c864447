// The system code page on Linux: the code set of the process locale.

#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <thread>
#include <vector>

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

// Each thread keeps converters of its own: threads converting at once never mix their texts.
TEST_F(CharSetLocaleTest, ThreadsConvertAtOnceWithoutMixingTheirTexts) {
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
