// The recorder's behaviour where the disk or the names get in the way: what is left
// in the ring at Stop, names already taken, camera names that would leave the
// recording folder, and a disk that refuses writes or new files, fills up or goes.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "CaptureTestSupport.h"
#include "capture/Recorder.h"

namespace {

using testsupport::ListFiles;

constexpr uint64_t kChunk = CRecorder::kChunkBytes;
const LocalTime kNoon = MakeLocalTime(2024, 1, 2, 12, 0, 0);
const std::string kDay = "/2024-01-02/";

// Lowers one soft resource limit of the whole process for a scope. SIGXFSZ is
// ignored meanwhile, so a write past RLIMIT_FSIZE fails with EFBIG instead of
// killing the test.
class CSoftLimit {
public:
    CSoftLimit(int resource, rlim_t value) : resource_(resource) {
        ok_ = getrlimit(resource_, &saved_) == 0;
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigaction(SIGXFSZ, &ignore, &savedAction_);
        rlimit lowered = saved_;
        lowered.rlim_cur = value;
        ok_ = ok_ && setrlimit(resource_, &lowered) == 0;
    }
    ~CSoftLimit() { Lift(); }
    void Lift() {
        if (lifted_) return;
        lifted_ = true;
        setrlimit(resource_, &saved_);
        sigaction(SIGXFSZ, &savedAction_, nullptr);
    }
    bool Ok() const { return ok_; }

private:
    int resource_;
    rlimit saved_{};
    struct sigaction savedAction_ {};
    bool ok_ = false;
    bool lifted_ = false;
};

void PushPattern(CRecorder& recorder, uint64_t offset, size_t length) {
    const std::vector<uint8_t> run = PatternBytes(offset, length);
    recorder.Push(run.data(), static_cast<int32_t>(run.size()));
}

TEST(RecorderStopTest, StopWritesWhatTheRingStillHolds) {
    CTestApp app;
    CRecorder recorder("cam", app.Dir(), FixedClock(kNoon));
    ASSERT_EQ(0, recorder.Start());
    PushPattern(recorder, 0, 1000);  // far less than a chunk: the worker leaves it
    recorder.Stop();

    const auto files = ListFiles(app.RecordDir());
    ASSERT_EQ(1u, files.size());
    EXPECT_EQ(1000u, FileSize(files[0]));
    EXPECT_EQ(-1, FirstPatternMismatch(files));
}

TEST(RecorderStopTest, WhatStopWritesKeepsTheRollOverRule) {
    CTestApp app;
    CRecorder recorder("cam", app.Dir(), SteppingClock(kNoon));
    ASSERT_EQ(0, recorder.Start());
    ASSERT_TRUE(PushPaced(recorder, 0, 128 * kChunk));
    ASSERT_TRUE(WaitUntil([&] { return recorder.WrittenBytes() == 128 * kChunk; },
                          std::chrono::seconds(60)))
        << "waited for the worker to write 128 chunks";
    // The 129th chunk and a tail, stopped at once: whether the worker or Stop writes
    // the chunk, the file closes after it and the tail starts the next file.
    PushPattern(recorder, 128 * kChunk, kChunk + 77);
    recorder.Stop();

    const auto files = ListFiles(app.RecordDir());
    ASSERT_EQ(2u, files.size());
    EXPECT_EQ(129 * kChunk, FileSize(files[0]));
    EXPECT_EQ(77u, FileSize(files[1]));
    EXPECT_EQ(-1, FirstPatternMismatch(files));
}

TEST(RecorderNameTest, RecordingStartedInTheSameSecondTakesTheNextFreeName) {
    CTestApp app;
    for (size_t length : {1000, 2000, 3000}) {
        CRecorder recorder("cam", app.Dir(), FixedClock(kNoon));
        ASSERT_EQ(0, recorder.Start());
        PushPattern(recorder, 0, length);
        recorder.Stop();
    }
    const std::string folder = app.RecordDir() + "/cam" + kDay;
    const std::vector<std::string> expected = {folder + "12-00-00.264", folder + "12-00-00_1.264",
                                               folder + "12-00-00_2.264"};
    ASSERT_EQ(expected, ListFiles(app.RecordDir()));
    EXPECT_EQ(1000u, FileSize(expected[0])) << "the earlier recording was not emptied";
    EXPECT_EQ(2000u, FileSize(expected[1]));
    EXPECT_EQ(3000u, FileSize(expected[2]));
}

TEST(RecorderNameTest, RecordersRunningAtOnceNeverShareAFile) {
    CTestApp app;
    std::vector<std::unique_ptr<CRecorder>> recorders;
    for (int i = 0; i < 4; ++i) {
        recorders.push_back(std::make_unique<CRecorder>("cam", app.Dir(), FixedClock(kNoon)));
        ASSERT_EQ(0, recorders.back()->Start());
    }
    for (auto& recorder : recorders) PushPattern(*recorder, 0, 4096);
    recorders.clear();  // destruction stops each
    const auto files = ListFiles(app.RecordDir());
    ASSERT_EQ(4u, files.size());
    for (const auto& file : files) EXPECT_EQ(4096u, FileSize(file)) << file;
}

TEST(RecorderNameTest, CameraNamesCannotPlaceRecordingsOutsideRecordDir) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "/_"},         {".", "/_"},       {"..", "/_"},    {"/", "/_/_"},
        {"/etc", "/_/etc"}, {"../..", "/_/_"}, {"a/b", "/a/b"}, {"a/../../b", "/a/_/_/b"},
    };
    for (const auto& [name, folder] : cases) {
        CTestApp app;
        CRecorder recorder(name, app.Dir(), FixedClock(kNoon));
        ASSERT_EQ(0, recorder.Start()) << name;
        PushPattern(recorder, 0, 10);
        recorder.Stop();
        // Besides the log, the one recording is the only file in the whole tmp folder.
        std::vector<std::string> outside;
        for (const auto& file : ListFiles(app.Tmp())) {
            if (file.rfind(app.Tmp() + "/bin/Log/", 0) != 0) outside.push_back(file);
        }
        EXPECT_EQ(std::vector<std::string>{app.RecordDir() + folder + kDay + "12-00-00.264"},
                  outside)
            << "camera name \"" << name << "\"";
    }
}

