#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "CaptureTestSupport.h"
#include "capture/Recorder.h"
#include "capture/RecordingFiles.h"
#include "capture/Retention.h"
#include "common/RecordingObserver.h"

namespace {

using testsupport::Exists;

constexpr uint64_t kGiB = uint64_t{1} << 30;
const LocalTime kNow = MakeLocalTime(2024, 5, 10, 12, 0, 0);

void MakeFile(const std::string& path) {
    ASSERT_EQ(0, CreateFileFolders(path.c_str())) << path;
    testsupport::WriteFile(path, "x");
}

// A recording a recorder has open for as long as it lives.
class COpenRecording {
public:
    explicit COpenRecording(const std::string& path) : path_(path) {
        CreateFileFolders(path.c_str());
        fd_ = CRecordingFiles::Create(path);
    }
    ~COpenRecording() {
        close(fd_);
        CRecordingFiles::Closed(path_);
    }

private:
    std::string path_;
    int fd_;
};

// Keeps the deletions told to the catalog (on the pass thread).
class CToldDeletions : public IRecordingObserver {
public:
    void FileStarted(const std::string&, const std::string&, int64_t) override {}
    void FileGrew(const std::string&, uint64_t, uint32_t, int64_t,
                  const std::vector<RecordedKeyFrame>&) override {}
    void FileFinished(const std::string&, uint64_t, uint32_t, int64_t,
                      const std::vector<RecordedKeyFrame>&) override {}
    void GapNoted(const std::string&, int64_t, int64_t, RecordingGapCause) override {}
    void FileDeleted(const std::string& path) override {
        std::lock_guard<std::mutex> lock(lock_);
        paths_.push_back(path);
    }
    std::vector<std::string> Sorted() const {
        std::lock_guard<std::mutex> lock(lock_);
        std::vector<std::string> paths = paths_;
        std::sort(paths.begin(), paths.end());
        return paths;
    }

private:
    mutable std::mutex lock_;  // guards paths_
    std::vector<std::string> paths_;
};

CRetention::Options TestOptions(CTestApp& app, CRetention::DiskSpaceFn space = {}) {
    CRetention::Options options;
    options.Policy = app.Policy();
    options.Clock = FixedClock(kNow);
    options.Space = space ? space : [](const std::string&) {
        return CRetention::DiskSpace{true, 1000 * kGiB, 500 * kGiB};
    };
    return options;
}

TEST(RetentionTest, AgePassDeletesOnlyThisProgramsRecordingsOlderThanRecordSaveDay) {
    CTestApp app;
    app.SetRecordSaveDay(3);
    const std::string rec = app.RecordDir();
    const std::vector<std::pair<std::string, bool>> cases = {
        {"/cam1/2024-05-07/11-59-59.264", true},  // three days and a second
        {"/cam1/2024-05-07/12-00-00_1.264", false}, {"/cam1/2024-05-01/08-00-00.264", true},
        {"/a/b/2024-04-01/00-00-00_12.264", true},  // a camera name holding "/"
        {"/cam1/2024-05-10/11-00-00.264", false},   {"/cam1/2024-05-02/notes.txt", false},
        {"/cam1/2024-05-02/10-00-00.mp4", false},   {"/cam1/2024-05-02/10-00-00_.264", false},
        {"/cam1/2024-13-02/10-00-00.264", false},   {"/cam1/2024-05-02/25-00-00.264", false},
        {"/2024-05-02/10-00-00.264", false},  // not in a camera folder
    };
    for (const auto& [path, deleted] : cases) MakeFile(rec + path);
    const COpenRecording open(rec + "/cam2/2024-05-01/09-00-00.264");
    // Old recordings reached through a link lie outside RecordDir.
    MakeFile(app.Tmp() + "/outside/cam/2020-01-01/00-00-00.264");
    ASSERT_EQ(0, symlink((app.Tmp() + "/outside").c_str(), (rec + "/link").c_str()));

    CToldDeletions told;
    CRetention::Options options = TestOptions(app);
    options.Recordings = &told;
    CRetention retention(options);
    EXPECT_EQ(3, retention.RunAgePass());
    std::vector<std::string> deletedPaths;
    for (const auto& [path, deleted] : cases) {
        EXPECT_EQ(!deleted, Exists(rec + path)) << path;
        EXPECT_EQ(deleted ? 1 : 0, CountLines(app.Log(), " 删除过期录像 " + rec + path)) << path;
        if (deleted) deletedPaths.push_back(rec + path);
    }
    std::sort(deletedPaths.begin(), deletedPaths.end());
    EXPECT_EQ(deletedPaths, told.Sorted()) << "the catalog is told of each deletion, of no other";
    EXPECT_TRUE(Exists(rec + "/cam2/2024-05-01/09-00-00.264")) << "a recorder has it open";
    EXPECT_TRUE(Exists(app.Tmp() + "/outside/cam/2020-01-01/00-00-00.264"));
    EXPECT_FALSE(Exists(rec + "/cam1/2024-05-01")) << "a day folder left empty goes";
    EXPECT_FALSE(Exists(rec + "/a/b/2024-04-01"));
}

TEST(RetentionTest, LowSpaceDeletesTheOldestRecordingsUntilTheReserveIsBack) {
    EXPECT_EQ(2 * kGiB, CRetention::ReserveBytes(10 * kGiB));
    EXPECT_EQ(2 * kGiB, CRetention::ReserveBytes(100 * kGiB));
    EXPECT_EQ(20 * kGiB, CRetention::ReserveBytes(1000 * kGiB));

    CTestApp app;
    const std::string rec = app.RecordDir();
    const std::vector<std::string> oldestFirst = {
        rec + "/cam2/2024-05-08/10-00-00.264", rec + "/cam1/2024-05-08/10-00-00_1.264",
        rec + "/cam1/2024-05-09/00-00-00.264", rec + "/cam1/2024-05-09/01-00-00.264",
        rec + "/cam2/2024-05-10/08-00-00.264",
    };
    for (const auto& path : oldestFirst) {
        if (path != oldestFirst[2]) MakeFile(path);
    }
    const COpenRecording open(oldestFirst[2]);
    // 2.5 GiB short of the 20 GiB reserve; each recording deleted frees 1 GiB.
    uint64_t shortBytes = 5 * kGiB / 2;
    const auto space = [&](const std::string&) {
        uint64_t freed = 0;
        for (const auto& path : oldestFirst) freed += Exists(path) ? 0 : kGiB;
        return CRetention::DiskSpace{true, 1000 * kGiB, 20 * kGiB - shortBytes + freed};
    };
    CRetention retention(TestOptions(app, space));
    EXPECT_EQ(3, retention.RunSpacePass());
    const std::vector<bool> kept = {false, false, true, false, true};
    for (size_t i = 0; i < oldestFirst.size(); ++i) {
        EXPECT_EQ(kept[i], Exists(oldestFirst[i])) << oldestFirst[i];
        EXPECT_EQ(kept[i] ? 0 : 1,
                  CountLines(app.Log(), " 磁盘空间不足, 删除最早的录像 " + oldestFirst[i]));
    }

    // Still short with only an open recording left: said once, not at every check.
    shortBytes = 10 * kGiB;
    EXPECT_EQ(1, retention.RunSpacePass());
    EXPECT_EQ(0, retention.RunSpacePass());
    EXPECT_EQ(1, CountLines(app.Log(), " 磁盘空间不足, 没有可删除的录像 " + rec));
}

TEST(RetentionTest, StartRunsAPassAtOnceAndStopEndsTheThread) {
    CTestApp app;
    const std::string old = app.RecordDir() + "/cam/2020-01-01/00-00-00.264";
    MakeFile(old);
    CRetention retention(TestOptions(app));
    ASSERT_EQ(0, retention.Start());
    EXPECT_TRUE(WaitUntil([&] { return !Exists(old); }, std::chrono::seconds(30)))
        << "waited for the first pass to delete the old recording";
    retention.Stop();  // the next pass is an hour away: Stop must not wait for it
    retention.Stop();
}

}  // namespace
