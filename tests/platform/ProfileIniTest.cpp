#include <gtest/gtest.h>

#include "platform/ProfileIni.h"
#include "support/TestSupport.h"

using testsupport::TempDir;
using testsupport::WriteFile;

TEST(ProfileIniTest, ReadsWithWindowsSemantics) {
    TempDir dir;
    const std::string path = dir / "a.ini";
    WriteFile(path,
              "\xEF\xBB\xBF; comment\r\n"
              "garbage line without equals\r\n"
              "[cfg]\r\n"
              "  recorddir  =  /data/录像  \r\n"
              "Number=42abc\r\n"
              "Number=7\r\n"
              "Neg=-3\r\n"
              "Text=abc\r\n"
              "[Other]\r\n"
              "Number=1\r\n");
    EXPECT_EQ(GetProfileString(path, "CFG", "RecordDir", "x"), "/data/录像");
    EXPECT_EQ(GetProfileInt(path, "CFG", "number", 0), 42) << "the first duplicate key wins";
    EXPECT_EQ(GetProfileInt(path, "CFG", "Neg", 0), -3);
    EXPECT_EQ(GetProfileInt(path, "CFG", "Text", 5), 0);
    EXPECT_EQ(GetProfileInt(path, "CFG", "Missing", 30), 30);
    EXPECT_EQ(GetProfileString(path, "NoSection", "Number", "d"), "d");
    EXPECT_EQ(GetProfileString(dir / "missing.ini", "CFG", "RecordDir", "def"), "def");
}

TEST(ProfileIniTest, WriteCreatesTheFileAndKeepsEverythingElse) {
    TempDir dir;
    const std::string path = dir / "b.ini";
    ASSERT_TRUE(WriteProfileString(path, "CFG", "RecordDir", "/r1"));
    EXPECT_EQ(GetProfileString(path, "CFG", "RecordDir", ""), "/r1");

    WriteFile(path, "; keep me\n[CFG]\nRecordDir=/old\nOther=5\n[Second]\nKey=v\n");
    ASSERT_TRUE(WriteProfileString(path, "cfg", "recorddir", "/new"));
    EXPECT_EQ(GetProfileString(path, "CFG", "RecordDir", ""), "/new");
    EXPECT_EQ(GetProfileString(path, "CFG", "Other", ""), "5");
    EXPECT_EQ(GetProfileString(path, "Second", "Key", ""), "v");
    EXPECT_NE(testsupport::ReadFile(path).find("; keep me"), std::string::npos);

    EXPECT_FALSE(WriteProfileString(dir / "no/such/folder.ini", "CFG", "K", "v"));
}

TEST(ProfileIniTest, LeadingIntegerParsing) {
    EXPECT_EQ(ParseLeadingInt("  12x"), 12);
    EXPECT_EQ(ParseLeadingInt("+5"), 5);
    EXPECT_EQ(ParseLeadingInt("-"), 0);
    EXPECT_EQ(ParseLeadingInt(""), 0);
    EXPECT_EQ(ParseLeadingInt(nullptr), 0);
    EXPECT_EQ(ParseLeadingInt("99999999999999999999"), 2147483647);
    EXPECT_EQ(ParseLeadingInt("-99999999999999999999"), -2147483647 - 1);
}

TEST(ProfileIniTest, AFileThatCannotBeReadIsNotReplacedByTheNewKeysAlone) {
    TempDir dir;
    std::string reason;
    EXPECT_FALSE(WriteProfileStrings(dir.Path(), "CFG", {{"A", "1"}}, &reason));
    EXPECT_NE(reason.find("read " + dir.Path()), std::string::npos) << reason;
}
