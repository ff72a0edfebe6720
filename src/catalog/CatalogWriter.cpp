#include "catalog/CatalogWriter.h"

#include <algorithm>

#include "catalog/HashChain.h"
#include "catalog/KeyFrameBlob.h"
#include "catalog/RecordingWalk.h"
#include "catalog/SqliteStatement.h"

namespace {
constexpr const char* kFileColumns =
    "id, camera_id, rel_path, run_id, start_ms, end_ms, bytes, pictures, state, estimated, indexed";

void ReadRow(const CSqliteStatement& query, CatalogFileRow* row) {
    row->Id = query.Int(0);
    row->CameraId = query.Int(1);
    row->RelPath = query.Text(2);
    row->RunId = query.IsNull(3) ? 0 : query.Int(3);
    row->StartMs = query.Int(4);
    row->EndMs = query.Int(5);
    row->Bytes = static_cast<uint64_t>(query.Int(6));
    row->Pictures = static_cast<uint32_t>(query.Int(7));
    row->State = static_cast<FileState>(query.Int(8));
    row->Estimated = query.Int(9) != 0;
    row->Indexed = query.Int(10) != 0;
}
}  // namespace

int64_t CCatalogWriter::CameraId(const std::string& name) {
    CSqliteStatement find(db_, "SELECT id FROM cameras WHERE name = ?");
    find.Bind(1, name);
    if (find.Step()) return find.Int(0);
    CSqliteStatement insert(db_, "INSERT INTO cameras(name) VALUES(?)");
    insert.Bind(1, name);
    return insert.Run() ? db_.LastInsertId() : 0;
}

bool CCatalogWriter::FindFile(const std::string& relPath, CatalogFileRow* row) {
    const std::string sql =
        std::string("SELECT ") + kFileColumns + " FROM files WHERE rel_path = ?";
    CSqliteStatement find(db_, sql.c_str());
    find.Bind(1, relPath);
    if (!find.Step()) return false;
    ReadRow(find, row);
    return true;
}

int64_t CCatalogWriter::InsertFile(const CatalogFileRow& row,
                                   const std::vector<CatalogKeyFrame>& keyFrames) {
    CatalogFileRow old;
    if (FindFile(row.RelPath, &old)) DeleteFile(old.Id);
    CSqliteStatement insert(
        db_,
        "INSERT INTO files(camera_id, rel_path, run_id, start_ms, end_ms, "
        "bytes, pictures, state, estimated, indexed) VALUES(?,?,?,?,?,?,?,?,?,?)");
    insert.Bind(1, row.CameraId).Bind(2, row.RelPath);
    if (row.RunId != 0) {
        insert.Bind(3, row.RunId);
    } else {
        insert.BindNull(3);
    }
    insert.Bind(4, row.StartMs)
        .Bind(5, row.EndMs)
        .Bind(6, static_cast<int64_t>(row.Bytes))
        .Bind(7, static_cast<int64_t>(row.Pictures))
        .Bind(8, static_cast<int64_t>(row.State))
        .Bind(9, row.Estimated ? 1 : 0)
        .Bind(10, row.Indexed ? 1 : 0);
    if (!insert.Run()) return 0;
    const int64_t id = db_.LastInsertId();
    return SetKeyFrames(id, keyFrames) ? id : 0;
}

bool CCatalogWriter::UpdateFile(const CatalogFileRow& row) {
    CSqliteStatement update(db_,
                            "UPDATE files SET start_ms = ?, end_ms = ?, bytes = ?, pictures = ?, "
                            "state = ?, estimated = ?, indexed = ? WHERE id = ?");
    update.Bind(1, row.StartMs)
        .Bind(2, row.EndMs)
        .Bind(3, static_cast<int64_t>(row.Bytes))
        .Bind(4, static_cast<int64_t>(row.Pictures))
        .Bind(5, static_cast<int64_t>(row.State))
        .Bind(6, row.Estimated ? 1 : 0)
        .Bind(7, row.Indexed ? 1 : 0)
        .Bind(8, row.Id);
    return update.Run();
}

std::vector<CatalogKeyFrame> CCatalogWriter::KeyFrames(int64_t fileId) {
    std::vector<CatalogKeyFrame> frames;
    CSqliteStatement query(db_, "SELECT data FROM key_frames WHERE file_id = ?");
    query.Bind(1, fileId);
    if (query.Step()) UnpackKeyFrames(query.Blob(0), &frames);
    return frames;
}

bool CCatalogWriter::SetKeyFrames(int64_t fileId, const std::vector<CatalogKeyFrame>& keyFrames) {
    const std::vector<uint8_t> blob = PackKeyFrames(keyFrames);
    CSqliteStatement write(db_, "INSERT OR REPLACE INTO key_frames(file_id, data) VALUES(?, ?)");
    write.Bind(1, fileId).BindBlob(2, blob.data(), blob.size());
    return write.Run();
}

bool CCatalogWriter::DeleteFile(int64_t fileId) {
    CSqliteStatement files(db_, "DELETE FROM files WHERE id = ?");
    CSqliteStatement keys(db_, "DELETE FROM key_frames WHERE file_id = ?");
    files.Bind(1, fileId);
    keys.Bind(1, fileId);
    return files.Run() && keys.Run();
}

bool CCatalogWriter::EnsureFile(const std::string& relPath, int64_t runId, CatalogFileRow* row) {
    if (FindFile(relPath, row)) return true;
    RecordingOnDisk name;
    if (!ParseRecordingPath(relPath, &name)) return false;
    *row = CatalogFileRow();
    row->CameraId = CameraId(name.Camera);
    row->RelPath = relPath;
    row->RunId = runId;
    row->StartMs = row->EndMs = name.NameStartMs;
    row->Id = InsertFile(*row, {});
    return row->Id != 0;
}

