#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <fstream>
#include <functional>

#include "CatalogTestSupport.h"
#include "catalog/CatalogCheck.h"
#include "catalog/CatalogVerifier.h"
#include "common/RecordingName.h"
#include "support/TestSupport.h"

namespace {

using namespace catalogtest;
using namespace std::chrono_literals;

const LocalTime kStart = testsupport::MakeLocalTime(2024, 7, 1, 9, 0, 0);

// Three finished files of one camera, a minute apart, told to a catalog that is then
// closed; and one of another camera.
struct Sealed {
    testsupport::TempDir Tmp;
    std::string Root = Tmp / "rec";
    std::vector<Recording> Files;

    Sealed() {
        CLogLines log;
        CCatalog catalog(TestOptions(log));
        for (int minute = 0; minute < 3; ++minute) {
            LocalTime start = kStart;
            start.Minute = minute;
            Files.push_back(WriteRecording(Root, "cam", start, 60));
        }
        const Recording other = WriteRecording(Root, "other", kStart, 30);
        catalog.Open(Root);
        for (const Recording& file : Files) Tell(catalog, "cam", file);
        Tell(catalog, "other", other);
        catalog.Close();
    }
};

void Sql(const std::string& database, const char* statement) {
    sqlite3* db = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(database.c_str(), &db));
    EXPECT_EQ(SQLITE_OK, sqlite3_exec(db, statement, nullptr, nullptr, nullptr));
    sqlite3_close(db);
}

