#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/common_charset.h"
#include "common/common_error.h"

struct SizingCase {
    int src;
    int dst;
    std::string input;     // bytes of the source, without its NUL
    std::string expected;  // bytes of the output, without its NUL
};

inline size_t UnitOf(int charset) {
    return charset == CHARSET_UNICODE ? 2 : 1;
}

inline std::string Bytes(const std::u16string& text) {
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2);
}

// The sizing protocol of Convert: a null buffer or a capacity one unit short is told the exact
// need and converts nothing; that capacity then converts, and writes nothing beyond it.
inline void ExpectSizing(const SizingCase& c) {
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