TEST(RecorderDiskTest, FirstFileThatCannotBeMadeIsMadeOnceItCan) {
    CTestApp app;
    // A regular file where RecordDir must be: no folder, so no file, even for root.
    testsupport::WriteFile(app.RecordDir(), "");
    CRecorder recorder("cam", app.Dir(), FixedClock(kNoon));
    ASSERT_EQ(0, recorder.Start());
    PushPattern(recorder, 0, 1000);
    ASSERT_TRUE(WaitUntil([&] { return recorder.CreateFailures() >= 2; }, std::chrono::seconds(30)))
        << "waited for two refused file creations";
    std::remove(app.RecordDir().c_str());
    ASSERT_TRUE(
        WaitUntil([&] { return recorder.WrittenBytes() == 1000; }, std::chrono::seconds(30)))
        << "waited for the file to be made once the folder could be";
    recorder.Stop();

    const std::string path = app.RecordDir() + "/cam" + kDay + "12-00-00.264";
    EXPECT_EQ(1, CountLines(app.Log(), " 创建录像文件目录失败 " + path));
    EXPECT_EQ(1, CountLines(app.Log(), " 创建录像文件失败 " + path));
    EXPECT_EQ(1, CountLinesStartingWith(app.Log(), " 录像恢复 " + path + ", 期间丢弃 0 字节"));
    EXPECT_EQ(-1, FirstPatternMismatch({path}));
}

