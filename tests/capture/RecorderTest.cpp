#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "CaptureTestSupport.h"
#include "capture/Recorder.h"
#include "common/AnnexB.h"
#include "common/RecordingName.h"

namespace {

using testsupport::ListFiles;

constexpr uint64_t kChunk = CRecorder::kChunkBytes;
constexpr uint64_t kFullFileBytes = 129 * kChunk;  // the chunk that passes 64 MiB closes it
static_assert(kFullFileBytes == 67633152);

const LocalTime kNoon = MakeLocalTime(2024, 1, 2, 12, 0, 0);

TEST(RecordingNameTest, ParseReadsBackTheTimeAndSuffixPathWrote) {
    for (const int suffix : {0, 1, 999}) {
        const LocalTime t = MakeLocalTime(2024, 2, 29, 23, 59, 58);
        const std::string path = RecordingName::Path("/r", "a/b", t, suffix);
        const size_t file = path.rfind('/');
        const size_t day = path.rfind('/', file - 1);
        RecordingName::Parsed parsed;
        ASSERT_TRUE(RecordingName::Parse(path.substr(day + 1, file - day - 1),
                                         path.substr(file + 1), &parsed))
            << path;
        EXPECT_EQ(RecordingName::SecondsOf(t), parsed.StartSeconds);
        EXPECT_EQ(suffix, parsed.Suffix);
    }
}

TEST(RecorderPathTest, OneTrailingSlashOfRecordDirIsDropped) {
    const LocalTime t = MakeLocalTime(2024, 3, 4, 5, 6, 7);
    EXPECT_EQ("/r/cam/2024-03-04/05-06-07.264", RecordingName::Path("/r", "cam", t));
    EXPECT_EQ("/r/cam/2024-03-04/05-06-07.264", RecordingName::Path("/r/", "cam", t));
}

TEST(RecorderPathTest, CameraNameStaysInsideRecordDir) {
    const LocalTime t = MakeLocalTime(2024, 3, 4, 5, 6, 7);
    const std::string tail = "/2024-03-04/05-06-07.264";
    EXPECT_EQ("/r/_" + tail, RecordingName::Path("/r", "", t));
    EXPECT_EQ("/r/_" + tail, RecordingName::Path("/r", ".", t));
    EXPECT_EQ("/r/_" + tail, RecordingName::Path("/r", "..", t));
    EXPECT_EQ("/r/_/etc" + tail, RecordingName::Path("/r", "/etc", t));
    EXPECT_EQ("/r/_/_/etc" + tail, RecordingName::Path("/r", "../../etc", t));
    EXPECT_EQ("/r/a/_/b" + tail, RecordingName::Path("/r", "a/../b", t));
    EXPECT_EQ("/r/a/_" + tail, RecordingName::Path("/r", "a/", t));
    // A "/" inside a name still adds one folder level; dots inside a part are kept.
    EXPECT_EQ("/r/a/b" + tail, RecordingName::Path("/r", "a/b", t));
    EXPECT_EQ("/r/..a/b.." + tail, RecordingName::Path("/r", "..a/b..", t));
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
    CRecorder recorder("cam", app.Dir(), SteppingClock(kNoon));
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
    CRecorder recorder("cam", app.Dir(), SteppingClock(MakeLocalTime(2023, 12, 31, 23, 59, 59)));
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
    CRecorder recorder("cam", app.Dir(), FixedClock(kNoon));
    ASSERT_EQ(0, recorder.Start());
    const std::vector<uint8_t> run = PatternBytes(0, 100);
    recorder.Push(run.data(), 100);
    recorder.Stop();
    EXPECT_EQ(std::vector<std::string>{app.RecordDir() + "/cam/2024-01-02/12-00-00.264"},
              ListFiles(app.RecordDir()));
}

TEST(RecorderTest, AQuietStreamReachesTheDiskAndIsSyncedWhileRecording) {
    CTestApp app;
    CRecorder recorder("cam", app.Dir(), FixedClock(kNoon));
    ASSERT_EQ(0, recorder.Start());
    // Far less than a chunk, as a still scene gives in a second: a crash must not
    // cost it, nor a power cut a few seconds later.
    const std::vector<uint8_t> run = PatternBytes(0, 20000);
    recorder.Push(run.data(), 20000);
    ASSERT_TRUE(
        WaitUntil([&] { return recorder.SyncedBytes() == 20000; }, std::chrono::seconds(30)))
        << "waited for the bytes to be written and synced without Stop";
    EXPECT_EQ(20000u, FileSize(app.RecordDir() + "/cam/2024-01-02/12-00-00.264"));
    recorder.Stop();
}

TEST(RecorderTest, BufferedBytesMayBeReadFromAnyThreadWhileStopRuns) {
    CTestApp app;
    for (int round = 0; round < 20; ++round) {
        CRecorder recorder("cam", app.Dir(), FixedClock(kNoon));
        ASSERT_EQ(0, recorder.Start());
        const std::vector<uint8_t> run = PatternBytes(0, 1000);
        recorder.Push(run.data(), 1000);
        std::atomic<bool> stopped{false};
        uint32_t seen = 1;
        std::thread reader([&] {
            while (!stopped.load()) seen = recorder.BufferedBytes();
            seen = recorder.BufferedBytes();
        });
        recorder.Stop();
        stopped.store(true);
        reader.join();
        EXPECT_EQ(0u, seen) << "round " << round;
    }
}

TEST(AnnexBTest, AKeyFrameIsAnIdrSliceWithBothParameterSetsInFront) {
    const std::vector<std::pair<std::vector<uint8_t>, bool>> cases = {
        {AccessUnit(0, true, 64), true},
        {{0, 0, 1, 0x67, 1, 0, 0, 1, 0x68, 2, 0, 0, 1, 0x06, 5, 0, 0, 1, 0x65, 9}, true},
        {AccessUnit(0, false, 64), false},
        {{0, 0, 0, 1, 0x65, 9}, false},                 // no parameter sets
        {{0, 0, 1, 0x67, 1, 0, 0, 1, 0x65, 9}, false},  // no PPS
        {{0, 0, 1, 0x67, 1, 0, 0, 1, 0x68, 2, 0, 0, 1, 0x41, 9, 0, 0, 1, 0x65}, false},
        {{}, false},
        {{0, 0, 1}, false},
        {{1, 2, 3, 0x65, 0x67, 0x68}, false},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        const auto& [unit, key] = cases[i];
        EXPECT_EQ(key, IsKeyFrameAccessUnit(unit.data(), unit.size())) << "case " << i;
    }
}

TEST(RecorderTest, PushWithoutBytesStoresNothing) {
    CTestApp app;
    CRecorder recorder("cam", app.Dir(), FixedClock(kNoon));
    ASSERT_EQ(0, recorder.Start());
    const uint8_t byte = 1;
    recorder.Push(nullptr, 10);
    recorder.Push(&byte, 0);
    recorder.Push(&byte, -5);
    EXPECT_EQ(0u, recorder.BufferedBytes());
    EXPECT_EQ(0u, recorder.DroppedBytes());
    recorder.Stop();
    EXPECT_TRUE(ListFiles(app.RecordDir()).empty()) << "a recording of nothing leaves no file";
}

}  // namespace
