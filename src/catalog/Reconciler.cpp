#include "catalog/Reconciler.h"

#include <algorithm>
#include <map>
#include <set>
#include <unordered_map>
#include <vector>

#include "catalog/AnnexBScanner.h"
#include "catalog/CatalogWriter.h"
#include "catalog/KeyFrameEstimate.h"
#include "catalog/RecordingWalk.h"
#include "catalog/SqliteStatement.h"
#include "catalog/SqliteTransaction.h"

namespace {

constexpr int kMaxDifferingLines = 10;

struct RunRow {
    int64_t Id = 0;
    int64_t StartedMs = 0;
    int64_t AliveMs = 0;
};

// A file to seal as cut short: its row as it will be, and its key frames.
struct Cut {
    CatalogFileRow Row;
    std::vector<CatalogKeyFrame> KeyFrames;
    FileSeal Seal;
    bool Extended = false;
};

std::vector<RunRow> UnendedRuns(CSqliteDb& db, int64_t ownRun) {
    std::vector<RunRow> runs;
    CSqliteStatement query(db,
                           "SELECT id, started_ms, alive_ms FROM runs WHERE ended = 0 AND id != ?");
    query.Bind(1, ownRun);
    while (query.Step()) runs.push_back({query.Int(0), query.Int(1), query.Int(2)});
    return runs;
}

std::vector<CatalogFileRow> AllRows(CSqliteDb& db) {
    std::vector<CatalogFileRow> rows;
    CSqliteStatement query(db,
                           "SELECT id, camera_id, rel_path, coalesce(run_id, 0), start_ms, end_ms, "
                           "bytes, pictures, state FROM files");
    while (query.Step()) {
        CatalogFileRow row;
        row.Id = query.Int(0);
        row.CameraId = query.Int(1);
        row.RelPath = query.Text(2);
        row.RunId = query.Int(3);
        row.StartMs = query.Int(4);
        row.EndMs = query.Int(5);
        row.Bytes = static_cast<uint64_t>(query.Int(6));
        row.Pictures = static_cast<uint32_t>(query.Int(7));
        row.State = static_cast<FileState>(query.Int(8));
        rows.push_back(std::move(row));
    }
    return rows;
}

// Scans and hashes a file a crash cut short; known: the key frames its rows hold.
bool PrepareCut(const std::string& root, const RecordingOnDisk& disk, Cut* cut,
                const std::vector<CatalogKeyFrame>& known) {
    const std::string path = root + "/" + disk.RelPath;
    CatalogFileRow& row = cut->Row;
    if (disk.Bytes != row.Bytes || known.empty()) {
        ScannedStream scan;
        if (!ScanAnnexBFile(path, &scan)) return false;
        const int64_t endMs = std::max(row.EndMs, disk.ModifiedMs);
        cut->KeyFrames = ExtendKeyFrames(scan, known, row.StartMs, endMs);
        cut->Extended = disk.Bytes > row.Bytes;
        row.Estimated = row.Estimated || cut->KeyFrames.size() > known.size() || known.empty();
        row.Pictures = scan.Pictures;
        row.EndMs = endMs;
    } else {
        cut->KeyFrames = known;
    }
    if (!HashFile(path, &cut->Seal.Sha, &cut->Seal.Bytes)) return false;
    row.Bytes = cut->Seal.Bytes;
    row.State = FileState::CutShort;
    row.Indexed = true;
    return true;
}

std::string CameraOf(const std::string& relPath) {
    RecordingOnDisk name;
    return ParseRecordingPath(relPath, &name) ? name.Camera : std::string();
}

}  // namespace

std::string ReconcileReport::Text(const std::string& root) const {
    std::string text = " 录像索引核对 " + root + ": 文件 " + std::to_string(OnDisk) +
                       " 个, 补入索引 " + std::to_string(Added) + " 个, 补全 " +
                       std::to_string(Extended) + " 个, 封存中断的文件 " + std::to_string(Sealed) +
                       " 个, 删除失去文件的记录 " + std::to_string(Dropped) + " 个";
    if (Differing > 0) text += ", 与封存不符 " + std::to_string(Differing) + " 个";
    return text;
}

