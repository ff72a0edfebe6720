#include "catalog/CatalogQueries.h"

#include <algorithm>

#include "catalog/AnnexBScanner.h"
#include "catalog/CatalogSchema.h"
#include "catalog/CatalogTime.h"
#include "catalog/KeyFrameBlob.h"
#include "catalog/KeyFrameEstimate.h"
#include "catalog/SqliteStatement.h"

namespace {

// A file as the gap rule needs it.
struct Span {
    int64_t StartMs = 0;
    int64_t EndMs = 0;
    int64_t RunId = 0;  // 0: found by a scan
    bool Growing = false;
};

Span ReadSpan(const CSqliteStatement& query) {
    return {query.Int(0), query.Int(1), query.Int(2),
            query.Int(3) == static_cast<int64_t>(FileState::Growing)};
}

}  // namespace

int64_t CCatalogQueries::CameraId(const std::string& camera) {
    CSqliteStatement query(db_, "SELECT id FROM cameras WHERE name = ?");
    query.Bind(1, camera);
    return query.Step() ? query.Int(0) : 0;
}

std::vector<std::string> CCatalogQueries::Cameras() {
    std::vector<std::string> names;
    CSqliteStatement query(db_,
                           "SELECT name FROM cameras c WHERE EXISTS "
                           "(SELECT 1 FROM files f WHERE f.camera_id = c.id) ORDER BY name");
    while (query.Step()) names.push_back(query.Text(0));
    return names;
}

std::vector<int> CCatalogQueries::DaysWithRecordings(const std::string& camera, int year,
                                                     int month) {
    const int64_t cameraId = CameraId(camera);
    const int64_t fromMs = LocalDayStartMs(year, month, 1);
    const int64_t toMs = LocalDayStartMs(year, month + 1, 1);
    std::vector<bool> marked(32, false);
    CSqliteStatement query(db_,
                           "SELECT start_ms, end_ms FROM files WHERE camera_id = ? AND "
                           "start_ms < ? AND end_ms >= ?");
    query.Bind(1, cameraId).Bind(2, toMs).Bind(3, fromMs);
    while (query.Step()) {
        // A file may run past midnight: each day it touches in the month counts.
        const int64_t start = std::max(query.Int(0), fromMs);
        const int64_t end = std::min(query.Int(1), toMs - 1);
        for (int64_t day = LocalDateOf(start).Day, last = LocalDateOf(end).Day; day <= last; ++day)
            marked[static_cast<size_t>(day)] = true;
    }
    std::vector<int> days;
    for (int day = 1; day <= 31; ++day) {
        if (marked[static_cast<size_t>(day)]) days.push_back(day);
    }
    return days;
}

std::vector<CatalogFile> CCatalogQueries::Files(const std::string& camera, int64_t fromMs,
                                                int64_t toMs) {
    std::vector<CatalogFile> files;
    const int64_t cameraId = CameraId(camera);
    if (cameraId == 0) return files;
    // A growing file reaches up to now, whatever its last row says.
    CSqliteStatement query(
        db_,
        "SELECT id, rel_path, start_ms, end_ms, bytes, pictures, state FROM files "
        "WHERE camera_id = ? AND start_ms < ? AND (end_ms > ? OR state = ?) "
        "ORDER BY start_ms, rel_path");
    query.Bind(1, cameraId)
        .Bind(2, toMs)
        .Bind(3, fromMs)
        .Bind(4, static_cast<int64_t>(FileState::Growing));
    while (query.Step()) {
        CatalogFile file;
        file.Id = query.Int(0);
        file.Camera = camera;
        file.Path = root_ + "/" + query.Text(1);
        file.StartMs = query.Int(2);
        file.EndMs = query.Int(3);
        file.Bytes = static_cast<uint64_t>(query.Int(4));
        file.Pictures = static_cast<uint32_t>(query.Int(5));
        file.Growing = query.Int(6) == static_cast<int64_t>(FileState::Growing);
        files.push_back(std::move(file));
    }
    return files;
}

std::vector<CatalogKeyFrame> CCatalogQueries::KeyFrames(int64_t fileId) {
    std::vector<CatalogKeyFrame> frames;
    CSqliteStatement query(
        db_,
        "SELECT f.indexed, f.rel_path, f.start_ms, f.end_ms, k.data FROM files f "
        "LEFT JOIN key_frames k ON k.file_id = f.id WHERE f.id = ?");
    query.Bind(1, fileId);
    if (!query.Step()) return frames;
    if (query.Int(0) != 0) {
        UnpackKeyFrames(query.Blob(4), &frames);
        return frames;
    }
    ScannedStream scan;
    if (ScanAnnexBFile(root_ + "/" + query.Text(1), &scan))
        frames = EstimateKeyFrames(scan, query.Int(2), query.Int(3));
    return frames;
}