TEST(HashChainTest, VerifyReportsEachFileAlteredMissingOrInserted) {
    struct Case {
        const char* Name;
        std::function<void(Sealed&)> Change;
        int Code;
        const char* Line;  // a part of the report
    };
    const Case cases[] = {
        {"an intact set", [](Sealed&) {}, 0, "all 4 hold"},
        {"one changed byte",
         [](Sealed& set) {
             std::fstream file(set.Files[1].Path, std::ios::in | std::ios::out | std::ios::binary);
             file.seekp(static_cast<std::streamoff>(set.Files[1].Bytes / 2));
             char byte = 0;
             file.read(&byte, 1);
             file.seekp(static_cast<std::streamoff>(set.Files[1].Bytes / 2));
             byte = static_cast<char>(byte ^ 1);
             file.write(&byte, 1);
         },
         1, "  ALTERED   cam/2024-07-01/09-01-00.264  sealed "},
        {"a removed file", [](Sealed& set) { unlink(set.Files[2].Path.c_str()); }, 1,
         "  MISSING   cam/2024-07-01/09-02-00.264  sealed "},
        {"an inserted file",
         [](Sealed& set) {
             LocalTime start = kStart;
             start.Minute = 1;
             start.Second = 30;
             WriteRecording(set.Root, "cam", start, 10);
         },
         1, "  INSERTED  cam/2024-07-01/09-01-30.264  not in the catalog"},
        {"a rewritten chain entry",
         [](Sealed& set) {
             Sql(set.Root + "/OrvexCatalog.sqlite3",
                 "UPDATE chain SET bytes = bytes + 1 WHERE seq = 2");
         },
         1, "chain entry 2 was rewritten"},
        {"a removed chain entry",
         [](Sealed& set) {
             Sql(set.Root + "/OrvexCatalog.sqlite3",
                 "DELETE FROM chain WHERE seq = 2 AND rel_path LIKE 'cam/%'");
         },
         1, "chain entries 2 to 2 are gone"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Sealed set;
        c.Change(set);
        std::string report;
        EXPECT_EQ(c.Code, RunVerify({set.Root, "", ""}, set.Files[2].EndMs + 60000, &report));
        EXPECT_NE(std::string::npos, report.find(c.Line)) << report;
        // The other camera holds whatever happened to this one.
        EXPECT_EQ(0, RunVerify({set.Root, "other", ""}, set.Files[2].EndMs, &report)) << report;
    }
}

TEST(HashChainTest, VerifyAsksForAKnownCameraAndAReadableDay) {
    Sealed set;
    const struct {
        VerifyRequest Request;
        int Code;
        const char* Line;
    } cases[] = {
        {{set.Root, "cam", "2024-07-01"}, 0, "all 3 hold"},
        {{set.Root, "cam", "2024-07-02"}, 0, "all 0 hold"},
        {{set.Root, "cam", "2024-7-1x"}, 2, "is no day"},
        {{set.Root, "nobody", ""}, 2, "no camera 'nobody'"},
        {{set.Tmp / "elsewhere", "", ""}, 3, "no readable catalog"},
    };
    for (const auto& c : cases) {
        std::string report;
        EXPECT_EQ(c.Code, RunVerify(c.Request, 0, &report)) << report;
        EXPECT_NE(std::string::npos, report.find(c.Line)) << report;
    }
}

TEST(HashChainTest, FilesTheRetentionDeletesLeaveTheChainProvable) {
    Sealed set;
    CLogLines log;
    CCatalog catalog(TestOptions(log));
    catalog.Open(set.Root);
    // The middle one first: it stays in the chain as a known deletion.
    for (const int index : {1, 0}) {
        unlink(set.Files[index].Path.c_str());
        catalog.FileDeleted(set.Files[index].Path);
        ASSERT_TRUE(catalog.Flush(30s));
        const std::vector<CatalogFile> files =
            catalog.Files("cam", set.Files[0].StartMs, set.Files[2].EndMs + 1);
        EXPECT_EQ(index == 1 ? 2u : 1u, files.size());
        std::string report;
        EXPECT_EQ(0, RunVerify({set.Root, "cam", ""}, 0, &report)) << report;
        if (index == 1) {
            EXPECT_NE(std::string::npos, report.find("  deleted   cam/2024-07-01/09-01-00.264"))
                << report;
            EXPECT_NE(std::string::npos, report.find("all 3 hold")) << report;
        } else {
            // Both lead the chain now: the anchor moved past them.
            EXPECT_NE(std::string::npos, report.find("from entry 3 (older ones aged out)"))
                << report;
            EXPECT_NE(std::string::npos, report.find("all 1 hold")) << report;
        }
    }
    // A file the retention says it deleted and is still there counts as inserted.
    catalog.FileDeleted(set.Files[2].Path);
    ASSERT_TRUE(catalog.Flush(30s));
    std::string report;
    EXPECT_EQ(1, RunVerify({set.Root, "cam", ""}, 0, &report)) << report;
    EXPECT_NE(std::string::npos, report.find("INSERTED")) << report;
}

TEST(HashChainTest, ACheckAndAVerificationBesideARecordingProgramLeaveItsFileAlone) {
    Sealed set;
    LocalTime start = kStart;
    start.Minute = 3;
    const Recording growing = WriteRecording(set.Root, "cam", start, 60);
    CLogLines log;
    CCatalog catalog(TestOptions(log));
    catalog.Open(set.Root);
    catalog.FileStarted("cam", growing.Path, growing.StartMs);
    catalog.FileGrew(growing.Path, growing.KeyFrames[2].Offset, 20, growing.StartMs + 800,
                     {growing.KeyFrames[0], growing.KeyFrames[1]});
    ASSERT_TRUE(catalog.Flush(30s));

    std::string report;
    EXPECT_EQ(0, RunCatalogCheck(set.Root, WallClockMs(), &report)) << report;
    EXPECT_NE(std::string::npos, report.find(", 1 left to a running program,")) << report;
    EXPECT_EQ(0, RunVerify({set.Root, "cam", ""}, WallClockMs(), &report)) << report;
    EXPECT_NE(std::string::npos,
              report.find("  recording cam/2024-07-01/09-03-00.264  sealed when finished"))
        << report;
    const std::vector<CatalogFile> files = catalog.Files("cam", growing.StartMs, growing.EndMs);
    ASSERT_EQ(1u, files.size());
    EXPECT_TRUE(files[0].Growing) << "the check did not seal a file still being recorded";

    // Once finished it is sealed like the others.
    catalog.FileFinished(growing.Path, growing.Bytes, growing.Pictures, growing.EndMs, {});
    catalog.Close();
    EXPECT_EQ(0, RunVerify({set.Root, "cam", ""}, WallClockMs(), &report)) << report;
    EXPECT_NE(std::string::npos, report.find("all 4 hold")) << report;
}

}  // namespace
