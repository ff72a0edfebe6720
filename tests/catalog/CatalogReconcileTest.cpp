#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "CatalogTestSupport.h"
#include "catalog/CatalogStore.h"
#include "catalog/CatalogVerifier.h"
#include "catalog/CatalogWriter.h"
#include "catalog/SqliteTransaction.h"
#include "support/TestSupport.h"

namespace {

using namespace catalogtest;
using namespace std::chrono_literals;

const LocalTime kStart = testsupport::MakeLocalTime(2024, 3, 10, 14, 30, 0);

std::vector<CatalogKeyFrame> ToCatalog(const std::vector<RecordedKeyFrame>& frames) {
    std::vector<CatalogKeyFrame> result;
    for (const RecordedKeyFrame& frame : frames) result.push_back({frame.Offset, frame.WallMs});
    return result;
}

// Writes rows as a run that then dies: its run is never ended and its lock goes with it.
void CrashedRun(const std::string& root, int64_t runMs,
                const std::function<void(CCatalogWriter&, int64_t run)>& rows) {
    CLogLines log;
    const std::unique_ptr<CCatalogStore> store = CCatalogStore::Open(root, log.Fn(), runMs);
    const auto lock = store->LockWriter();
    ASSERT_TRUE(store->BeginRun(runMs));
    CSqliteTransaction transaction(store->Writer());
    CCatalogWriter writer(store->Writer());
    rows(writer, store->RunId());
    ASSERT_TRUE(transaction.Commit());
}

struct CrashCase {
    const char* Name;
    std::function<void(const std::string& root, const Recording&)> Before;
    int Added, Extended, Sealed, Dropped;
    size_t FilesAfter;
    int VerifyCode;
    const char* VerifyLine;
};

TEST(CatalogReconcileTest, AStartAfterACrashBringsTheRowsInLineWithTheFiles) {
    const CrashCase cases[] = {
        {"a file without rows", [](const std::string&, const Recording&) {}, 1, 0, 0, 0, 1, 1,
         "found by a scan, never sealed"},
        {"rows behind the file",
         [](const std::string& root, const Recording& file) {
             CrashedRun(root, file.StartMs, [&](CCatalogWriter& writer, int64_t run) {
                 const std::vector<CatalogKeyFrame> all = ToCatalog(file.KeyFrames);
                 const std::vector<CatalogKeyFrame> first(all.begin(), all.begin() + 2);
                 writer.FileStarted(file.RelPath, file.StartMs, run);
                 writer.FileGrew(file.RelPath, all[2].Offset, 20, first.back().TimeMs, first, run);
             });
         },
         0, 1, 1, 0, 1, 0, "cut short, sealed as found"},
        {"rows up to the end of a file cut short",
         [](const std::string& root, const Recording& file) {
             CrashedRun(root, file.StartMs, [&](CCatalogWriter& writer, int64_t run) {
                 writer.FileStarted(file.RelPath, file.StartMs, run);
                 writer.FileGrew(file.RelPath, file.Bytes, file.Pictures, file.EndMs,
                                 ToCatalog(file.KeyFrames), run);
             });
         },
         0, 0, 1, 0, 1, 0, "cut short, sealed as found"},
        {"a crashed run's file without rows",
         [](const std::string& root, const Recording& file) {
             CrashedRun(root, file.StartMs, [](CCatalogWriter&, int64_t) {});
         },
         1, 0, 1, 0, 1, 0, "cut short, sealed as found"},
        {"rows whose file is gone",
         [](const std::string& root, const Recording& file) {
             CLogLines log;
             CCatalog catalog(TestOptions(log));
             catalog.Open(root);
             Tell(catalog, "cam", file);
             catalog.Close();
             unlink(file.Path.c_str());
         },
         0, 0, 0, 1, 0, 1, "MISSING"},
    };
    for (const CrashCase& c : cases) {
        SCOPED_TRACE(c.Name);
        testsupport::TempDir tmp;
        const std::string root = tmp / "rec";
        const Recording file = WriteRecording(root, "cam", kStart, 95);
        c.Before(root, file);

        CLogLines log;
        CCatalog catalog(TestOptions(log));
        const ReconcileReport report = catalog.Open(root);
        EXPECT_EQ(c.Added, report.Added);
        EXPECT_EQ(c.Extended, report.Extended);
        EXPECT_EQ(c.Sealed, report.Sealed);
        EXPECT_EQ(c.Dropped, report.Dropped);
        EXPECT_TRUE(log.Contains("录像索引核对")) << log.All();

        const std::vector<CatalogFile> files = catalog.Files("cam", 0, file.EndMs + 1000);
        ASSERT_EQ(c.FilesAfter, files.size());
        if (!files.empty()) {
            EXPECT_EQ(file.Bytes, files[0].Bytes);
            EXPECT_EQ(file.StartMs, files[0].StartMs);
            EXPECT_FALSE(files[0].Growing);
            // Every key frame where the bytes hold it; the file's start is its first.
            const std::vector<CatalogKeyFrame> keys = catalog.KeyFrames(files[0].Id);
            ASSERT_EQ(file.KeyFrames.size(), keys.size());
            for (size_t i = 0; i < keys.size(); ++i)
                EXPECT_EQ(file.KeyFrames[i].Offset, keys[i].Offset) << i;
            EXPECT_EQ(file.StartMs, keys[0].TimeMs);
            EXPECT_NEAR(file.EndMs, files[0].EndMs, 1000);
        }
        catalog.Close();
        std::string text;
        EXPECT_EQ(c.VerifyCode, RunVerify({root, "", ""}, file.EndMs + 60000, &text)) << text;
        EXPECT_NE(std::string::npos, text.find(c.VerifyLine)) << text;
    }
}

TEST(CatalogReconcileTest, ADamagedDatabaseIsMovedAsideAndRebuiltFromTheFiles) {
    const std::vector<std::string> damages = {
        std::string(4096, 'x'),
        std::string("SQLite format 3") + std::string(1, '\0') + std::string(8192, '\x7f'),
    };
    for (const std::string& damage : damages) {
        testsupport::TempDir tmp;
        const std::string root = tmp / "rec";
        const Recording file = WriteRecording(root, "cam", kStart, 40);
        testsupport::WriteFile(root + "/OrvexCatalog.sqlite3", damage);

        CLogLines log;
        CCatalog catalog(TestOptions(log));
        catalog.Open(root);
        EXPECT_TRUE(log.Contains("录像索引损坏")) << log.All();
        const std::vector<CatalogFile> files = catalog.Files("cam", 0, file.EndMs + 1000);
        ASSERT_EQ(1u, files.size());
        EXPECT_EQ(file.Path, files[0].Path);
        catalog.Close();

        int aside = 0;
        for (const std::string& path : testsupport::ListFiles(root)) {
            if (path.find("/OrvexCatalog.sqlite3.damaged-") == std::string::npos) continue;
            if (path.find("-wal") != std::string::npos) continue;
            ++aside;
            EXPECT_EQ(damage, testsupport::ReadFile(path)) << "the damaged file is kept as it was";
        }
        EXPECT_EQ(1, aside);
        std::string text;
        EXPECT_EQ(1, RunVerify({root, "", ""}, file.EndMs, &text))
            << "a rebuilt catalog proves nothing";
    }
}

TEST(CatalogReconcileTest, AFolderThatCannotBeWrittenIsBrowsedFromMemory) {
    testsupport::TempDir tmp;
    const std::string root = tmp / "rec";
    const Recording told = WriteRecording(root, "cam", kStart, 40);
    LocalTime later = kStart;
    later.Minute += 5;
    const Recording untold = WriteRecording(root, "cam", later, 40);
    {
        CLogLines log;
        CCatalog catalog(TestOptions(log));
        catalog.Open(root);
        Tell(catalog, "cam", told);
    }
    const std::vector<std::string> before = testsupport::ListFiles(root);
    const std::string database = testsupport::ReadFile(root + "/OrvexCatalog.sqlite3");
    ASSERT_EQ(0, chmod(root.c_str(), 0555));
    if (access(root.c_str(), W_OK) == 0) {
        chmod(root.c_str(), 0755);
        GTEST_SKIP() << "this user writes into a read-only folder anyway (root)";
    }

    CLogLines log;
    CCatalog catalog(TestOptions(log));
    catalog.Open(root);
    EXPECT_TRUE(log.Contains("录像目录不可写")) << log.All();
    const std::vector<CatalogFile> files = catalog.Files("cam", 0, untold.EndMs + 1000);
    ASSERT_EQ(2u, files.size()) << "the told file from the database, the other from a scan";
    EXPECT_EQ(told.Path, files[0].Path);
    EXPECT_EQ(told.KeyFrames.size(), catalog.KeyFrames(files[0].Id).size());
    EXPECT_EQ(untold.Path, files[1].Path);
    EXPECT_EQ(untold.KeyFrames.size(), catalog.KeyFrames(files[1].Id).size());
    catalog.Close();
    chmod(root.c_str(), 0755);
    EXPECT_EQ(before, testsupport::ListFiles(root));
    EXPECT_EQ(database, testsupport::ReadFile(root + "/OrvexCatalog.sqlite3"));
}

}  // namespace
