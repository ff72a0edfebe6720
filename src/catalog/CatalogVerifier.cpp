#include "catalog/CatalogVerifier.h"

#include <unistd.h>

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "catalog/CatalogSchema.h"
#include "catalog/CatalogStore.h"
#include "catalog/CatalogTime.h"
#include "catalog/HashChain.h"
#include "catalog/RecordingWalk.h"
#include "catalog/ReportText.h"
#include "catalog/RunLock.h"
#include "catalog/SqliteStatement.h"

namespace {

struct Camera {
    int64_t Id = 0;
    std::string Name;
};

// The files rows that are not sealed: what a running program records, what a crash left.
struct OpenRow {
    FileState State = FileState::Growing;
    bool LiveRun = false;
};

class CVerifier {
public:
    CVerifier(CSqliteDb& db, const VerifyRequest& request, bool othersMayRecord, int64_t nowMs)
        : db_(db), request_(request), othersMayRecord_(othersMayRecord), nowMs_(nowMs) {}

    // 0 or 1 as RunVerify.
    int Run(const std::vector<Camera>& cameras, const std::vector<RecordingOnDisk>& disk);
    const std::string& Text() const { return text_; }

private:
    bool InScope(const std::string& relPath) const;
    void VerifyCamera(const Camera& camera, const std::vector<RecordingOnDisk>& disk);
    std::map<std::string, OpenRow> OpenRows(int64_t cameraId);
    void Report(const char* status, const std::string& relPath, const std::string& detail = {});

    CSqliteDb& db_;
    const VerifyRequest& request_;
    const bool othersMayRecord_;
    const int64_t nowMs_;
    std::string text_;
    int holding_ = 0;
    int failing_ = 0;
};

bool CVerifier::InScope(const std::string& relPath) const {
    RecordingOnDisk name;
    return ParseRecordingPath(relPath, &name) && (request_.Day.empty() || name.Day == request_.Day);
}

void CVerifier::Report(const char* status, const std::string& relPath, const std::string& detail) {
    text_ += ReportLine("  %-9s %s%s%s", status, relPath.c_str(), detail.empty() ? "" : "  ",
                        detail.c_str());
}

std::map<std::string, OpenRow> CVerifier::OpenRows(int64_t cameraId) {
    std::map<std::string, OpenRow> rows;
    CSqliteStatement query(db_,
                           "SELECT f.rel_path, f.state, r.ended, r.alive_ms FROM files f "
                           "LEFT JOIN runs r ON r.id = f.run_id WHERE f.camera_id = ? AND "
                           "f.state IN (?, ?)");
    query.Bind(1, cameraId)
        .Bind(2, static_cast<int64_t>(FileState::Growing))
        .Bind(3, static_cast<int64_t>(FileState::Found));
    while (query.Step()) {
        OpenRow row;
        row.State = static_cast<FileState>(query.Int(1));
        row.LiveRun = othersMayRecord_ && !query.IsNull(2) && query.Int(2) == 0 &&
                      query.Int(3) >= nowMs_ - CCatalogStore::kLiveRunMs;
        rows[query.Text(0)] = row;
    }
    return rows;
}

void CVerifier::VerifyCamera(const Camera& camera, const std::vector<RecordingOnDisk>& disk) {
    const std::string& root = request_.RecordDir;
    CHashChain chain(db_);
    const ChainAnchor anchor = chain.Anchor(camera.Id);
    const std::vector<ChainEntry> entries = chain.Entries(camera.Id);
    text_ += ReportLine(
        "camera %s: chain of %zu entries%s", camera.Name.c_str(), entries.size(),
        anchor.Seq > 0
            ? (", from entry " + std::to_string(anchor.Seq + 1) + " (older ones aged out)").c_str()
            : "");
    // Every link, in scope or not: a rewritten entry anywhere breaks the proof.
    int64_t seq = anchor.Seq;
    Sha256Digest previous = anchor.Hash;
    std::set<std::string> sealed;
    for (const ChainEntry& entry : entries) {
        if (entry.Seq != seq + 1) {
            Report("BROKEN", entry.RelPath,
                   "chain entries " + std::to_string(seq + 1) + " to " +
                       std::to_string(entry.Seq - 1) + " are gone");
            ++failing_;
        }
        if (CHashChain::EntryHash(previous, entry) != entry.EntryHash) {
            Report("BROKEN", entry.RelPath,
                   "chain entry " + std::to_string(entry.Seq) + " was rewritten");
            ++failing_;
        }
        seq = entry.Seq;
        previous = entry.EntryHash;
        if (!InScope(entry.RelPath)) continue;
        const std::string kind =
            entry.Kind == ChainKind::CutShort ? "cut short, sealed as found" : "";
        if (entry.DeletedMs) {
            Report("deleted", entry.RelPath,
                   "by the retention at " + LocalTimeText(*entry.DeletedMs));
            ++holding_;
            continue;
        }
        sealed.insert(entry.RelPath);
        Sha256Digest sha{};
        uint64_t bytes = 0;
        if (access((root + "/" + entry.RelPath).c_str(), F_OK) != 0) {
            Report("MISSING", entry.RelPath, "sealed " + LocalTimeText(entry.SealedMs));
            ++failing_;
        } else if (!HashFile(root + "/" + entry.RelPath, &sha, &bytes) || sha != entry.Sha ||
                   bytes != entry.Bytes) {
            Report("ALTERED", entry.RelPath,
                   "sealed " + std::to_string(entry.Bytes) + " bytes sha256 " +
                       DigestHex(entry.Sha) + ", now " + std::to_string(bytes) + " bytes sha256 " +
                       DigestHex(sha));
            ++failing_;
        } else {
            Report("ok", entry.RelPath, kind);
            ++holding_;
        }
    }
    const std::map<std::string, OpenRow> open = OpenRows(camera.Id);
    for (const RecordingOnDisk& file : disk) {
        if (file.Camera != camera.Name || !InScope(file.RelPath) || sealed.count(file.RelPath) != 0)
            continue;
        const auto row = open.find(file.RelPath);
        if (row != open.end() && row->second.State == FileState::Growing && row->second.LiveRun) {
            Report("recording", file.RelPath, "sealed when finished");
            ++holding_;
        } else if (row != open.end() && row->second.State == FileState::Growing) {
            Report("UNSEALED", file.RelPath,
                   "cut short by a crash; the next start or --catalog-check seals it");
            ++failing_;
        } else {
            Report("INSERTED", file.RelPath,
                   row != open.end() ? "found by a scan, never sealed" : "not in the catalog");
            ++failing_;
        }
    }
    text_ += ReportLine("camera %s: chain head %s (entry %lld)", camera.Name.c_str(),
                        DigestHex(previous).c_str(), static_cast<long long>(seq));
}

int CVerifier::Run(const std::vector<Camera>& cameras, const std::vector<RecordingOnDisk>& disk) {
    for (const Camera& camera : cameras) VerifyCamera(camera, disk);
    text_ += failing_ == 0 ? ReportLine("all %d hold", holding_)
                           : ReportLine("%d hold, %d do not hold", holding_, failing_);
    return failing_ == 0 ? 0 : 1;
}

}  // namespace