TEST(RecorderDiskTest, FullDiskDropsWholeAccessUnitsAndResumesAtAKeyFrame) {
    CTestApp app;
    std::atomic<bool> full{false};
    CRecorder recorder("cam", app.Dir(), FixedClock(kNoon));
    recorder.SetDiskCalls({[&](int fd, const void* data, size_t size) -> ssize_t {
                               if (!full.load()) return write(fd, data, size);
                               errno = ENOSPC;
                               return -1;
                           },
                           {}});
    ASSERT_EQ(0, recorder.Start());
    std::vector<uint8_t> expected;  // the runs stored, in order
    uint64_t dropped = 0;
    int index = 0;
    // Pushes one 64 KiB access unit; true when the recorder stored it.
    const auto push = [&](bool key) {
        const std::vector<uint8_t> unit = AccessUnit(index++, key, 65536);
        const uint64_t before = recorder.DroppedBytes();
        recorder.Push(unit.data(), static_cast<int32_t>(unit.size()));
        const bool stored = recorder.DroppedBytes() == before;
        if (stored) expected.insert(expected.end(), unit.begin(), unit.end());
        dropped += stored ? 0 : unit.size();
        return stored;
    };
    ASSERT_TRUE(push(true));
    ASSERT_TRUE(
        WaitUntil([&] { return recorder.WrittenBytes() == 65536; }, std::chrono::seconds(30)))
        << "waited for the first key frame to be written";

    full.store(true);
    for (int i = 0; i < 8; ++i) ASSERT_TRUE(push(false));
    // From its first refused write on, the worker holds what it took: the room left
    // in the ring is then up to Push alone.
    ASSERT_TRUE(WaitUntil([&] { return recorder.WriteFailures() >= 1; }, std::chrono::seconds(30)))
        << "waited for the first refused write";
    int stored = 0;
    while (push(false)) ASSERT_LT(++stored, 100) << "the ring never overflowed";
    // Once a run was dropped, the rest of its group of pictures is useless; so is a
    // key frame that does not fit.
    EXPECT_FALSE(push(false));
    EXPECT_FALSE(push(true));
    full.store(false);
    ASSERT_TRUE(WaitUntil([&] { return recorder.BufferedBytes() == 0; }, std::chrono::seconds(30)))
        << "waited for the ring to drain onto the disk";
    EXPECT_FALSE(push(false)) << "room again, but no key frame yet";
    EXPECT_TRUE(push(true));
    EXPECT_TRUE(push(false));
    ASSERT_TRUE(app.Log().WaitForText(" 录像恢复 ", std::chrono::seconds(30)));
    recorder.Stop();

    const std::string path = app.RecordDir() + "/cam" + kDay + "12-00-00.264";
    EXPECT_TRUE(testsupport::ReadFile(path) == std::string(expected.begin(), expected.end()))
        << "the file holds exactly the whole access units stored";
    EXPECT_EQ(dropped, recorder.DroppedBytes());
    EXPECT_EQ(1, CountLines(app.Log(), " 写入录像文件失败 " + path));
    EXPECT_EQ(1, CountLinesStartingWith(app.Log(), " 录像恢复 " + path + ", 期间丢弃 " +
                                                       std::to_string(dropped) + " 字节 (约 "));
    EXPECT_EQ(1, CountLinesStartingWith(
                     app.Log(), " 录像停止 cam, 写入 " + std::to_string(expected.size()) +
                                    " 字节, 丢弃 " + std::to_string(dropped) + " 字节, 写入失败 "));
}

