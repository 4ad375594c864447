// A secret text leaves no copy in the memory it gives back: every block it releases is searched
// on its way back to the heap (freed_memory.h).

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <string_view>

#include "common/common_secret.h"
#include "common/common_util.h"
#include "freed_memory.h"

namespace {

// Long enough to live on the heap in any string.
const std::string kSecret = "correct horse battery staple 0123456789";
const std::string kOther = "Tr0ub4dor&3 is another password of 32";

TEST(SecretText, ReleasesOnlyWipedMemory) {
    const struct {
        const char* name;
        std::function<void()> use;
    } cases[] = {
        {"destroyed",
         [] {
             CSecretText text(kSecret);
         }},
        {"assigned over",
         [] {
             CSecretText text(kSecret);
             text = CSecretText(kOther);
             text = CSecretText();
             EXPECT_TRUE(text.Empty());
         }},
        {"moved out and destroyed",
         [] {
             CSecretText text(kSecret);
             CSecretText moved(std::move(text));
             EXPECT_TRUE(text.Empty());
             EXPECT_EQ(moved.View(), kSecret);
             CSecretText assigned(kOther);
             assigned = std::move(moved);
             EXPECT_TRUE(moved.Empty());
             EXPECT_EQ(assigned.View(), kSecret);
         }},
        {"grown one byte at a time",
         [] {
             CSecretText text;
             for (char c : kSecret) {
                 text.Append(c);
             }
             EXPECT_EQ(text.View(), kSecret);
             EXPECT_EQ(text.CStr()[kSecret.size()], '\0');
         }},
        {"cleared before it is destroyed",
         [] {
             CSecretText text(kSecret);
             text.Shrink(8);
             EXPECT_EQ(text.View(), std::string_view(kSecret).substr(0, kSecret.size() - 8));
             text.Clear();
             EXPECT_STREQ(text.CStr(), "");
             text.Append(kOther.data(), 4);
             EXPECT_EQ(text.View(), std::string_view(kOther).substr(0, 4));
         }},
        {"taken from a string",
         [] {
             std::string plain = kSecret;
             CSecretText text(std::move(plain));
             EXPECT_TRUE(plain.empty());
             EXPECT_EQ(text.View(), kSecret);
         }},
        {"scrambled",
         [] {
             CSecretText cipher(kOther);
             ASSERT_EQ(Text2CipherString(CSecretText(kSecret), cipher), 0);
             EXPECT_EQ(cipher.Size(), 2 * kSecret.size());
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // Any eight bytes of either text in a released block count.
        CFreedMemoryWatch watch({kSecret.substr(0, 8), kSecret.substr(kSecret.size() - 8),
                                 kOther.substr(0, 8), kOther.substr(kOther.size() - 8)});
        c.use();
        EXPECT_EQ(watch.Hits(), 0);
    }
}

// The watch itself sees what an ordinary string leaves behind.
TEST(SecretText, WatchFindsWhatAPlainStringLeaves) {
    CFreedMemoryWatch watch({kSecret.substr(0, 8)});
    { std::string plain = kSecret; }
    EXPECT_EQ(watch.Hits(), 1);
}

}  // namespace
