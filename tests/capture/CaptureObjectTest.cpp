#include <gtest/gtest.h>

#include <string>

#include "CaptureTestSupport.h"
#include "capture/CaptureObject.h"

namespace {

std::string Repeat(const std::string& piece, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) text += piece;
    return text;
}

// The log file line that starts with prefix, text only; empty when there is none.
std::string LogFileTextStartingWith(const CTestApp& app, const std::string& prefix) {
    for (const auto& text : app.LogFileTexts()) {
        if (text.rfind(prefix, 0) == 0) return text;
    }
    return {};
}

TEST(ComponentLogTest, UnnamedComponentTextBeginsWithOneSpace) {
    CTestApp app;
    CCaptureObject component;
    ComponentLog(&component, "成功打开设备 %s", "Cam A");
    ComponentLog(nullptr, "打开设备 %s 失败", "Cam B");

    EXPECT_EQ(1, CountLines(app.Log(), " 成功打开设备 Cam A"));
    EXPECT_EQ(1, CountLines(app.Log(), " 打开设备 Cam B 失败"));
    EXPECT_EQ(" 成功打开设备 Cam A", LogFileTextStartingWith(app, " 成功"));
}

TEST(ComponentLogTest, LongTextIsCutTo519BytesAtACharacterBoundary) {
    CTestApp app;
    CCaptureObject component;
    // 3-byte characters: the 519-byte message keeps 173 of them, and the joined
    // text (one more byte for the space) must drop the 173rd rather than split it.
    ComponentLog(&component, "%s", Repeat("录", 300).c_str());
    ComponentLog(&component, "x%s", Repeat("a", 600).c_str());

    const std::string wide = LogFileTextStartingWith(app, " 录");
    EXPECT_EQ(" " + Repeat("录", 172), wide);
    const std::string narrow = LogFileTextStartingWith(app, " x");
    EXPECT_EQ(kComponentLogMaxBytes, narrow.size());
    EXPECT_EQ(" x" + Repeat("a", 517), narrow);
}

TEST(ComponentLogTest, MessageCutInsideACharacterDropsThePartialCharacter) {
    CTestApp app;
    CCaptureObject component;
    // 518 ASCII bytes leave one byte of the 519-byte message for a 3-byte character.
    ComponentLog(&component, "%s%s", Repeat("b", 518).c_str(), "录");
    EXPECT_EQ(" " + Repeat("b", 518), LogFileTextStartingWith(app, " b"));
}

}  // namespace
