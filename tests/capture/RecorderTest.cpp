#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CaptureTestSupport.h"
#include "capture/Recorder.h"

namespace {

using testsupport::ListFiles;

constexpr uint64_t kChunk = CRecorder::kChunkBytes;
constexpr uint64_t kFullFileBytes = 129 * kChunk;  // the chunk that passes 64 MiB closes it
static_assert(kFullFileBytes == 67633152);

const LocalTime kNoon = MakeLocalTime(2024, 1, 2, 12, 0, 0);

TEST(RecorderPathTest, OneTrailingSlashOfRecordDirIsDropped) {
    const LocalTime t = MakeLocalTime(2024, 3, 4, 5, 6, 7);
    EXPECT_EQ("/r/cam/2024-03-04/05-06-07.264", CRecorder::FilePath("/r", "cam", t));
    EXPECT_EQ("/r/cam/2024-03-04/05-06-07.264", CRecorder::FilePath("/r/", "cam", t));
}

TEST(RecorderPathTest, CameraNameStaysInsideRecordDir) {
    const LocalTime t = MakeLocalTime(2024, 3, 4, 5, 6, 7);
    const std::string tail = "/2024-03-04/05-06-07.264";
    EXPECT_EQ("/r/_" + tail, CRecorder::FilePath("/r", "", t));
    EXPECT_EQ("/r/_" + tail, CRecorder::FilePath("/r", ".", t));
    EXPECT_EQ("/r/_" + tail, CRecorder::FilePath("/r", "..", t));
    EXPECT_EQ("/r/_/etc" + tail, CRecorder::FilePath("/r", "/etc", t));
    EXPECT_EQ("/r/_/_/etc" + tail, CRecorder::FilePath("/r", "../../etc", t));
    EXPECT_EQ("/r/a/_/b" + tail, CRecorder::FilePath("/r", "a/../b", t));
    EXPECT_EQ("/r/a/_" + tail, CRecorder::FilePath("/r", "a/", t));
    // A "/" inside a name still adds one folder level; dots inside a part are kept.
    EXPECT_EQ("/r/a/b" + tail, CRecorder::FilePath("/r", "a/b", t));
    EXPECT_EQ("/r/..a/b.." + tail, CRecorder::FilePath("/r", "..a/b..", t));
}

TEST(CreateFileFoldersTest, CreatesEveryFolderUpToTheFileName) {
    testsupport::TempDir tmp;
    const std::string path = tmp.Path() + "/a/b/c/file.264";
    EXPECT_EQ(0, CreateFileFolders(path.c_str()));
    EXPECT_TRUE(ListFiles(tmp.Path()).empty()) << "the file itself is not created";
    EXPECT_EQ(0, CreateFileFolders(path.c_str())) << "existing folders are no failure";
    EXPECT_NE(0, CreateFileFolders(nullptr));
}

TEST(CreateFileFoldersTest, FailsWhenAFileStandsWhereAFolderMustBe) {
    testsupport::TempDir tmp;
    const std::string blocker = tmp.Path() + "/afile";
    std::FILE* f = std::fopen(blocker.c_str(), "wb");
    ASSERT_NE(nullptr, f);
    std::fclose(f);
    EXPECT_NE(0, CreateFileFolders((blocker + "/x/file.264").c_str()));
}

TEST(RecorderTest, FilesRollOverAfterTheir129thChunkAndJoinToTheStream) {
    CTestApp app;
    CRecorder recorder("cam", SteppingClock(kNoon));
    ASSERT_EQ(0, recorder.Start());

    // Exactly 64 MiB is not past the limit: still one file.
    ASSERT_TRUE(PushPaced(recorder, 0, 128 * kChunk));
    ASSERT_TRUE(WaitUntil([&] { return recorder.WrittenBytes() == 128 * kChunk; },
                          std::chrono::seconds(60)))
        << "waited for the worker to write 128 chunks";
    EXPECT_EQ(1u, ListFiles(app.RecordDir()).size());

    const uint64_t total = 2 * kFullFileBytes + 100;
    ASSERT_TRUE(PushPaced(recorder, 128 * kChunk, total - 128 * kChunk));
    recorder.Stop();

    const auto files = ListFiles(app.RecordDir());
    ASSERT_EQ(3u, files.size());
    EXPECT_EQ(app.RecordDir() + "/cam/2024-01-02/12-00-00.264", files[0]);
    EXPECT_EQ(kFullFileBytes, FileSize(files[0]));
    EXPECT_EQ(kFullFileBytes, FileSize(files[1]));
    EXPECT_EQ(100u, FileSize(files[2]));
    EXPECT_EQ(0u, recorder.DroppedBytes());
    EXPECT_EQ(total, recorder.WrittenBytes());
    EXPECT_EQ(-1, FirstPatternMismatch(files)) << "files joined differ from the stream there";
}

TEST(RecorderTest, FileOpenAtMidnightStaysInThePreviousDaysFolder) {
    CTestApp app;
    CRecorder recorder("cam", SteppingClock(MakeLocalTime(2023, 12, 31, 23, 59, 59)));
    ASSERT_EQ(0, recorder.Start());
    ASSERT_TRUE(PushPaced(recorder, 0, kFullFileBytes + 10));
    recorder.Stop();

    const auto files = ListFiles(app.RecordDir());
    ASSERT_EQ(2u, files.size());
    EXPECT_EQ(app.RecordDir() + "/cam/2023-12-31/23-59-59.264", files[0]);
    EXPECT_EQ(kFullFileBytes, FileSize(files[0]));
    EXPECT_EQ(app.RecordDir() + "/cam/2024-01-01/00-00-00.264", files[1]);
    EXPECT_EQ(10u, FileSize(files[1]));
}

TEST(RecorderTest, RecordDirWithTrailingSlashRecordsToTheSamePath) {
    CTestApp app;
    app.SetRecordDir(app.RecordDir() + "/");
    CRecorder recorder("cam", FixedClock(kNoon));
    ASSERT_EQ(0, recorder.Start());
    recorder.Stop();
    EXPECT_EQ(std::vector<std::string>{app.RecordDir() + "/cam/2024-01-02/12-00-00.264"},
              ListFiles(app.RecordDir()));
}

TEST(RecorderTest, OverflowDropsAndCountsWhatTheRingCannotHold) {
    CTestApp app;
    CRecorder recorder("cam", FixedClock(kNoon));
    ASSERT_EQ(0, recorder.Start());
    // One run of 8 MiB arrives at an empty ring: it stores capacity - 1 bytes.
    const std::vector<uint8_t> run = PatternBytes(0, 8 * 1024 * 1024);
    EXPECT_EQ(0, recorder.Push(run.data(), static_cast<int32_t>(run.size())));
    EXPECT_EQ(run.size() - (CRecorder::kRingBytes - 1), recorder.DroppedBytes());
    recorder.Stop();

    // What the ring held, several chunks and a part of one, reaches the file at Stop.
    const auto files = ListFiles(app.RecordDir());
    ASSERT_EQ(1u, files.size());
    EXPECT_EQ(CRecorder::kRingBytes - 1, FileSize(files[0]));
    EXPECT_EQ(-1, FirstPatternMismatch(files));
}

TEST(RecorderTest, PushWithoutBytesStoresNothing) {
    CTestApp app;
    CRecorder recorder("cam", FixedClock(kNoon));
    ASSERT_EQ(0, recorder.Start());
    const uint8_t byte = 1;
    recorder.Push(nullptr, 10);
    recorder.Push(&byte, 0);
    recorder.Push(&byte, -5);
    EXPECT_EQ(0u, recorder.BufferedBytes());
    EXPECT_EQ(0u, recorder.DroppedBytes());
}

TEST(RecorderTest, UncreatableFolderFailsStartWithMinus2AndNamesTheFullPath) {
    for (const char* slash : {"", "/"}) {
        CTestApp app;
        // A regular file where a folder must be: mkdir fails even for root.
        const std::string blocker = app.Tmp() + "/afile";
        std::FILE* f = std::fopen(blocker.c_str(), "wb");
        ASSERT_NE(nullptr, f);
        std::fclose(f);
        app.SetRecordDir(blocker + slash);

        CRecorder recorder("cam", FixedClock(kNoon));
        EXPECT_EQ(-2, recorder.Start());
        EXPECT_EQ(1, CountLines(app.Log(), " 创建录像文件目录失败 " + blocker +
                                               "/cam/2024-01-02/12-00-00.264"));
        // Nothing is recorded: the stream is dropped, and counted.
        const std::vector<uint8_t> run = PatternBytes(0, 1000);
        recorder.Push(run.data(), 1000);
        EXPECT_EQ(1000u, recorder.DroppedBytes());
        recorder.Stop();
        EXPECT_EQ(0u, recorder.WrittenBytes());
    }
}

}  // namespace
