#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/Text.h"

TEST(TextTest, CutNeverSplitsACharacter) {
    const std::string text = "ab录像";  // 2 + 3 + 3 bytes
    EXPECT_EQ(Utf8PrefixLength(text.data(), text.size(), 8), 8u);
    EXPECT_EQ(Utf8PrefixLength(text.data(), text.size(), 7), 5u);
    EXPECT_EQ(Utf8PrefixLength(text.data(), text.size(), 4), 2u);
    EXPECT_EQ(Utf8PrefixLength(text.data(), text.size(), 2), 2u);
    EXPECT_EQ(Utf8PrefixLength(text.data(), text.size(), 0), 0u);

    char field[6];
    EXPECT_EQ(CopyTextCut(field, sizeof field, text.c_str()), 5u);
    EXPECT_STREQ(field, "ab录");
    EXPECT_EQ(CopyTextCut(field, sizeof field, nullptr), 0u);
    EXPECT_STREQ(field, "");
}
