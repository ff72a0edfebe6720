#include <gtest/gtest.h>

#include <tuple>

#include "CatalogTestSupport.h"
#include "catalog/CatalogVerifier.h"
#include "support/TestSupport.h"

namespace {

using namespace catalogtest;
using namespace std::chrono_literals;

const LocalTime kMorning = testsupport::MakeLocalTime(2024, 5, 6, 8, 0, 0);

TEST(CatalogFeedTest, WhatRecordersTellIsReadBackThroughTheReader) {
    testsupport::TempDir tmp;
    const std::string root = tmp / "rec";
    const Recording door = WriteRecording(root, "door", kMorning, 50);
    const Recording yard = WriteRecording(root, "yard", kMorning, 30, 5);
    // Just before midnight: its day and the next both hold recordings.
    const Recording night =
        WriteRecording(root, "door", testsupport::MakeLocalTime(2024, 5, 31, 23, 59, 59), 60);
    CLogLines log;
    CCatalog catalog(TestOptions(log));
    catalog.Open(root);

    Tell(catalog, "door", door);
    Tell(catalog, "door", night);
    catalog.FileStarted("yard", yard.Path, yard.StartMs);
    catalog.FileGrew(yard.Path, yard.Bytes, yard.Pictures, yard.EndMs, yard.KeyFrames);
    catalog.GapNoted("door", door.EndMs + 100, door.EndMs + 9000, RecordingGapCause::CameraAbsent);
    ASSERT_TRUE(catalog.Flush(30s)) << "waited for the catalog's thread to write";

    EXPECT_EQ((std::vector<std::string>{"door", "yard"}), catalog.Cameras());
    const std::vector<CatalogFile> files = catalog.Files("door", door.StartMs, door.StartMs + 1);
    ASSERT_EQ(1u, files.size());
    EXPECT_EQ(door.Path, files[0].Path);
    EXPECT_EQ(door.StartMs, files[0].StartMs);
    EXPECT_EQ(door.EndMs, files[0].EndMs);
    EXPECT_EQ(door.Bytes, files[0].Bytes);
    EXPECT_EQ(door.Pictures, files[0].Pictures);
    EXPECT_FALSE(files[0].Growing);

    // Key frames told in two parts come back as one index, in file order.
    const std::vector<CatalogKeyFrame> keys = catalog.KeyFrames(files[0].Id);
    ASSERT_EQ(door.KeyFrames.size(), keys.size());
    for (size_t i = 0; i < keys.size(); ++i) {
        EXPECT_EQ(door.KeyFrames[i].Offset, keys[i].Offset) << i;
        EXPECT_EQ(door.KeyFrames[i].WallMs, keys[i].TimeMs) << i;
    }

    const std::vector<CatalogFile> growing = catalog.Files("yard", 0, yard.EndMs + 3600000);
    ASSERT_EQ(1u, growing.size());
    EXPECT_TRUE(growing[0].Growing);
    EXPECT_EQ(yard.KeyFrames.size(), catalog.KeyFrames(growing[0].Id).size());

    const std::vector<CatalogGap> gaps = catalog.Gaps("door", door.StartMs, door.StartMs + 60000);
    ASSERT_EQ(1u, gaps.size());
    EXPECT_EQ(door.EndMs + 100, gaps[0].FromMs);
    EXPECT_EQ(RecordingGapCause::CameraAbsent, gaps[0].Cause);
    EXPECT_TRUE(catalog.Gaps("yard", door.StartMs, door.StartMs + 60000).empty());

    EXPECT_EQ((std::vector<int>{6, 31}), catalog.DaysWithRecordings("door", 2024, 5));
    EXPECT_EQ((std::vector<int>{1}), catalog.DaysWithRecordings("door", 2024, 6));
    EXPECT_TRUE(catalog.DaysWithRecordings("door", 2024, 4).empty());
    EXPECT_TRUE(catalog.Files("nobody", 0, door.EndMs).empty());
}

TEST(CatalogFeedTest, FilesAreThoseOverlappingTheSpanAsked) {
    testsupport::TempDir tmp;
    const std::string root = tmp / "rec";
    // Three files of 50 pictures (about 2 s each), a minute apart.
    std::vector<Recording> recordings;
    for (int minute = 0; minute < 3; ++minute) {
        LocalTime start = kMorning;
        start.Minute = minute;
        recordings.push_back(WriteRecording(root, "cam", start, 50));
    }
    CLogLines log;
    CCatalog catalog(TestOptions(log));
    catalog.Open(root);
    for (const Recording& recording : recordings) Tell(catalog, "cam", recording);
    ASSERT_TRUE(catalog.Flush(30s));

    const int64_t t0 = recordings[0].StartMs;
    struct Case {
        int64_t From, To;
        std::vector<int> Expected;  // indices into recordings
    };
    const Case cases[] = {
        {t0 - 1000, t0, {}},                    // ends where the first begins
        {t0, t0 + 1, {0}},                      // its first millisecond
        {recordings[0].EndMs, t0 + 30000, {}},  // its end is not inside it
        {recordings[0].EndMs - 1, t0 + 60001, {0, 1}},
        {t0 - 1, t0 + 3 * 60000, {0, 1, 2}},
        {t0 + 90000, t0 + 100000, {}},  // between two files
    };
    for (const Case& c : cases) {
        std::vector<int> found;
        for (const CatalogFile& file : catalog.Files("cam", c.From, c.To)) {
            for (size_t i = 0; i < recordings.size(); ++i)
                if (recordings[i].Path == file.Path) found.push_back(static_cast<int>(i));
        }
        EXPECT_EQ(c.Expected, found) << "span " << c.From - t0 << ".." << c.To - t0;
    }
}

TEST(CatalogFeedTest, HolesBetweenFilesSayWhetherTheProgramRan) {
    testsupport::TempDir tmp;
    const std::string root = tmp / "rec";
    // Files of about 2 s: at 8:00:00 and 8:00:04 (a hole of under 3 s: none), 8:01 in
    // the same run, 8:02 and 8:03 in the next run, with a hole the recorder explained.
    const int seconds[] = {0, 4, 60, 120, 180};
    std::vector<Recording> files;
    for (const int second : seconds) {
        LocalTime start = kMorning;
        start.Minute = second / 60;
        start.Second = second % 60;
        files.push_back(WriteRecording(root, "cam", start, 50));
    }
    for (const auto& [first, last] : {std::pair{0, 3}, std::pair{3, 5}}) {
        CLogLines log;
        CCatalog catalog(TestOptions(log));
        catalog.Open(root);
        for (int i = first; i < last; ++i) Tell(catalog, "cam", files[static_cast<size_t>(i)]);
        if (last == 5)
            catalog.GapNoted("cam", files[3].EndMs + 1000, files[4].StartMs - 1000,
                             RecordingGapCause::DiskFull);
    }
    CLogLines log;
    CCatalog catalog(TestOptions(log));
    catalog.Open(root);
    const std::vector<CatalogGap> gaps = catalog.Gaps("cam", files[0].StartMs, files[4].EndMs);
    const std::vector<std::tuple<int64_t, int64_t, RecordingGapCause>> expected = {
        {files[1].EndMs, files[2].StartMs, RecordingGapCause::CameraAbsent},
        {files[2].EndMs, files[3].StartMs, RecordingGapCause::NotRunning},
        {files[3].EndMs + 1000, files[4].StartMs - 1000, RecordingGapCause::DiskFull},
    };
    ASSERT_EQ(expected.size(), gaps.size());
    for (size_t i = 0; i < gaps.size(); ++i) {
        EXPECT_EQ(expected[i], std::make_tuple(gaps[i].FromMs, gaps[i].ToMs, gaps[i].Cause)) << i;
    }
}

TEST(CatalogFeedTest, AnotherRecordDirGetsItsOwnCatalogWhileTheOldFileFinishes) {
    testsupport::TempDir tmp;
    const Recording old = WriteRecording(tmp / "a", "cam", kMorning, 40);
    LocalTime later = kMorning;
    later.Minute = 1;
    const Recording next = WriteRecording(tmp / "b", "cam", later, 40);
    CLogLines log;
    CCatalog catalog(TestOptions(log));
    catalog.Open(tmp / "a");
    catalog.FileStarted("cam", old.Path, old.StartMs);
    catalog.SwitchTo(tmp / "b/");
    Tell(catalog, "cam", next);
    catalog.FileFinished(old.Path, old.Bytes, old.Pictures, old.EndMs, old.KeyFrames);
    ASSERT_TRUE(catalog.Flush(30s));
    EXPECT_EQ(tmp / "b", catalog.RecordDir());
    const std::vector<CatalogFile> files = catalog.Files("cam", 0, next.EndMs + 1);
    ASSERT_EQ(1u, files.size());
    EXPECT_EQ(next.Path, files[0].Path);
    catalog.Close();
    for (const std::string& folder : {tmp / "a", tmp / "b"}) {
        std::string report;
        EXPECT_EQ(0, RunVerify({folder, "", ""}, 0, &report)) << report;
        EXPECT_NE(std::string::npos, report.find("all 1 hold")) << report;
    }
}

}  // namespace
