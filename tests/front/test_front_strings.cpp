// The text of each result code.

#include <gtest/gtest.h>

#include "front/front_strings.h"

namespace {

TEST(FrontStrings, EveryResultCodeHasItsTextAsStored) {
    const struct {
        int code;
        int id;
        const char* text;
    } cases[] = {
        {0, 103, "Succeed"},
        {10000, 104, "Failed"},
        {10001, 113, "Invalid parameter"},
        {10002, 114, "System failed"},
        {10003, 115, "Function not supported."},
        {10004, 116, "Memory not enough."},
        {10005, 117, "I/O failed"},
        {10006, 118, "Object already attched."},
        {10007, 119, "Object already exist."},
        {10008, 120, "Object not found."},
        {10009, 102, "Timeout"},
        {11000, 121, "Socket bind failed."},
        {11001, 122, "Mandatory equipment IP address information."},
        {11002, 123, "Device serial code is no longer invalid."},
        {11003, 124, "Device serial code is invalid."},
        {11004, 125, "Device password error."},
        {11005, 126, "Device IP conflict."},
        {10010, 104, "Failed"},
        {11006, 104, "Failed"},
        {-1, 104, "Failed"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(GetErrMsgId(c.code), c.id) << c.code;
        EXPECT_STREQ(GetErrMsg(c.code), c.text) << c.code;
    }
}

TEST(FrontStrings, IdsWithoutTextGiveEmptyText) {
    EXPECT_STREQ(LoadResText(106), "");
    EXPECT_STREQ(LoadResText(0), "");
    EXPECT_STREQ(LoadResText(IDS_STARTUP_FAILED), "Startup service  failed.");
}

TEST(FrontStrings, FormattedTextTakesTheValueAsItIs) {
    EXPECT_EQ(FormatResText(IDS_BROWSER_FAILED, "http://198.18.0.10"),
              "Cannot start a browser for http://198.18.0.10.");
    // A value that holds a placeholder of its own is not expanded again.
    EXPECT_EQ(FormatResText(IDS_BROWSER_FAILED, "http://%s%d"),
              "Cannot start a browser for http://%s%d.");
    EXPECT_EQ(FormatResText(IDS_SEARCHING, "x"), "Searching devices...");
    EXPECT_EQ(FormatResText(106, "x"), "");
}

}  // namespace