bool CCatalogWriter::FileStarted(const std::string& relPath, int64_t startMs, int64_t runId) {
    RecordingOnDisk name;
    if (!ParseRecordingPath(relPath, &name)) return false;
    CatalogFileRow row;
    row.CameraId = CameraId(name.Camera);
    row.RelPath = relPath;
    row.RunId = runId;
    row.StartMs = row.EndMs = startMs;
    return row.CameraId != 0 && InsertFile(row, {}) != 0;
}

bool CCatalogWriter::FileGrew(const std::string& relPath, uint64_t bytes, uint32_t pictures,
                              int64_t endMs, const std::vector<CatalogKeyFrame>& keyFrames,
                              int64_t runId) {
    CatalogFileRow row;
    if (!EnsureFile(relPath, runId, &row) || row.State != FileState::Growing) return false;
    row.Bytes = bytes;
    row.Pictures = pictures;
    row.EndMs = endMs;
    if (!keyFrames.empty()) {
        std::vector<CatalogKeyFrame> all = KeyFrames(row.Id);
        all.insert(all.end(), keyFrames.begin(), keyFrames.end());
        if (!SetKeyFrames(row.Id, all)) return false;
    }
    return UpdateFile(row);
}

bool CCatalogWriter::FileFinished(const std::string& relPath, uint64_t bytes, uint32_t pictures,
                                  int64_t endMs, const std::vector<CatalogKeyFrame>& keyFrames,
                                  int64_t runId, const std::optional<FileSeal>& seal,
                                  int64_t nowMs) {
    if (!FileGrew(relPath, bytes, pictures, endMs, keyFrames, runId)) return false;
    CatalogFileRow row;
    if (!FindFile(relPath, &row)) return false;
    row.State = FileState::Finished;
    if (!UpdateFile(row)) return false;
    return !seal || Seal(row, *seal, ChainKind::Finished, nowMs);
}

bool CCatalogWriter::Seal(const CatalogFileRow& row, const FileSeal& seal, ChainKind kind,
                          int64_t nowMs) {
    ChainEntry entry;
    entry.RelPath = row.RelPath;
    entry.Bytes = seal.Bytes;
    entry.Sha = seal.Sha;
    entry.StartMs = row.StartMs;
    entry.EndMs = row.EndMs;
    entry.Kind = kind;
    entry.SealedMs = nowMs;
    return CHashChain(db_).Append(row.CameraId, &entry);
}

bool CCatalogWriter::GapNoted(const std::string& camera, int64_t fromMs, int64_t toMs,
                              RecordingGapCause cause) {
    const int64_t cameraId = CameraId(camera);
    if (cameraId == 0 || toMs <= fromMs) return false;
    CSqliteStatement insert(db_,
                            "INSERT INTO gaps(camera_id, from_ms, to_ms, cause) VALUES(?,?,?,?)");
    insert.Bind(1, cameraId).Bind(2, fromMs).Bind(3, toMs).Bind(4, static_cast<int64_t>(cause));
    return insert.Run();
}

bool CCatalogWriter::MotionStarted(const std::string& camera, int64_t startMs, int64_t runId) {
    const int64_t cameraId = CameraId(camera);
    if (cameraId == 0) return false;
    CSqliteStatement insert(db_,
                            "INSERT INTO motion_events(camera_id, run_id, start_ms) VALUES(?,?,?)");
    insert.Bind(1, cameraId).Bind(2, runId).Bind(3, startMs);
    return insert.Run();
}

bool CCatalogWriter::MotionEnded(const std::string& camera, int64_t startMs, int64_t endMs,
                                 double peakPct, int64_t runId) {
    const int64_t cameraId = CameraId(camera);
    if (cameraId == 0) return false;
    endMs = std::max(endMs, startMs);
    CSqliteStatement update(db_,
                            "UPDATE motion_events SET end_ms = ?, peak_pct = ? "
                            "WHERE camera_id = ? AND start_ms = ? AND end_ms IS NULL");
    update.Bind(1, endMs).BindReal(2, peakPct).Bind(3, cameraId).Bind(4, startMs);
    if (!update.Run()) return false;
    if (db_.Changes() > 0) return true;
    CSqliteStatement insert(db_,
                            "INSERT INTO motion_events(camera_id, run_id, start_ms, end_ms, "
                            "peak_pct) VALUES(?,?,?,?,?)");
    insert.Bind(1, cameraId).Bind(2, runId).Bind(3, startMs).Bind(4, endMs).BindReal(5, peakPct);
    return insert.Run();
}

bool CCatalogWriter::FileDeleted(const std::string& relPath, int64_t nowMs) {
    CatalogFileRow row;
    if (!FindFile(relPath, &row)) return false;
    if (!DeleteFile(row.Id) || !CHashChain(db_).MarkDeleted(row.CameraId, relPath, nowMs))
        return false;
    CSqliteStatement prune(db_,
                           "DELETE FROM gaps WHERE camera_id = ?1 AND to_ms <= "
                           "(SELECT coalesce(min(start_ms), ?2) FROM files WHERE camera_id = ?1)");
    prune.Bind(1, row.CameraId).Bind(2, nowMs);
    CSqliteStatement motion(db_,
                            "DELETE FROM motion_events WHERE camera_id = ?1 AND end_ms < "
                            "(SELECT coalesce(min(start_ms), ?2) FROM files WHERE camera_id = ?1)");
    motion.Bind(1, row.CameraId).Bind(2, nowMs);
    return prune.Run() && motion.Run();
}
