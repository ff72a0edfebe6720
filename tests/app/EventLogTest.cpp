#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include "app/EventLog.h"
#include "support/TestSupport.h"

using testsupport::ListFiles;
using testsupport::MakeLocalTime;
using testsupport::ReadFile;
using testsupport::TempDir;

namespace {

// A clock the test moves by hand.
class ManualClock {
public:
    explicit ManualClock(LocalTime start) : now_(start) {}
    ClockFn Fn() {
        return [this] {
            std::lock_guard<std::mutex> guard(lock_);
            return now_;
        };
    }
    void Set(LocalTime t) {
        std::lock_guard<std::mutex> guard(lock_);
        now_ = t;
    }

private:
    std::mutex lock_;
    LocalTime now_;
};

std::vector<std::string> Lines(const std::string& content) {
    std::vector<std::string> lines;
    std::istringstream in(content);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

}  // namespace

TEST(EventLogTest, NamingStartsAnEmptyFileAtOnceAndStampsLines) {
    TempDir dir;
    ManualClock clock(MakeLocalTime(2026, 3, 4, 5, 6, 7, 8));
    CEventLog log(dir.Path(), clock.Fn());
    EXPECT_EQ(log.CurrentPath(), "") << "no file before a name is set";
    EXPECT_EQ(log.SetLogName(""), 0);
    EXPECT_EQ(log.SetLogName(nullptr), 0);

    ASSERT_EQ(log.SetLogName("OrvexClient"), 1);
    const std::string expected = dir.Path() + "/Log/2026-03-04/OrvexClient/05-06-07-008.log";
    EXPECT_EQ(log.CurrentPath(), expected);
    ASSERT_TRUE(testsupport::Exists(expected));
    EXPECT_EQ(ReadFile(expected), "");

    clock.Set(MakeLocalTime(2026, 3, 4, 5, 6, 9, 123));
    ASSERT_EQ(log.AddLine("录像 started"), 1);
    EXPECT_EQ(ReadFile(expected), "2026-03-04 05:06:09 123  录像 started\n");
    EXPECT_EQ(log.ByteCount(), std::string("2026-03-04 05:06:09 123  录像 started").size() + 1);
}

TEST(EventLogTest, LongestTextIsWrittenAndOneMoreByteIsRefused) {
    TempDir dir;
    CEventLog log(dir.Path());
    ASSERT_EQ(log.SetLogName("L"), 1);
    const std::string fits(CEventLog::kMaxTextBytes, 'a');
    ASSERT_EQ(fits.size(), 1474u);
    EXPECT_EQ(log.AddLine(fits.c_str()), 1);
    EXPECT_EQ(log.AddLine((fits + "b").c_str()), 0);
    const auto lines = Lines(ReadFile(log.CurrentPath()));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].size(), 23u + 2u + 1474u);
}

TEST(EventLogTest, SizeRollOverKeepsTheLimitLineInTheOldFile) {
    TempDir dir;
    ManualClock clock(MakeLocalTime(2026, 1, 1, 10, 0, 0, 0));
    CEventLog log(dir.Path(), clock.Fn());
    ASSERT_EQ(log.SetLogName("L"), 1);
    const std::string first = log.CurrentPath();

    // 974 text bytes make a 1000-byte line with its line end: 1024 lines reach the limit.
    const std::string text(974, 'x');
    for (int i = 0; i < 1023; ++i) ASSERT_EQ(log.AddLine(text.c_str()), 1);
    EXPECT_EQ(log.ByteCount(), 1023000u);
    EXPECT_EQ(log.CurrentPath(), first);

    clock.Set(MakeLocalTime(2026, 1, 1, 10, 0, 5, 250));
    ASSERT_EQ(log.AddLine(text.c_str()), 1);
    EXPECT_EQ(std::filesystem::file_size(first), 1024000u)
        << "the limit line stays in the old file";
    const std::string second = dir.Path() + "/Log/2026-01-01/L/10-00-05-250.log";
    EXPECT_EQ(log.CurrentPath(), second);
    EXPECT_EQ(log.ByteCount(), 0u);

    ASSERT_EQ(log.AddLine("next"), 1);
    EXPECT_EQ(Lines(ReadFile(second)).size(), 1u);
}

