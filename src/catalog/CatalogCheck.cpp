#include "catalog/CatalogCheck.h"

#include <cinttypes>
#include <cstdio>
#include <limits>
#include <vector>

#include "catalog/CatalogQueries.h"
#include "catalog/CatalogStore.h"
#include "catalog/CatalogTime.h"
#include "catalog/Reconciler.h"
#include "catalog/RecordingWalk.h"
#include "catalog/ReportText.h"
#include "platform/FileSystem.h"

namespace {

constexpr int64_t kAllTimeFrom = std::numeric_limits<int64_t>::min() / 2;
constexpr int64_t kAllTimeTo = std::numeric_limits<int64_t>::max() / 2;

}  // namespace

int RunCatalogCheck(const std::string& recordDir, int64_t nowMs, std::string* report) {
    std::string root = recordDir;
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    if (!IsDirectory(root)) {
        *report = ReportLine("recordings: %s does not exist: nothing to check", root.c_str());
        return 1;
    }
    std::string log;
    const CCatalogStore::LogFn toReport = [&log](const std::string& line) { log += line + "\n"; };
    const std::unique_ptr<CCatalogStore> store = CCatalogStore::Open(root, toReport, nowMs);
    const ReconcileReport reconciled = CReconciler(*store, nowMs, std::nullopt, toReport).Run();
    std::string text =
        ReportLine("catalog:    %s%s", store->DatabasePath().c_str(),
                   store->InMemory() ? " (held in memory: the folder cannot hold it)" : "");
    text += log;
    text += ReportLine(
        "reconciled: %d files on disk, %d added, %d brought up to their file, %d cut short "
        "sealed as found, %d rows of gone files dropped, %d left to a running program, "
        "%d differing from their seal",
        reconciled.OnDisk, reconciled.Added, reconciled.Extended, reconciled.Sealed,
        reconciled.Dropped, reconciled.Left, reconciled.Differing);
    store->Read([&](CSqliteDb& db) {
        CCatalogQueries queries(db, root);
        for (const std::string& camera : queries.Cameras()) {
            const std::vector<CatalogFile> files = queries.Files(camera, kAllTimeFrom, kAllTimeTo);
            const std::vector<CatalogGap> gaps = queries.Gaps(camera, kAllTimeFrom, kAllTimeTo);
            int64_t recordedMs = 0;
            for (const CatalogFile& file : files) recordedMs += file.EndMs - file.StartMs;
            text += ReportLine("camera %s: %zu files, %.2f hours, %zu gaps", camera.c_str(),
                               files.size(), static_cast<double>(recordedMs) / 3.6e6, gaps.size());
            // Files and gaps in the order of time.
            size_t g = 0;
            for (const CatalogFile& file : files) {
                for (; g < gaps.size() && gaps[g].FromMs < file.StartMs; ++g) {
                    text += ReportLine("  gap  %s - %s  %s", LocalTimeText(gaps[g].FromMs).c_str(),
                                       LocalTimeText(gaps[g].ToMs).c_str(),
                                       GapCauseText(gaps[g].Cause));
                }
                text += ReportLine(
                    "  file %s - %s  %" PRIu64 " bytes  %s%s", LocalTimeText(file.StartMs).c_str(),
                    LocalTimeText(file.EndMs).c_str(), file.Bytes,
                    RelativeToRoot(root, file.Path).c_str(), file.Growing ? "  (recording)" : "");
            }
            for (; g < gaps.size(); ++g) {
                text +=
                    ReportLine("  gap  %s - %s  %s", LocalTimeText(gaps[g].FromMs).c_str(),
                               LocalTimeText(gaps[g].ToMs).c_str(), GapCauseText(gaps[g].Cause));
            }
        }
        return 0;
    });
    *report = text;
    return 0;
}