int RunVerify(const VerifyRequest& request, int64_t nowMs, std::string* report) {
    VerifyRequest scope = request;
    while (scope.RecordDir.size() > 1 && scope.RecordDir.back() == '/') scope.RecordDir.pop_back();
    LocalDate day;
    if (!scope.Day.empty() && !ParseDayText(scope.Day, &day)) {
        *report = ReportLine("verify: '%s' is no day (yyyy-mm-dd)", scope.Day.c_str());
        return 2;
    }
    const std::string path = scope.RecordDir + "/" + kCatalogFileName;
    const bool writable = access(scope.RecordDir.c_str(), W_OK) == 0;
    std::unique_ptr<CSqliteDb> db;
    if (access(path.c_str(), R_OK) == 0) {
        db = CSqliteDb::Open(path, writable ? CSqliteDb::Mode::ReadOnly : CSqliteDb::Mode::Frozen,
                             nullptr);
    }
    if (!db || db->QueryText("SELECT value FROM meta WHERE key = 'schema'") !=
                   std::to_string(kCatalogSchemaVersion)) {
        *report = ReportLine("verify: no readable catalog at %s", path.c_str());
        return 3;
    }
    // Whether a program records here now: the lock answers when the folder can hold it.
    bool othersMayRecord = true;
    if (writable) {
        CRunLock lock(scope.RecordDir);
        othersMayRecord = !lock.TryAlone();
    }
    std::vector<Camera> cameras;
    CSqliteStatement query(*db, "SELECT id, name FROM cameras ORDER BY name");
    while (query.Step()) {
        if (scope.Camera.empty() || query.Text(1) == scope.Camera)
            cameras.push_back({query.Int(0), query.Text(1)});
    }
    std::vector<RecordingOnDisk> disk = ListRecordingsOnDisk(scope.RecordDir);
    if (!scope.Camera.empty() && cameras.empty()) {
        const bool onDisk = std::any_of(disk.begin(), disk.end(), [&](const RecordingOnDisk& file) {
            return file.Camera == scope.Camera;
        });
        if (!onDisk) {
            *report = ReportLine("verify: no camera '%s' in %s", scope.Camera.c_str(),
                                 scope.RecordDir.c_str());
            return 2;
        }
        cameras.push_back({0, scope.Camera});  // recordings the catalog never saw
    }
    if (scope.Camera.empty()) {
        // Folders of cameras the catalog never saw hold only inserted files.
        std::set<std::string> known;
        for (const Camera& camera : cameras) known.insert(camera.Name);
        for (const RecordingOnDisk& file : disk) {
            if (known.insert(file.Camera).second) cameras.push_back({0, file.Camera});
        }
    }
    std::sort(disk.begin(), disk.end(), [](const RecordingOnDisk& a, const RecordingOnDisk& b) {
        return a.RelPath < b.RelPath;
    });
    CVerifier verifier(*db, scope, othersMayRecord, nowMs);
    std::string text = ReportLine("verify %s%s%s%s%s", scope.RecordDir.c_str(),
                                  scope.Camera.empty() ? "" : ", camera ", scope.Camera.c_str(),
                                  scope.Day.empty() ? "" : ", day ", scope.Day.c_str());
    const int code = verifier.Run(cameras, disk);
    *report = text + verifier.Text();
    return code;
}