TEST(EventLogTest, FirstLineAfterMidnightGoesToTheOldFileThenANewDateFolder) {
    TempDir dir;
    ManualClock clock(MakeLocalTime(2026, 12, 31, 23, 59, 59, 900));
    CEventLog log(dir.Path(), clock.Fn());
    ASSERT_EQ(log.SetLogName("L"), 1);
    const std::string oldFile = log.CurrentPath();
    ASSERT_EQ(log.AddLine("before"), 1);

    clock.Set(MakeLocalTime(2027, 1, 1, 0, 0, 0, 10));
    ASSERT_EQ(log.AddLine("first of the year"), 1);
    const auto oldLines = Lines(ReadFile(oldFile));
    ASSERT_EQ(oldLines.size(), 2u);
    EXPECT_EQ(oldLines[1], "2027-01-01 00:00:00 010  first of the year");

    const std::string newFile = dir.Path() + "/Log/2027-01-01/L/00-00-00-010.log";
    EXPECT_EQ(log.CurrentPath(), newFile);
    EXPECT_EQ(ReadFile(newFile), "") << "created empty at the date change";
    ASSERT_EQ(log.AddLine("second"), 1);
    EXPECT_EQ(Lines(ReadFile(newFile)).size(), 1u);
}

TEST(EventLogTest, FilesStartedInTheSameMillisecondShareOneFile) {
    TempDir dir;
    ManualClock clock(MakeLocalTime(2026, 5, 5, 5, 5, 5, 5));
    {
        CEventLog a(dir.Path(), clock.Fn());
        ASSERT_EQ(a.SetLogName("L"), 1);
        ASSERT_EQ(a.AddLine("one"), 1);
    }
    CEventLog b(dir.Path(), clock.Fn());
    ASSERT_EQ(b.SetLogName("L"), 1);
    ASSERT_EQ(b.AddLine("two"), 1);
    const auto files = ListFiles(dir.Path());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(Lines(ReadFile(files[0])).size(), 2u) << "the second appends to the first";
}

TEST(EventLogTest, UnwritableLogFolderRefusesLinesAndKeepsRetrying) {
    TempDir dir;
    // A regular file where the Log folder belongs: no folder can be made, even as root.
    testsupport::WriteFile(dir / "Log", "not a folder");
    CEventLog log(dir.Path());
    ASSERT_EQ(log.SetLogName("L"), 1);
    EXPECT_FALSE(log.CurrentPath().empty()) << "the path is chosen even though it cannot open";
    EXPECT_EQ(log.AddLine("lost 1"), 0);
    EXPECT_EQ(log.AddLine("lost 2"), 0);

    std::filesystem::remove(dir / "Log");
    EXPECT_EQ(log.AddLine("kept"), 1) << "every line tries to open the file again";
    const auto lines = Lines(ReadFile(log.CurrentPath()));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("kept"), std::string::npos);
}

TEST(EventLogTest, CloseFileForgetsThePathAndLinesAreRefusedUntilANewFile) {
    TempDir dir;
    CEventLog log(dir.Path());
    ASSERT_EQ(log.SetLogName("L"), 1);
    ASSERT_EQ(log.AddLine("a"), 1);
    EXPECT_EQ(log.CloseFile(), 1);
    EXPECT_EQ(log.CurrentPath(), "");
    EXPECT_EQ(log.ByteCount(), 0u);
    EXPECT_EQ(log.AddLine("b"), 0);
}

TEST(EventLogTest, ConcurrentLinesAreWholeAndNoneIsLost) {
    TempDir dir;
    CEventLog log(dir.Path());
    ASSERT_EQ(log.SetLogName("L"), 1);
    constexpr int kThreads = 4;
    constexpr int kLines = 500;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&log, t] {
            const std::string text =
                "thread " + std::to_string(t) + " " + std::string(100, 'a' + t);
            for (int i = 0; i < kLines; ++i) log.AddLine(text.c_str());
        });
    }
    for (auto& thread : threads) thread.join();
    const auto lines = Lines(ReadFile(log.CurrentPath()));
    ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kLines));
    for (const auto& line : lines) {
        ASSERT_EQ(line.size(), 23u + 2u + 9u + 100u) << line;
        const char body = line.back();
        EXPECT_EQ(line.find_first_not_of(body, line.size() - 100), std::string::npos) << line;
    }
}