TEST(RecorderDiskTest, DiskGoneMovesToANewFileOnceRecordDirIsBackOnItsDisk) {
    CTestApp app;
    // RecordDir lies behind a link, which an unmount is played by pointing elsewhere.
    const std::string otherDisk = "/dev/shm";
    struct stat tmpDisk {
    }, shmDisk{};
    if (stat(app.Tmp().c_str(), &tmpDisk) != 0 || stat(otherDisk.c_str(), &shmDisk) != 0 ||
        tmpDisk.st_dev == shmDisk.st_dev) {
        GTEST_SKIP() << "needs " << otherDisk << " on another file system than " << app.Tmp();
    }
    // Made while no other thread runs: TMPDIR is changed for it.
    const char* tmpDir = std::getenv("TMPDIR");
    const std::string savedTmp = tmpDir != nullptr ? tmpDir : "";
    setenv("TMPDIR", otherDisk.c_str(), 1);
    const testsupport::TempDir elsewhereDir;
    tmpDir != nullptr ? setenv("TMPDIR", savedTmp.c_str(), 1) : unsetenv("TMPDIR");
    const std::string elsewhere = elsewhereDir.Path();
    const std::string mountPoint = app.Tmp() + "/usb";
    const auto pointTo = [&](const std::string& target) {
        std::remove(mountPoint.c_str());
        return symlink(target.c_str(), mountPoint.c_str()) == 0;
    };
    std::filesystem::create_directories(app.Tmp() + "/disk");
    ASSERT_TRUE(pointTo(app.Tmp() + "/disk"));
    const std::string recordDir = mountPoint + "/rec";
    app.SetRecordDir(recordDir);
    std::atomic<bool> failing{false};
    CRecorder recorder("cam", app.Dir(), SteppingClock(kNoon));
    recorder.SetDiskCalls({[&](int fd, const void* data, size_t size) -> ssize_t {
                               if (!failing.load()) return write(fd, data, size);
                               errno = EIO;
                               return -1;
                           },
                           {}});
    ASSERT_EQ(0, recorder.Start());
    PushPattern(recorder, 0, 1000);
    ASSERT_TRUE(
        WaitUntil([&] { return recorder.WrittenBytes() == 1000; }, std::chrono::seconds(30)))
        << "waited for the first file";

    // The disk goes: writes fail, and RecordDir's parent is an empty folder elsewhere.
    failing.store(true);
    ASSERT_TRUE(pointTo(elsewhere));
    PushPattern(recorder, 1000, 1000);
    const std::string first = recordDir + "/cam" + kDay + "12-00-00.264";
    ASSERT_TRUE(app.Log().WaitForText(" 录像目录所在磁盘不可用, 暂停录像 " + recordDir,
                                      std::chrono::seconds(30)));
    EXPECT_FALSE(testsupport::Exists(elsewhere + "/rec")) << "RecordDir made again on another disk";

    failing.store(false);
    ASSERT_TRUE(pointTo(app.Tmp() + "/disk"));
    ASSERT_TRUE(
        WaitUntil([&] { return recorder.WrittenBytes() == 2000; }, std::chrono::seconds(30)))
        << "waited for the held bytes to reach a new file";
    recorder.Stop();

    const std::string second = recordDir + "/cam" + kDay + "12-00-01.264";
    EXPECT_EQ((std::vector<std::string>{app.Tmp() + "/disk/rec/cam" + kDay + "12-00-00.264",
                                        app.Tmp() + "/disk/rec/cam" + kDay + "12-00-01.264"}),
              ListFiles(app.Tmp() + "/disk"));
    EXPECT_EQ(-1, FirstPatternMismatch({first, second}));
    EXPECT_EQ(1, CountLines(app.Log(), " 写入录像文件失败 " + first));
    EXPECT_EQ(1, CountLines(app.Log(), " 录像磁盘出错, 改写新文件 " + first));
    EXPECT_EQ(1, CountLinesStartingWith(app.Log(), " 录像目录所在磁盘不可用"));
    EXPECT_EQ(1, CountLinesStartingWith(app.Log(), " 录像恢复 " + second));
}

TEST(RecorderDiskTest, FailedWriteIsLoggedOnceAndRecordingResumesWhenTheDiskTakesBytesAgain) {
    CTestApp app;
    CRecorder recorder("cam", app.Dir(), FixedClock(kNoon));
    ASSERT_EQ(0, recorder.Start());
    const std::string path = app.RecordDir() + "/cam" + kDay + "12-00-00.264";
    // The limit admits the first chunk whole and the second in part (a short write).
    const uint64_t limit = kChunk + 294912;
    {
        CSoftLimit fileSize(RLIMIT_FSIZE, limit);
        ASSERT_TRUE(fileSize.Ok());
        PushPattern(recorder, 0, 3 * kChunk);
        ASSERT_TRUE(
            WaitUntil([&] { return recorder.WriteFailures() >= 3; }, std::chrono::seconds(30)))
            << "waited for three refused write attempts";
        EXPECT_EQ(limit, recorder.WrittenBytes()) << "a short write is counted as it is";
        EXPECT_EQ(limit, FileSize(path));
    }
    ASSERT_TRUE(
        WaitUntil([&] { return recorder.WrittenBytes() == 3 * kChunk; }, std::chrono::seconds(30)))
        << "waited for the held bytes to be written after the limit was lifted";
    recorder.Stop();

    EXPECT_EQ(1, CountLinesStartingWith(app.Log(), " 写入录像文件失败"));
    EXPECT_EQ(1, CountLines(app.Log(), " 写入录像文件失败 " + path));
    EXPECT_EQ(std::vector<std::string>{path}, ListFiles(app.RecordDir()));
    EXPECT_EQ(3 * kChunk, FileSize(path));
    EXPECT_EQ(-1, FirstPatternMismatch({path})) << "the rest of the short write follows it";
    EXPECT_EQ(0u, recorder.DroppedBytes());
}

