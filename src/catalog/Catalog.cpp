#include "catalog/Catalog.h"

#include <pthread.h>

#include <algorithm>
#include <optional>

#include "catalog/AnnexBScanner.h"
#include "catalog/CatalogQueries.h"
#include "catalog/CatalogWriter.h"
#include "catalog/KeyFrameEstimate.h"
#include "catalog/RecordingWalk.h"
#include "catalog/Sha256.h"
#include "catalog/SqliteStatement.h"
#include "catalog/SqliteTransaction.h"

namespace {

std::string WithoutTrailingSlash(std::string folder) {
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

std::vector<CatalogKeyFrame> ToCatalog(const std::vector<RecordedKeyFrame>& frames) {
    std::vector<CatalogKeyFrame> result;
    result.reserve(frames.size());
    for (const RecordedKeyFrame& frame : frames) result.push_back({frame.Offset, frame.WallMs});
    return result;
}

std::string CameraOfPath(const std::string& root, const std::string& path) {
    RecordingOnDisk name;
    return ParseRecordingPath(RelativeToRoot(root, path), &name) ? name.Camera : std::string();
}

// What a recorder tells of a file as it grows and when it ends.
CatalogEvent FileProgress(CatalogEvent::Kind what, const std::string& path, uint64_t bytes,
                          uint32_t pictures, int64_t endMs,
                          const std::vector<RecordedKeyFrame>& keyFrames) {
    CatalogEvent event;
    event.What = what;
    event.Path = path;
    event.ToMs = endMs;
    event.Bytes = bytes;
    event.Pictures = pictures;
    event.KeyFrames = keyFrames;
    return event;
}

}  // namespace

CCatalog::CCatalog() : CCatalog(Options()) {}

CCatalog::CCatalog(Options options) : options_(std::move(options)) {}

CCatalog::~CCatalog() {
    Close();
}

void CCatalog::Log(const std::string& line) const {
    if (options_.Log) options_.Log(line);
}

ReconcileReport CCatalog::Open(const std::string& recordDir) {
    const std::string root = WithoutTrailingSlash(recordDir);
    const CCatalogStore::LogFn log = [this](const std::string& line) { Log(line); };
    const int64_t now = options_.Clock();
    std::shared_ptr<CCatalogStore> store = CCatalogStore::Open(root, log, now);
    ReconcileReport report;
    if (!store->AwaitingFolder()) {
        report = CReconciler(*store, now, std::nullopt, log).Run();
        Log(report.Text(root));
    }
    {
        const auto lock = store->LockWriter();
        store->BeginRun(now);
    }
    stores_.push_back(store);
    {
        std::lock_guard<std::mutex> lock(currentLock_);
        current_ = store;
    }
    nextHeartbeat_ = std::chrono::steady_clock::now() + options_.HeartbeatInterval;
    {
        std::lock_guard<std::mutex> lock(queueLock_);
        accepting_ = true;
        stopping_ = false;
    }
    thread_ = std::thread(&CCatalog::Body, this);
    return report;
}

void CCatalog::SwitchTo(const std::string& recordDir) {
    CatalogEvent event;
    event.What = CatalogEvent::Kind::Switch;
    event.Path = WithoutTrailingSlash(recordDir);
    Queue(std::move(event));
}

bool CCatalog::Flush(std::chrono::milliseconds bound) {
    std::unique_lock<std::mutex> lock(queueLock_);
    const uint64_t target = queued_;
    ++flushWaiters_;
    queueSignal_.notify_all();
    const bool done = writtenSignal_.wait_for(lock, bound, [&] { return written_ >= target; });
    --flushWaiters_;
    return done;
}

void CCatalog::Close() {
    {
        std::lock_guard<std::mutex> lock(queueLock_);
        stopping_ = true;
    }
    queueSignal_.notify_all();
    if (thread_.joinable()) thread_.join();
    for (const std::shared_ptr<CCatalogStore>& store : stores_) {
        const auto lock = store->LockWriter();
        store->EndRun(options_.Clock());
    }
    stores_.clear();
    growing_.clear();
}

std::string CCatalog::RecordDir() const {
    const std::shared_ptr<CCatalogStore> store = Current();
    return store ? store->Root() : std::string();
}

void CCatalog::Queue(CatalogEvent event) {
    {
        std::lock_guard<std::mutex> lock(queueLock_);
        if (!accepting_ || stopping_) return;
        queue_.push_back(std::move(event));
        ++queued_;
    }
    queueSignal_.notify_one();
}

void CCatalog::FileStarted(const std::string& camera, const std::string& path, int64_t startMs) {
    CatalogEvent event;
    event.What = CatalogEvent::Kind::Started;
    event.Camera = camera;
    event.Path = path;
    event.FromMs = startMs;
    Queue(std::move(event));
}

void CCatalog::FileGrew(const std::string& path, uint64_t bytes, uint32_t pictures, int64_t endMs,
                        const std::vector<RecordedKeyFrame>& keyFrames) {
    Queue(FileProgress(CatalogEvent::Kind::Grew, path, bytes, pictures, endMs, keyFrames));
}

void CCatalog::FileFinished(const std::string& path, uint64_t bytes, uint32_t pictures,
                            int64_t endMs, const std::vector<RecordedKeyFrame>& keyFrames) {
    Queue(FileProgress(CatalogEvent::Kind::Finished, path, bytes, pictures, endMs, keyFrames));
}

void CCatalog::GapNoted(const std::string& camera, int64_t fromMs, int64_t toMs,
                        RecordingGapCause cause) {
    CatalogEvent event;
    event.What = CatalogEvent::Kind::Gap;
    event.Camera = camera;
    event.FromMs = fromMs;
    event.ToMs = toMs;
    event.Cause = cause;
    Queue(std::move(event));
}

void CCatalog::FileDeleted(const std::string& path) {
    CatalogEvent event;
    event.What = CatalogEvent::Kind::Deleted;
    event.Path = path;
    event.FromMs = options_.Clock();
    Queue(std::move(event));
}

void CCatalog::MotionStarted(const std::string& camera, int64_t startMs) {
    CatalogEvent event;
    event.What = CatalogEvent::Kind::MotionStarted;
    event.Camera = camera;
    event.FromMs = startMs;
    Queue(std::move(event));
}

void CCatalog::MotionEnded(const std::string& camera, int64_t startMs, int64_t endMs,
                           double peakPct) {
    CatalogEvent event;
    event.What = CatalogEvent::Kind::MotionEnded;
    event.Camera = camera;
    event.FromMs = startMs;
    event.ToMs = endMs;
    event.PeakPct = peakPct;
    Queue(std::move(event));
}

void CCatalog::Body() {
    pthread_setname_np(pthread_self(), "orvex-catalog");
    while (true) {
        std::vector<CatalogEvent> batch;
        uint64_t taken = 0;
        bool stop = false;
        {
            std::unique_lock<std::mutex> lock(queueLock_);
            const auto wakeAt = nextHeartbeat_;
            const bool idleWork = options_.IndexInBackground && indexPending_;
            const auto ready = [&] { return stopping_ || !queue_.empty() || flushWaiters_ > 0; };
            if (idleWork) {
                queueSignal_.wait_for(lock, std::chrono::milliseconds(50), ready);
            } else {
                queueSignal_.wait_until(lock, wakeAt, ready);
            }
            // Let what the other recorders tell meanwhile join this transaction.
            if (!queue_.empty() && !stopping_ && flushWaiters_ == 0) {
                queueSignal_.wait_for(lock, options_.BatchDelay,
                                      [&] { return stopping_ || flushWaiters_ > 0; });
            }
            batch.swap(queue_);
            taken = queued_;
            stop = stopping_;
        }
        if (!batch.empty()) Apply(batch);
        Heartbeat();
        CloseIdleStores();
        {
            std::lock_guard<std::mutex> lock(queueLock_);
            written_ = taken;
            if (stop && queue_.empty()) accepting_ = false;
        }
        writtenSignal_.notify_all();
        if (stop) {
            std::lock_guard<std::mutex> lock(queueLock_);
            if (queue_.empty()) return;
            continue;
        }
        if (batch.empty() && options_.IndexInBackground && indexPending_)
            indexPending_ = IndexOne();
    }
}

void CCatalog::Apply(std::vector<CatalogEvent>& batch) {
    // Events before a switch go where they belong before the new catalog opens.
    std::vector<CatalogEvent> pending;
    const auto writeAll = [&] {
        std::map<std::shared_ptr<CCatalogStore>, std::vector<CatalogEvent>> perStore;
        for (CatalogEvent& event : pending) {
            const bool byCamera = event.What == CatalogEvent::Kind::Gap ||
                                  event.What == CatalogEvent::Kind::MotionStarted ||
                                  event.What == CatalogEvent::Kind::MotionEnded;
            std::shared_ptr<CCatalogStore> store =
                byCamera ? StoreOfCamera(event.Camera) : StoreOf(event.Path);
            if (store) perStore[store].push_back(std::move(event));
        }
        pending.clear();
        for (auto& [store, events] : perStore) Write(store, events);
    };
    for (CatalogEvent& event : batch) {
        if (event.What == CatalogEvent::Kind::Switch) {
            writeAll();
            SwitchNow(event.Path);
        } else {
            pending.push_back(std::move(event));
        }
    }
    writeAll();
}

void CCatalog::Write(const std::shared_ptr<CCatalogStore>& store,
                     std::vector<CatalogEvent>& events) {
    const int64_t now = options_.Clock();
    const CCatalogStore::LogFn log = [this](const std::string& line) { Log(line); };
    if (store->AwaitingFolder()) store->PromoteToFile(log, now);
    // Finished files are hashed before the transaction, which then stays short.
    std::vector<std::optional<FileSeal>> seals(events.size());
    for (size_t i = 0; i < events.size(); ++i) {
        if (events[i].What != CatalogEvent::Kind::Finished) continue;
        FileSeal seal;
        if (HashFile(events[i].Path, &seal.Sha, &seal.Bytes)) {
            seals[i] = seal;
        } else {
            Log(" 录像文件无法读取, 未封存 " + events[i].Path);
        }
    }
    std::set<std::string>& growing = growing_[store.get()];
    const std::string& root = store->Root();
    const auto lock = store->LockWriter();
    CSqliteTransaction transaction(store->Writer());
    CCatalogWriter writer(store->Writer());
    const int64_t run = store->RunId();
    for (size_t i = 0; i < events.size(); ++i) {
        const CatalogEvent& event = events[i];
        const std::string relPath = RelativeToRoot(root, event.Path);
        switch (event.What) {
            case CatalogEvent::Kind::Started:
                writer.FileStarted(relPath, event.FromMs, run);
                growing.insert(event.Path);
                break;
            case CatalogEvent::Kind::Grew:
                writer.FileGrew(relPath, event.Bytes, event.Pictures, event.ToMs,
                                ToCatalog(event.KeyFrames), run);
                break;
            case CatalogEvent::Kind::Finished:
                writer.FileFinished(relPath, event.Bytes, event.Pictures, event.ToMs,
                                    ToCatalog(event.KeyFrames), run, seals[i], now);
                growing.erase(event.Path);
                break;
            case CatalogEvent::Kind::Gap:
                writer.GapNoted(event.Camera, event.FromMs, event.ToMs, event.Cause);
                break;
            case CatalogEvent::Kind::Deleted:
                writer.FileDeleted(relPath, event.FromMs);
                break;
            case CatalogEvent::Kind::MotionStarted:
                writer.MotionStarted(event.Camera, event.FromMs, run);
                break;
            case CatalogEvent::Kind::MotionEnded:
                writer.MotionEnded(event.Camera, event.FromMs, event.ToMs, event.PeakPct, run);
                break;
            case CatalogEvent::Kind::Switch:
                break;
        }
    }
    store->Heartbeat(now);
    if (!transaction.Commit()) {
        Log(" 录像索引写入失败 " + store->DatabasePath() + ": " + store->Writer().ErrorText());
    }
}

void CCatalog::SwitchNow(const std::string& recordDir) {
    if (Current() && Current()->Root() == recordDir) return;
    const int64_t now = options_.Clock();
    const CCatalogStore::LogFn log = [this](const std::string& line) { Log(line); };
    std::shared_ptr<CCatalogStore> store;
    for (const std::shared_ptr<CCatalogStore>& open : stores_) {
        if (open->Root() == recordDir) store = open;  // left behind a moment ago
    }
    if (!store) {
        store = CCatalogStore::Open(recordDir, log, now);
        // Files named from now on are the recorders' own: they tell of them.
        if (!store->AwaitingFolder()) Log(CReconciler(*store, now, now, log).Run().Text(recordDir));
        const auto lock = store->LockWriter();
        store->BeginRun(now);
        stores_.push_back(store);
    }
    std::lock_guard<std::mutex> lock(currentLock_);
    current_ = store;
    indexPending_ = true;
}

std::shared_ptr<CCatalogStore> CCatalog::StoreOf(const std::string& path) const {
    std::shared_ptr<CCatalogStore> best;
    for (const std::shared_ptr<CCatalogStore>& store : stores_) {
        if (RelativeToRoot(store->Root(), path).empty()) continue;
        // The deepest RecordDir holds it, should one lie inside another.
        if (!best || store->Root().size() > best->Root().size()) best = store;
    }
    return best;
}

std::shared_ptr<CCatalogStore> CCatalog::StoreOfCamera(const std::string& camera) const {
    for (const std::shared_ptr<CCatalogStore>& store : stores_) {
        const auto found = growing_.find(store.get());
        if (found == growing_.end()) continue;
        for (const std::string& path : found->second) {
            if (CameraOfPath(store->Root(), path) == camera) return store;
        }
    }
    return Current();
}

void CCatalog::Heartbeat() {
    const auto now = std::chrono::steady_clock::now();
    if (now < nextHeartbeat_) return;
    nextHeartbeat_ = now + options_.HeartbeatInterval;
    const CCatalogStore::LogFn log = [this](const std::string& line) { Log(line); };
    for (const std::shared_ptr<CCatalogStore>& store : stores_) {
        if (store->AwaitingFolder()) store->PromoteToFile(log, options_.Clock());
        const auto lock = store->LockWriter();
        store->Heartbeat(options_.Clock());
    }
}

void CCatalog::CloseIdleStores() {
    const std::shared_ptr<CCatalogStore> current = Current();
    for (auto it = stores_.begin(); it != stores_.end();) {
        const std::shared_ptr<CCatalogStore>& store = *it;
        if (store == current || !growing_[store.get()].empty()) {
            ++it;
            continue;
        }
        {
            const auto lock = store->LockWriter();
            store->EndRun(options_.Clock());
        }
        growing_.erase(store.get());
        it = stores_.erase(it);
    }
}

bool CCatalog::IndexOne() {
    const std::shared_ptr<CCatalogStore> store = Current();
    if (!store) return false;
    CatalogFileRow row;
    {
        const auto lock = store->LockWriter();
        CSqliteStatement next(store->Writer(),
                              "SELECT id, rel_path, start_ms, end_ms, bytes FROM files WHERE "
                              "indexed = 0 ORDER BY start_ms DESC LIMIT 1");
        if (!next.Step()) return false;
        row.Id = next.Int(0);
        row.RelPath = next.Text(1);
        row.StartMs = next.Int(2);
        row.EndMs = next.Int(3);
        row.Bytes = static_cast<uint64_t>(next.Int(4));
    }
    ScannedStream scan;
    const bool scanned = ScanAnnexBFile(store->Root() + "/" + row.RelPath, &scan);
    const auto lock = store->LockWriter();
    CSqliteTransaction transaction(store->Writer());
    CCatalogWriter writer(store->Writer());
    CatalogFileRow now;
    // The file may have been deleted or grown meanwhile: then the next pass takes it.
    if (!writer.FindFile(row.RelPath, &now) || now.Id != row.Id || now.Bytes != row.Bytes)
        return true;
    if (scanned) {
        now.Pictures = scan.Pictures;
        writer.SetKeyFrames(now.Id, EstimateKeyFrames(scan, now.StartMs, now.EndMs));
    }
    now.Indexed = true;  // an unreadable file is not tried again and again
    writer.UpdateFile(now);
    transaction.Commit();
    return true;
}

std::shared_ptr<CCatalogStore> CCatalog::Current() const {
    std::lock_guard<std::mutex> lock(currentLock_);
    return current_;
}

std::vector<std::string> CCatalog::Cameras() const {
    const std::shared_ptr<CCatalogStore> store = Current();
    if (!store) return {};
    return store->Read([&](CSqliteDb& db) { return CCatalogQueries(db, store->Root()).Cameras(); });
}

std::vector<int> CCatalog::DaysWithRecordings(const std::string& camera, int year,
                                              int month) const {
    const std::shared_ptr<CCatalogStore> store = Current();
    if (!store) return {};
    return store->Read([&](CSqliteDb& db) {
        return CCatalogQueries(db, store->Root()).DaysWithRecordings(camera, year, month);
    });
}

std::vector<CatalogFile> CCatalog::Files(const std::string& camera, int64_t fromMs,
                                         int64_t toMs) const {
    const std::shared_ptr<CCatalogStore> store = Current();
    if (!store) return {};
    return store->Read([&](CSqliteDb& db) {
        return CCatalogQueries(db, store->Root()).Files(camera, fromMs, toMs);
    });
}

std::vector<CatalogKeyFrame> CCatalog::KeyFrames(int64_t fileId) const {
    const std::shared_ptr<CCatalogStore> store = Current();
    if (!store) return {};
    return store->Read(
        [&](CSqliteDb& db) { return CCatalogQueries(db, store->Root()).KeyFrames(fileId); });
}

std::vector<CatalogGap> CCatalog::Gaps(const std::string& camera, int64_t fromMs,
                                       int64_t toMs) const {
    const std::shared_ptr<CCatalogStore> store = Current();
    if (!store) return {};
    return store->Read([&](CSqliteDb& db) {
        return CCatalogQueries(db, store->Root()).Gaps(camera, fromMs, toMs);
    });
}

std::vector<CatalogMotionEvent> CCatalog::MotionEvents(const std::string& camera, int64_t fromMs,
                                                       int64_t toMs) const {
    const std::shared_ptr<CCatalogStore> store = Current();
    if (!store) return {};
    return store->Read([&](CSqliteDb& db) {
        return CCatalogQueries(db, store->Root()).MotionEvents(camera, fromMs, toMs);
    });
}