std::vector<CatalogGap> CCatalogQueries::Gaps(const std::string& camera, int64_t fromMs,
                                              int64_t toMs) {
    std::vector<CatalogGap> gaps;
    const int64_t cameraId = CameraId(camera);
    if (cameraId == 0) return gaps;
    CSqliteStatement noted(db_,
                           "SELECT from_ms, to_ms, cause FROM gaps WHERE camera_id = ? AND "
                           "from_ms < ? AND to_ms > ? ORDER BY from_ms");
    noted.Bind(1, cameraId).Bind(2, toMs).Bind(3, fromMs);
    while (noted.Step())
        gaps.push_back({noted.Int(0), noted.Int(1), static_cast<RecordingGapCause>(noted.Int(2))});
    const std::vector<CatalogGap> told = gaps;

    // The files around the span: the one before it, those in it and the one after it.
    std::vector<Span> spans;
    CSqliteStatement before(db_,
                            "SELECT start_ms, end_ms, coalesce(run_id, 0), state FROM files "
                            "WHERE camera_id = ? AND start_ms < ? ORDER BY start_ms DESC LIMIT 1");
    before.Bind(1, cameraId).Bind(2, fromMs);
    if (before.Step()) spans.push_back(ReadSpan(before));
    CSqliteStatement within(
        db_,
        "SELECT start_ms, end_ms, coalesce(run_id, 0), state FROM files "
        "WHERE camera_id = ? AND start_ms >= ? AND start_ms < ? ORDER BY start_ms");
    within.Bind(1, cameraId).Bind(2, fromMs).Bind(3, toMs);
    while (within.Step()) spans.push_back(ReadSpan(within));
    CSqliteStatement after(db_,
                           "SELECT start_ms, end_ms, coalesce(run_id, 0), state FROM files "
                           "WHERE camera_id = ? AND start_ms >= ? ORDER BY start_ms LIMIT 1");
    after.Bind(1, cameraId).Bind(2, toMs);
    if (after.Step()) spans.push_back(ReadSpan(after));

    int64_t coveredTo = spans.empty() ? 0 : spans.front().EndMs;
    for (size_t i = 1; i < spans.size(); ++i) {
        const Span& previous = spans[i - 1];
        const Span& next = spans[i];
        const int64_t holeFrom = std::max(coveredTo, previous.EndMs);
        coveredTo = std::max(holeFrom, next.EndMs);
        if (previous.Growing || next.StartMs - holeFrom < kMinHoleMs) continue;
        if (next.StartMs <= fromMs || holeFrom >= toMs) continue;
        // A hole a recorder explained is not counted twice.
        const bool explained = std::any_of(told.begin(), told.end(), [&](const CatalogGap& gap) {
            return gap.FromMs < next.StartMs && gap.ToMs > holeFrom;
        });
        if (explained) continue;
        const bool sameRun = previous.RunId != 0 && previous.RunId == next.RunId;
        gaps.push_back({holeFrom, next.StartMs,
                        sameRun ? RecordingGapCause::CameraAbsent : RecordingGapCause::NotRunning});
    }
    std::sort(gaps.begin(), gaps.end(),
              [](const CatalogGap& a, const CatalogGap& b) { return a.FromMs < b.FromMs; });
    return gaps;
}

std::vector<CatalogMotionEvent> CCatalogQueries::MotionEvents(const std::string& camera,
                                                              int64_t fromMs, int64_t toMs) {
    std::vector<CatalogMotionEvent> events;
    const int64_t cameraId = CameraId(camera);
    if (cameraId == 0) return events;
    CSqliteStatement query(db_,
                           "SELECT start_ms, end_ms, peak_pct FROM motion_events WHERE "
                           "camera_id = ? AND start_ms < ? AND (end_ms IS NULL OR end_ms >= ?) "
                           "ORDER BY start_ms, id");
    query.Bind(1, cameraId).Bind(2, toMs).Bind(3, fromMs);
    while (query.Step()) {
        CatalogMotionEvent event;
        event.StartMs = query.Int(0);
        event.Ongoing = query.IsNull(1);
        event.EndMs = event.Ongoing ? event.StartMs : query.Int(1);
        event.PeakPct = query.Real(2);
        events.push_back(event);
    }
    return events;
}
