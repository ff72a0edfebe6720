// Motion events in the catalog: written by its thread and read back by span, events a
// stop or a crash left open, a catalog older than the table, and the retention.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>

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

// Each event as "start-end peak" in seconds from baseMs, " open" while under way.
std::vector<std::string> Told(const std::vector<CatalogMotionEvent>& events, int64_t baseMs) {
    std::vector<std::string> told;
    for (const CatalogMotionEvent& event : events) {
        char text[80];
        std::snprintf(text, sizeof text, "%lld-%lld %g%s",
                      static_cast<long long>((event.StartMs - baseMs) / kSecond),
                      static_cast<long long>((event.EndMs - baseMs) / kSecond), event.PeakPct,
                      event.Ongoing ? " open" : "");
        told.push_back(text);
    }
    return told;
}

// The catalog's wall clock, so that a test stops it at a chosen time.
std::atomic<int64_t> gNowMs{0};
int64_t TestNow() {
    return gNowMs.load();
}

// Events read back by span; then the retention, on the oldest file's deletion, takes the
// events that ended before the oldest file left, and keeps one still under way.
TEST(CatalogMotionTest, EventsAreReadBackBySpanUntilTheirFilesGo) {
    testsupport::TempDir tmp;
    const std::string root = tmp / "rec";
    LocalTime later = kMorning;
    later.Minute = 10;
    const Recording first = WriteRecording(root, "door", kMorning, 50);
    const Recording second = WriteRecording(root, "door", later, 50);
    const int64_t t = first.StartMs;
    CLogLines log;
    CCatalog catalog(TestOptions(log));
    catalog.Open(root);
    Tell(catalog, "door", first);
    Tell(catalog, "door", second);
    IMotionObserver& detector = catalog;
    detector.MotionStarted("door", t + 10 * kSecond);
    detector.MotionEnded("door", t + 10 * kSecond, t + 20 * kSecond, 12.5);
    detector.MotionEnded("door", t + 60 * kSecond, t + 60 * kSecond, 3);
    // An end whose start went elsewhere makes the whole event.
    detector.MotionEnded("door", t + 90 * kSecond, t + 100 * kSecond, 40);
    detector.MotionStarted("door", t + 120 * kSecond);  // still under way
    detector.MotionEnded("door", second.StartMs - kSecond, second.StartMs + kSecond, 20);
    detector.MotionStarted("yard", t + 10 * kSecond);
    ASSERT_TRUE(catalog.Flush(30s)) << "waited for the catalog's thread to write";

    const struct {
        int64_t FromS, ToS;
        std::vector<std::string> Events;
    } cases[] = {
        {0, 300, {"10-20 12.5", "60-60 3", "90-100 40", "120-120 0 open"}},
        {-3600, 0, {}},
        {15, 16, {"10-20 12.5"}},          // inside one
        {20, 30, {"10-20 12.5"}},          // at its very end
        {21, 59, {}},                      // between two
        {3600, 7200, {"120-120 0 open"}},  // the open one goes on
        {100, 120, {"90-100 40"}},         // up to a start, not including it
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Told(catalog.MotionEvents("door", t + c.FromS * kSecond, t + c.ToS * kSecond), t),
                  c.Events)
            << c.FromS << "-" << c.ToS;
    }
    EXPECT_EQ(1u, catalog.MotionEvents("yard", t, t + kHour).size());

    ASSERT_EQ(0, unlink(first.Path.c_str()));
    catalog.FileDeleted(first.Path);
    // Its end closes the open row rather than adding one.
    detector.MotionEnded("door", t + 120 * kSecond, t + 150 * kSecond, 7.5);
    ASSERT_TRUE(catalog.Flush(30s)) << "waited for the catalog's thread to write";
    EXPECT_EQ(Told(catalog.MotionEvents("door", t, t + kHour), t),
              (std::vector<std::string>{"120-150 7.5", "599-601 20"}));
}

