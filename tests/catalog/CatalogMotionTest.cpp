// Motion events in the catalog: told as a detector tells them, written by the catalog's
// thread, read back by span; events a stop or a crash left open; a catalog made before
// the events had a table; and the retention taking old events with old files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>

#include "CatalogTestSupport.h"
#include "catalog/CatalogQueries.h"
#include "catalog/CatalogSchema.h"
#include "catalog/CatalogStore.h"
#include "catalog/CatalogWriter.h"
#include "catalog/SqliteTransaction.h"
#include "support/TestSupport.h"

namespace {

using namespace catalogtest;
using namespace std::chrono_literals;

const LocalTime kMorning = testsupport::MakeLocalTime(2024, 5, 6, 8, 0, 0);
constexpr int64_t kSecond = 1000;
constexpr int64_t kHour = 3600 * kSecond;

std::vector<int64_t> Starts(const std::vector<CatalogMotionEvent>& events, int64_t baseMs) {
    std::vector<int64_t> starts;
    for (const CatalogMotionEvent& event : events) starts.push_back(event.StartMs - baseMs);
    return starts;
}

// The catalog's wall clock in the test that stops it at a chosen time.
std::atomic<int64_t> gNowMs{0};
int64_t TestNow() {
    return gNowMs.load();
}

bool HasMotionTable(const std::string& root) {
    const std::unique_ptr<CSqliteDb> db =
        CSqliteDb::Open(root + "/" + kCatalogFileName, CSqliteDb::Mode::ReadOnly, nullptr);
    return db && db->QueryText(
                     "SELECT count(*) FROM sqlite_schema WHERE name = "
                     "'motion_events'") == "1";
}

TEST(CatalogMotionTest, EventsAreQueuedWrittenAndReadBackBySpan) {
    testsupport::TempDir tmp;
    const std::string root = tmp / "rec";
    const Recording door = WriteRecording(root, "door", kMorning, 50);
    const int64_t t = door.StartMs;
    CLogLines log;
    CCatalog catalog(TestOptions(log));
    catalog.Open(root);
    Tell(catalog, "door", door);
    IMotionObserver& detector = catalog;
    detector.MotionStarted("door", t + 10 * kSecond);
    detector.MotionEnded("door", t + 10 * kSecond, t + 20 * kSecond, 12.5);
    detector.MotionStarted("door", t + 60 * kSecond);
    detector.MotionEnded("door", t + 60 * kSecond, t + 60 * kSecond, 3);
    // An end whose start went elsewhere makes the whole event.
    detector.MotionEnded("door", t + 90 * kSecond, t + 100 * kSecond, 40);
    detector.MotionStarted("door", t + 120 * kSecond);  // still under way
    detector.MotionStarted("yard", t + 10 * kSecond);
    ASSERT_TRUE(catalog.Flush(30s)) << "waited for the catalog's thread to write";

    struct Case {
        const char* Name;
        int64_t FromS, ToS;
        std::vector<int64_t> StartsS;
    };
    const Case cases[] = {
        {"the whole hour", 0, 3600, {10, 60, 90, 120}},
        {"before them", -3600, 0, {}},
        {"inside the first", 15, 16, {10}},
        {"the first's very end", 20, 30, {10}},
        {"between two", 21, 59, {}},
        {"one of no length", 60, 61, {60}},
        {"the open one goes on", 3600, 7200, {120}},
        {"up to a start, not including it", 100, 120, {90}},
    };
    for (const Case& c : cases) {
        const std::vector<CatalogMotionEvent> events =
            catalog.MotionEvents("door", t + c.FromS * kSecond, t + c.ToS * kSecond);
        std::vector<int64_t> expected;
        for (const int64_t s : c.StartsS) expected.push_back(s * kSecond);
        EXPECT_EQ(expected, Starts(events, t)) << c.Name;
    }

    const std::vector<CatalogMotionEvent> all = catalog.MotionEvents("door", t, t + kHour);
    ASSERT_EQ(4u, all.size());
    EXPECT_EQ(t + 20 * kSecond, all[0].EndMs);
    EXPECT_DOUBLE_EQ(12.5, all[0].PeakPct);
    EXPECT_FALSE(all[0].Ongoing);
    EXPECT_EQ(t + 100 * kSecond, all[2].EndMs);
    EXPECT_DOUBLE_EQ(40, all[2].PeakPct);
    EXPECT_TRUE(all[3].Ongoing);
    EXPECT_EQ(all[3].StartMs, all[3].EndMs);
    EXPECT_EQ(1u, catalog.MotionEvents("yard", t, t + kHour).size());
    EXPECT_TRUE(catalog.MotionEvents("nobody", t, t + kHour).empty());

    // Its end closes the open row rather than adding one.
    detector.MotionEnded("door", t + 120 * kSecond, t + 150 * kSecond, 7.5);
    ASSERT_TRUE(catalog.Flush(30s)) << "waited for the catalog's thread to write";
    const std::vector<CatalogMotionEvent> ended = catalog.MotionEvents("door", t, t + kHour);
    ASSERT_EQ(4u, ended.size());
    EXPECT_FALSE(ended[3].Ongoing);
    EXPECT_EQ(t + 150 * kSecond, ended[3].EndMs);
    EXPECT_DOUBLE_EQ(7.5, ended[3].PeakPct);
}

// An event still open when the program ends: a clean stop ends it then, a crash at its
// run's last heartbeat, or at its own start when it began after that.
TEST(CatalogMotionTest, AnEventLeftOpenEndsWithItsRun) {
    struct Case {
        const char* Name;
        bool Crash;
        int64_t StartS;  // the event's, from the run's start
        int64_t AliveS;  // the run's last heartbeat, when it crashes
        int64_t StopS;   // the clean stop
        int64_t EndS;    // the event's end read back
    };
    const Case cases[] = {
        {"a clean stop", false, 10, 0, 40, 40},
        {"a crash", true, 10, 25, 0, 25},
        {"a crash before the next heartbeat", true, 30, 25, 0, 30},
    };
    for (const Case& c : cases) {
        testsupport::TempDir tmp;
        const std::string root = tmp / "rec";
        const Recording door = WriteRecording(root, "door", kMorning, 50);
        const int64_t run = door.StartMs;
        CLogLines log;
        if (c.Crash) {
            // Rows written as a run that then dies without ending.
            const std::unique_ptr<CCatalogStore> store = CCatalogStore::Open(root, log.Fn(), run);
            const auto lock = store->LockWriter();
            ASSERT_TRUE(store->BeginRun(run)) << c.Name;
            CSqliteTransaction transaction(store->Writer());
            ASSERT_TRUE(CCatalogWriter(store->Writer())
                            .MotionStarted("door", run + c.StartS * kSecond, store->RunId()))
                << c.Name;
            store->Heartbeat(run + c.AliveS * kSecond);
            ASSERT_TRUE(transaction.Commit()) << c.Name;
        } else {
            gNowMs.store(run);
            CCatalog::Options options = TestOptions(log);
            options.Clock = &TestNow;
            CCatalog catalog(options);
            catalog.Open(root);
            catalog.MotionStarted("door", run + c.StartS * kSecond);
            ASSERT_TRUE(catalog.Flush(30s)) << "waited for the catalog's thread to write";
            gNowMs.store(run + c.StopS * kSecond);
            catalog.Close();
        }
        CCatalog::Options options = TestOptions(log);
        gNowMs.store(run + kHour);
        options.Clock = &TestNow;
        CCatalog catalog(options);
        catalog.Open(root);
        const std::vector<CatalogMotionEvent> events =
            catalog.MotionEvents("door", run, run + 2 * kHour);
        ASSERT_EQ(1u, events.size()) << c.Name;
        EXPECT_FALSE(events[0].Ongoing) << c.Name;
        EXPECT_EQ(run + c.StartS * kSecond, events[0].StartMs) << c.Name;
        EXPECT_EQ(run + c.EndS * kSecond, events[0].EndMs) << c.Name;
    }
}

// A catalog made before motion events were kept opens as it is, with its files, written
// to or frozen in a folder that cannot be written.
TEST(CatalogMotionTest, ACatalogWithoutTheTableOpensWithItsFiles) {
    for (const bool readOnly : {false, true}) {
        const char* name = readOnly ? "read-only" : "writable";
        testsupport::TempDir tmp;
        const std::string root = tmp / "rec";
        const Recording door = WriteRecording(root, "door", kMorning, 50);
        {
            CLogLines log;
            CCatalog catalog(TestOptions(log));
            catalog.Open(root);
            Tell(catalog, "door", door);
        }
        {
            const std::unique_ptr<CSqliteDb> db =
                CSqliteDb::Open(root + "/" + kCatalogFileName, CSqliteDb::Mode::Create, nullptr);
            ASSERT_TRUE(db && db->Exec("DROP TABLE motion_events")) << name;
        }
        ASSERT_FALSE(HasMotionTable(root)) << name;

        CLogLines log;
        const std::unique_ptr<CCatalogStore> store =
            CCatalogStore::Open(root, log.Fn(), door.EndMs, readOnly);
        EXPECT_EQ(readOnly, store->InMemory()) << name;
        const auto files = store->Read([&](CSqliteDb& db) {
            return CCatalogQueries(db, root).Files("door", door.StartMs, door.EndMs);
        });
        EXPECT_EQ(1u, files.size()) << name << ": " << log.All();
        EXPECT_FALSE(log.Contains("损坏")) << name << ": " << log.All();
        EXPECT_FALSE(log.Contains("无法读取")) << name << ": " << log.All();
        {
            const auto lock = store->LockWriter();
            EXPECT_TRUE(
                CCatalogWriter(store->Writer()).MotionEnded("door", door.StartMs, door.EndMs, 5, 0))
                << name;
        }
        const auto events = store->Read([&](CSqliteDb& db) {
            return CCatalogQueries(db, root).MotionEvents("door", door.StartMs, door.EndMs);
        });
        EXPECT_EQ(1u, events.size()) << name;
        // The file gains the table only where it may be written; the version stays.
        EXPECT_EQ(!readOnly, HasMotionTable(root)) << name;
        EXPECT_EQ(std::to_string(kCatalogSchemaVersion), store->Read([](CSqliteDb& db) {
            return db.QueryText("SELECT value FROM meta WHERE key = 'schema'");
        })) << name;
    }
}

TEST(CatalogMotionTest, TheRetentionTakesEventsOlderThanTheOldestFile) {
    testsupport::TempDir tmp;
    const std::string root = tmp / "rec";
    LocalTime later = kMorning;
    later.Minute = 10;
    const Recording first = WriteRecording(root, "door", kMorning, 50);
    const Recording second = WriteRecording(root, "door", later, 50);
    CLogLines log;
    CCatalog catalog(TestOptions(log));
    catalog.Open(root);
    Tell(catalog, "door", first);
    Tell(catalog, "door", second);
    catalog.MotionEnded("door", first.StartMs, first.EndMs, 10);
    catalog.MotionEnded("door", second.StartMs - kSecond, second.StartMs + kSecond, 20);
    catalog.MotionStarted("door", second.EndMs);
    ASSERT_TRUE(catalog.Flush(30s)) << "waited for the catalog's thread to write";
    ASSERT_EQ(3u, catalog.MotionEvents("door", 0, second.EndMs + kHour).size());

    ASSERT_EQ(0, unlink(first.Path.c_str()));
    catalog.FileDeleted(first.Path);
    ASSERT_TRUE(catalog.Flush(30s)) << "waited for the catalog's thread to write";
    // What reaches into the oldest file stays, and so does an event under way.
    const std::vector<CatalogMotionEvent> kept =
        catalog.MotionEvents("door", 0, second.EndMs + kHour);
    EXPECT_EQ((std::vector<int64_t>{second.StartMs - kSecond, second.EndMs}), Starts(kept, 0));
}

}  // namespace
