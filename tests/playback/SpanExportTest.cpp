// Export of a span to MP4 without re-encoding: the file plays in GStreamer (and in
// FFmpeg's prober when it is installed), lasts the span within a second, and its
// ".sha256" checks with sha256sum; the command line's answers, one row per rule.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>

#include "MemoryCatalog.h"
#include "PlaybackTestSupport.h"
#include "SyntheticRecorder.h"
#include "playback/ExportCommand.h"
#include "playback/LocalClock.h"
#include "playback/SpanExport.h"
#include "support/TestSupport.h"

namespace {

constexpr int64_t kStartMs = 1767261600000;  // 2026-01-01 10:00 UTC

class SpanExportTest : public testing::Test {
protected:
    void SetUp() override {
        PlaybackTestFolder();
        // 40 s at 30 a second, then 40 s at 7.5 in a second file, 3 s later.
        CSyntheticRecorder recorder(catalog_, dir_.Path(), "后门");
        fast_ = CSyntheticRecorder::Times(kStartMs, 30, 1200);
        ASSERT_TRUE(recorder.Record(fast_));
        recorder.Finish();
        slow_ = CSyntheticRecorder::Times(fast_.back() + 3000, 7.5, 300);
        ASSERT_TRUE(recorder.Record(slow_));
        recorder.Finish();
    }

    testsupport::TempDir dir_;
    CMemoryCatalog catalog_;
    std::vector<int64_t> fast_;
    std::vector<int64_t> slow_;
};

TEST_F(SpanExportTest, ASpanAcrossTwoFilesPlaysForItsLengthWithItsDigest) {
    const struct {
        int64_t From, To;
    } spans[] = {
        {kStartMs + 10700, kStartMs + 30300},           // inside one file, between key frames
        {kStartMs + 25000, slow_.front() + 20000},      // across both files and the hole
        {slow_.front() + 5100, slow_.front() + 35900},  // the slow camera
    };
    int index = 0;
    for (const auto& span : spans) {
        const std::string path = dir_ / ("span " + std::to_string(++index) + ".mp4");
        const SpanExportResult result =
            SpanExport::Export(catalog_, {"后门", span.From, span.To, path});
        ASSERT_EQ(SpanExportStatus::Written, result.Status) << result.Reason;
        EXPECT_NEAR(result.FirstMs, span.From, 1000);
        EXPECT_NEAR(result.EndMs, span.To, 1000);

        const DecodedMovie movie = DecodeMovie(path);
        EXPECT_TRUE(movie.Decoded) << path;
        EXPECT_EQ(static_cast<int>(result.Pictures), movie.Pictures) << path;
        EXPECT_NEAR(span.To - span.From, movie.DurationMs, 1000) << path;

        std::string output;
        EXPECT_EQ(
            0, RunCommand("cd '" + dir_.Path() + "' && sha256sum -c '" + path + ".sha256'", output))
            << output;
        EXPECT_EQ(result.Sha256 + "  span " + std::to_string(index) + ".mp4\n",
                  testsupport::ReadFile(path + ".sha256"));
        if (RunCommand("command -v ffprobe", output) == 0) {
            ASSERT_EQ(0, RunCommand("ffprobe -v error -show_entries format=duration -of "
                                    "default=noprint_wrappers=1:nokey=1 '" +
                                        path + "'",
                                    output));
            EXPECT_NEAR(double(span.To - span.From) / 1000, std::atof(output.c_str()), 1.0);
        }
    }
}

TEST_F(SpanExportTest, OneAlteredByteFailsTheDigestCheck) {
    const std::string path = dir_ / "altered.mp4";
    ASSERT_EQ(SpanExportStatus::Written,
              SpanExport::Export(catalog_, {"后门", kStartMs, kStartMs + 5000, path}).Status);
    std::string bytes = testsupport::ReadFile(path);
    bytes[bytes.size() / 2] ^= 0x01;
    testsupport::WriteFile(path, bytes);
    std::string output;
    EXPECT_NE(
        0, RunCommand("cd '" + dir_.Path() + "' && sha256sum -c altered.mp4.sha256 2>&1", output));
}

TEST_F(SpanExportTest, TheCommandLineSaysWhyNot) {
    const std::string from = LocalClock::Text(kStartMs + 2000);
    const std::string to = LocalClock::Text(kStartMs + 12000);
    const std::string readOnly = dir_ / "read-only";
    ASSERT_EQ(0, mkdir(readOnly.c_str(), 0555));
    const bool root = geteuid() == 0;  // root writes anywhere
    const struct {
        std::vector<std::string> Arguments;
        int Status;
        std::string Says;  // a part of the line printed
    } rows[] = {
        {{"后门", from, to, dir_ / "ok.mp4"}, ExportCommand::kWritten, "SHA-256 "},
        {{"侧门", from, to, dir_ / "x.mp4"},
         ExportCommand::kFailed,
         "no recording of a camera named"},
        {{"后门", LocalClock::Text(kStartMs - 7200000), LocalClock::Text(kStartMs - 3600000),
          dir_ / "x.mp4"},
         ExportCommand::kFailed,
         "no recording in that span"},
        {{"后门", to, from, dir_ / "x.mp4"}, ExportCommand::kFailed, "ends before it begins"},
        {{"后门", from, to, dir_ / "no/such/folder/x.mp4"}, ExportCommand::kFailed, "cannot write"},
        {{"后门", "2026-01-01 25:00:00", to, dir_ / "x.mp4"},
         ExportCommand::kBadArguments,
         "is not a time of the form yyyy-mm-dd hh:mm:ss"},
        {{"后门", "2026-02-30 10:00:00", to, dir_ / "x.mp4"},
         ExportCommand::kBadArguments,
         "is not a time"},
        {{"后门", from, to}, ExportCommand::kBadArguments, "needs CAMERA FROM TO FILE.mp4"},
    };
    for (const auto& row : rows) {
        std::string output;
        EXPECT_EQ(row.Status, ExportCommand::Run(catalog_, row.Arguments, output)) << output;
        EXPECT_NE(std::string::npos, output.find(row.Says)) << output;
    }
    if (!root) {
        std::string output;
        EXPECT_EQ(ExportCommand::kFailed,
                  ExportCommand::Run(catalog_, {"后门", from, to, readOnly + "/x.mp4"}, output));
    }
    EXPECT_FALSE(testsupport::Exists(dir_ / "x.mp4"));
    EXPECT_TRUE(testsupport::Exists(dir_ / "ok.mp4.sha256"));
}

}  // namespace