// An event still open when the program ends: a clean stop ends it then, a crash at its
// run's last heartbeat, or at its own start when it began after that.
TEST(CatalogMotionTest, AnEventLeftOpenEndsWithItsRun) {
    const struct {
        bool Crash;
        int64_t StartS;  // the event's, from the run's start
        int64_t LastS;   // the clean stop, or the crashed run's last heartbeat
        const char* Read;
    } cases[] = {
        {false, 10, 40, "10-40 0"},
        {true, 10, 25, "10-25 0"},
        {true, 30, 25, "30-30 0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Read);
        testsupport::TempDir tmp;
        const std::string root = tmp / "rec";
        const int64_t run = WriteRecording(root, "door", kMorning, 50).StartMs;
        CLogLines log;
        CCatalog::Options options = TestOptions(log);
        options.Clock = &TestNow;
        gNowMs.store(run);
        if (c.Crash) {
            // Rows written as a run that then dies without ending.
            const std::unique_ptr<CCatalogStore> store = CCatalogStore::Open(root, log.Fn(), run);
            const auto lock = store->LockWriter();
            ASSERT_TRUE(store->BeginRun(run));
            CSqliteTransaction transaction(store->Writer());
            ASSERT_TRUE(CCatalogWriter(store->Writer())
                            .MotionStarted("door", run + c.StartS * kSecond, store->RunId()));
            store->Heartbeat(run + c.LastS * kSecond);
            ASSERT_TRUE(transaction.Commit());
        } else {
            CCatalog catalog(options);
            catalog.Open(root);
            catalog.MotionStarted("door", run + c.StartS * kSecond);
            ASSERT_TRUE(catalog.Flush(30s)) << "waited for the catalog's thread to write";
            gNowMs.store(run + c.LastS * kSecond);
            catalog.Close();
        }
        gNowMs.store(run + kHour);
        CCatalog catalog(options);
        catalog.Open(root);
        EXPECT_EQ(Told(catalog.MotionEvents("door", run, run + 2 * kHour), run),
                  std::vector<std::string>{c.Read});
    }
}

// A catalog made before motion events were kept opens with its files, and takes events,
// whether its folder may be written or not.
TEST(CatalogMotionTest, ACatalogWithoutTheTableOpensWithItsFiles) {
    for (const bool readOnly : {false, true}) {
        SCOPED_TRACE(readOnly ? "read-only" : "writable");
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
            ASSERT_TRUE(db && db->Exec("DROP TABLE motion_events"));
        }

        CLogLines log;
        const std::unique_ptr<CCatalogStore> store =
            CCatalogStore::Open(root, log.Fn(), door.EndMs, readOnly);
        EXPECT_EQ(readOnly, store->InMemory());
        const auto files = store->Read([&](CSqliteDb& db) {
            return CCatalogQueries(db, root).Files("door", door.StartMs, door.EndMs);
        });
        EXPECT_EQ(1u, files.size()) << log.All();
        EXPECT_FALSE(log.Contains("损坏")) << log.All();
        {
            const auto lock = store->LockWriter();
            EXPECT_TRUE(CCatalogWriter(store->Writer())
                            .MotionEnded("door", door.StartMs, door.EndMs, 5, 0));
        }
        EXPECT_EQ(1u, store
                          ->Read([&](CSqliteDb& db) {
                              return CCatalogQueries(db, root).MotionEvents("door", door.StartMs,
                                                                            door.EndMs);
                          })
                          .size());
        // The file gains the table only where it may be written; the version stays.
        const auto db =
            CSqliteDb::Open(root + "/" + kCatalogFileName, CSqliteDb::Mode::ReadOnly, nullptr);
        EXPECT_EQ(readOnly ? "0" : "1",
                  db->QueryText("SELECT count(*) FROM sqlite_schema WHERE name = 'motion_events'"));
        EXPECT_EQ(std::to_string(kCatalogSchemaVersion), store->Read([](CSqliteDb& db) {
            return db.QueryText("SELECT value FROM meta WHERE key = 'schema'");
        }));
    }
}

}  // namespace