CReconciler::CReconciler(CCatalogStore& store, int64_t nowMs,
                         std::optional<int64_t> recordingSinceMs, CCatalogStore::LogFn log)
    : store_(store), nowMs_(nowMs), recordingSinceMs_(recordingSinceMs), log_(std::move(log)) {}

ReconcileReport CReconciler::Run() {
    ReconcileReport report;
    const std::string& root = store_.Root();
    const auto writerLock = store_.LockWriter();
    CSqliteDb& db = store_.Writer();
    CCatalogWriter writer(db);

    // Which runs still record: the lock says none but this one, or the heartbeat tells.
    std::set<int64_t> liveRuns;
    std::vector<RunRow> deadRuns;
    std::optional<int64_t> leaveFrom = recordingSinceMs_;
    if (store_.RunId() != 0) liveRuns.insert(store_.RunId());
    for (const RunRow& run : UnendedRuns(db, store_.RunId())) {
        if (store_.OthersMayRecord() && run.AliveMs >= nowMs_ - CCatalogStore::kLiveRunMs) {
            liveRuns.insert(run.Id);
            leaveFrom = std::min(leaveFrom.value_or(run.StartedMs), run.StartedMs);
        } else {
            deadRuns.push_back(run);
        }
    }

    std::unordered_map<std::string, RecordingOnDisk> disk;
    for (RecordingOnDisk& recording : ListRecordingsOnDisk(root)) {
        std::string key = recording.RelPath;
        disk.emplace(std::move(key), std::move(recording));
    }
    report.OnDisk = static_cast<int>(disk.size());

    std::vector<int64_t> drop;
    std::vector<Cut> cuts;
    std::vector<CatalogFileRow> refreshed;
    std::set<std::string> seen;
    int differingLines = 0;
    for (CatalogFileRow& row : AllRows(db)) {
        const auto it = disk.find(row.RelPath);
        if (it == disk.end()) {
            drop.push_back(row.Id);
            continue;
        }
        seen.insert(row.RelPath);
        const RecordingOnDisk& file = it->second;
        if (row.State == FileState::Growing) {
            if (liveRuns.count(row.RunId) != 0) {
                ++report.Left;
                continue;
            }
            Cut cut;
            cut.Row = row;
            if (PrepareCut(root, file, &cut, writer.KeyFrames(row.Id)))
                cuts.push_back(std::move(cut));
        } else if (row.State == FileState::Found) {
            if (file.Bytes != row.Bytes) {
                row.Bytes = file.Bytes;
                row.EndMs = std::max(row.StartMs, file.ModifiedMs);
                row.Indexed = false;
                row.Estimated = true;
                refreshed.push_back(row);
            }
        } else if (file.Bytes != row.Bytes) {
            ++report.Differing;
            if (differingLines++ < kMaxDifferingLines)
                log_(" 录像文件与封存不符 " + root + "/" + row.RelPath);
        }
    }

    std::vector<CatalogFileRow> added;
    for (const auto& [relPath, file] : disk) {
        if (seen.count(relPath) != 0) continue;
        if (leaveFrom && file.NameStartMs >= *leaveFrom - kNameSlackMs) {
            ++report.Left;
            continue;
        }
        CatalogFileRow row;
        row.RelPath = relPath;
        row.StartMs = file.NameStartMs;
        row.EndMs = std::max(file.NameStartMs, file.ModifiedMs);
        row.Bytes = file.Bytes;
        row.Estimated = true;
        // Named within a crashed run's last moments: that run was writing it.
        const auto crashed = std::find_if(deadRuns.begin(), deadRuns.end(), [&](const RunRow& run) {
            return file.NameStartMs >= run.StartedMs - kNameSlackMs &&
                   file.NameStartMs >= run.AliveMs - kCrashWindowBeforeMs &&
                   file.NameStartMs <= run.AliveMs + kCrashWindowAfterMs;
        });
        if (crashed != deadRuns.end()) {
            Cut cut;
            cut.Row = row;
            cut.Row.RunId = crashed->Id;
            cut.Row.EndMs = row.StartMs;
            cut.Row.Bytes = 0;
            if (PrepareCut(root, file, &cut, {})) {
                cut.Extended = false;
                cuts.push_back(std::move(cut));
                ++report.Added;
            }
            continue;
        }
        row.State = FileState::Found;
        row.Indexed = false;
        added.push_back(std::move(row));
        ++report.Added;
    }

    // A found file's last change may be a copy long after it was recorded: it ends no
    // later than the next file of its camera begins, nor a day after its own start.
    std::sort(added.begin(), added.end(), [](const CatalogFileRow& a, const CatalogFileRow& b) {
        return a.RelPath < b.RelPath;
    });
    for (size_t i = 0; i < added.size(); ++i) {
        CatalogFileRow& row = added[i];
        row.EndMs = std::min(row.EndMs, row.StartMs + kMaxFoundSpanMs);
        if (i + 1 < added.size() && CameraOf(added[i + 1].RelPath) == CameraOf(row.RelPath) &&
            added[i + 1].StartMs >= row.StartMs) {
            row.EndMs = std::min(row.EndMs, added[i + 1].StartMs);
        }
    }

    CSqliteTransaction transaction(db);
    std::map<std::string, int64_t> cameras;
    const auto cameraOf = [&](const std::string& relPath) {
        const std::string camera = CameraOf(relPath);
        auto [it, inserted] = cameras.emplace(camera, 0);
        if (inserted) it->second = writer.CameraId(camera);
        return it->second;
    };
    for (const int64_t id : drop) writer.DeleteFile(id);
    report.Dropped = static_cast<int>(drop.size());
    for (const CatalogFileRow& row : refreshed) writer.UpdateFile(row);
    // Found files keep no key-frame row until they are scanned.
    CSqliteStatement insert(db,
                            "INSERT INTO files(camera_id, rel_path, start_ms, end_ms, bytes, "
                            "pictures, state, estimated, indexed) VALUES(?,?,?,?,?,0,?,1,0)");
    for (const CatalogFileRow& row : added) {
        insert.Bind(1, cameraOf(row.RelPath))
            .Bind(2, row.RelPath)
            .Bind(3, row.StartMs)
            .Bind(4, row.EndMs)
            .Bind(5, static_cast<int64_t>(row.Bytes))
            .Bind(6, static_cast<int64_t>(FileState::Found));
        insert.Run();
    }
    // Chain entries in the order the files were recorded.
    std::sort(cuts.begin(), cuts.end(),
              [](const Cut& a, const Cut& b) { return a.Row.StartMs < b.Row.StartMs; });
    for (Cut& cut : cuts) {
        cut.Row.CameraId = cameraOf(cut.Row.RelPath);
        if (cut.Row.Id == 0) {
            cut.Row.Id = writer.InsertFile(cut.Row, cut.KeyFrames);
        } else {
            writer.UpdateFile(cut.Row);
            writer.SetKeyFrames(cut.Row.Id, cut.KeyFrames);
        }
        if (writer.Seal(cut.Row, cut.Seal, ChainKind::CutShort, nowMs_)) ++report.Sealed;
        if (cut.Extended) ++report.Extended;
    }
    CSqliteStatement ended(db, "UPDATE runs SET ended = 2 WHERE id = ?");
    for (const RunRow& run : deadRuns) ended.Bind(1, run.Id).Run();
    // Motion a crash left open ends at its run's last sign of life.
    CSqliteStatement motion(db,
                            "UPDATE motion_events SET end_ms = max(start_ms, ?) "
                            "WHERE run_id = ? AND end_ms IS NULL");
    for (const RunRow& run : deadRuns) motion.Bind(1, run.AliveMs).Bind(2, run.Id).Run();
    if (!transaction.Commit()) {
        log_(" 录像索引写入失败 " + store_.DatabasePath() + ": " + db.ErrorText());
        return ReconcileReport{report.OnDisk};
    }
    return report;
}