TEST(RecorderDiskTest, WriteRefusedAtStopIsLoggedAndStopDoesNotWait) {
    CTestApp app;
    CRecorder recorder("cam", app.Dir(), FixedClock(kNoon));
    ASSERT_EQ(0, recorder.Start());
    PushPattern(recorder, 0, 1000);
    {
        CSoftLimit fileSize(RLIMIT_FSIZE, 600);
        ASSERT_TRUE(fileSize.Ok());
        recorder.Stop();
    }
    const std::string path = app.RecordDir() + "/cam" + kDay + "12-00-00.264";
    EXPECT_EQ(1, CountLines(app.Log(), " 写入录像文件失败 " + path));
    EXPECT_EQ(600u, FileSize(path));
    EXPECT_EQ(600u, recorder.WrittenBytes());
}

TEST(RecorderDiskTest, NewFileRefusedAtRollOverIsLoggedOnceAndRetriedUntilItCanBeMade) {
    CTestApp app;
    CRecorder recorder("cam", app.Dir(), SteppingClock(kNoon));
    ASSERT_EQ(0, recorder.Start());  // 12-00-00
    ASSERT_TRUE(PushPaced(recorder, 0, 128 * kChunk));
    ASSERT_TRUE(WaitUntil([&] { return recorder.WrittenBytes() == 128 * kChunk; },
                          std::chrono::seconds(60)))
        << "waited for the worker to write 128 chunks";

    // The roll-over after the 129th chunk meets a recording folder that cannot exist.
    const std::string blocker = app.Tmp() + "/afile";
    std::FILE* f = std::fopen(blocker.c_str(), "wb");
    ASSERT_NE(nullptr, f);
    std::fclose(f);
    app.SetRecordDir(blocker + "/rec");
    PushPattern(recorder, 128 * kChunk, 3 * kChunk);
    ASSERT_TRUE(WaitUntil([&] { return recorder.CreateFailures() >= 3; }, std::chrono::seconds(30)))
        << "waited for three refused file creations";
    const std::string refused = blocker + "/rec/cam" + kDay + "12-00-01.264";
    EXPECT_EQ(1, CountLinesStartingWith(app.Log(), " 回调中 创建录像文件目录失败"));
    EXPECT_EQ(1, CountLines(app.Log(), " 回调中 创建录像文件目录失败 " + refused));
    EXPECT_EQ(1, CountLinesStartingWith(app.Log(), " 创建录像文件失败"));
    EXPECT_EQ(1, CountLines(app.Log(), " 创建录像文件失败 " + refused));
    EXPECT_EQ(129 * kChunk, recorder.WrittenBytes()) << "held chunks are not written anywhere";

    // A usable folder again: the held chunks go into the next file there.
    app.SetRecordDir(app.Tmp() + "/rec2");
    ASSERT_TRUE(WaitUntil([&] { return recorder.WrittenBytes() == 131 * kChunk; },
                          std::chrono::seconds(30)))
        << "waited for the held chunks to be written to the new folder";
    recorder.Stop();

    const auto first = ListFiles(app.RecordDir());
    const auto second = ListFiles(app.Tmp() + "/rec2");
    ASSERT_EQ(1u, first.size());
    ASSERT_EQ(1u, second.size());
    EXPECT_EQ(129 * kChunk, FileSize(first[0]));
    EXPECT_EQ(2 * kChunk, FileSize(second[0]));
    EXPECT_EQ(-1, FirstPatternMismatch({first[0], second[0]}));
    EXPECT_EQ(0u, recorder.DroppedBytes());
}

}  // namespace
