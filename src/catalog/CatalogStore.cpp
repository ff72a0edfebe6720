#include "catalog/CatalogStore.h"

#include <unistd.h>

#include <cstdio>

#include "catalog/CatalogSchema.h"
#include "catalog/CatalogTime.h"
#include "catalog/SqliteStatement.h"
#include "platform/FileSystem.h"

namespace {

bool Exists(const std::string& path) {
    return access(path.c_str(), F_OK) == 0;
}

// "<name>.damaged-yyyymmdd-hhmmss" beside the database, with its write-ahead log.
std::string MoveAside(const std::string& path, int64_t nowMs) {
    std::string stamp = LocalTimeText(nowMs);  // "yyyy-mm-dd hh:mm:ss"
    std::string compact;
    for (const char c : stamp) {
        if (c >= '0' && c <= '9') compact += c;
        if (c == ' ') compact += '-';
    }
    const std::string aside = path + ".damaged-" + compact;
    if (std::rename(path.c_str(), aside.c_str()) != 0) return {};
    std::rename((path + "-wal").c_str(), (aside + "-wal").c_str());
    unlink((path + "-shm").c_str());
    return aside;
}

}  // namespace

std::unique_ptr<CCatalogStore> CCatalogStore::Open(const std::string& root, const LogFn& log,
                                                   int64_t nowMs, bool readOnly) {
    std::unique_ptr<CCatalogStore> store(new CCatalogStore(root));
    if (!IsDirectory(root)) {
        // A first start: the recorder makes the folder (on the right disk) with its
        // first file; until then the catalog waits in memory.
        store->UseMemory();
        store->awaitingFolder_ = true;
        return store;
    }
    if (readOnly || access(root.c_str(), W_OK) != 0) {
        store->OpenReadOnly(log);
        return store;
    }
    store->lock_ = std::make_unique<CRunLock>(root);
    if (!store->lock_->Usable()) {
        store->OpenReadOnly(log);
        return store;
    }
    store->othersMayRecord_ = !store->lock_->TryAlone();
    store->OpenInFolder(log, nowMs);
    return store;
}

CCatalogStore::~CCatalogStore() = default;

std::string CCatalogStore::DatabasePath() const {
    return root_ + "/" + kCatalogFileName;
}

bool CCatalogStore::PrepareFile(CSqliteDb& db) {
    // NORMAL: a commit waits for no disk flush, only checkpoints do; a power cut can
    // lose the last commits, which reconciliation recovers from the files.
    return db.QueryText("PRAGMA journal_mode=WAL") == "wal" &&
           db.Exec("PRAGMA synchronous=NORMAL") && db.QueryText("PRAGMA quick_check") == "ok" &&
           PrepareCatalogSchema(db);
}

void CCatalogStore::UseMemory() {
    writer_ = CSqliteDb::Open({}, CSqliteDb::Mode::Memory, nullptr);
    if (writer_) PrepareCatalogSchema(*writer_);
    memory_.store(true);
}

void CCatalogStore::OpenInFolder(const LogFn& log, int64_t nowMs) {
    const std::string path = DatabasePath();
    writer_ = CSqliteDb::Open(path, CSqliteDb::Mode::Create, nullptr);
    if (writer_ && PrepareFile(*writer_)) return;
    writer_.reset();
    // Another program may have it open: it is not moved from under that one.
    const std::string aside =
        Exists(path) && !othersMayRecord_ ? MoveAside(path, nowMs) : std::string();
    if (!aside.empty()) {
        log(" 录像索引损坏, 已移到 " + aside + ", 从录像文件重建");
        writer_ = CSqliteDb::Open(path, CSqliteDb::Mode::Create, nullptr);
        if (writer_ && PrepareFile(*writer_)) return;
        writer_.reset();
    }
    log(" 录像索引无法打开, 暂存于内存 " + path);
    UseMemory();
}

void CCatalogStore::OpenReadOnly(const LogFn& log) {
    const std::string path = DatabasePath();
    UseMemory();
    if (Exists(path)) {
        std::unique_ptr<CSqliteDb> frozen = CSqliteDb::Open(path, CSqliteDb::Mode::Frozen, nullptr);
        if (!frozen || frozen->QueryText("PRAGMA quick_check") != "ok" ||
            frozen->QueryText("SELECT value FROM meta WHERE key = 'schema'") !=
                std::to_string(kCatalogSchemaVersion) ||
            !writer_->CopyFrom(*frozen) || !AddLaterCatalogTables(*writer_)) {
            log(" 录像索引无法读取, 从录像文件重建 " + path);
            UseMemory();
        }
    }
    othersMayRecord_ = true;
    log(" 录像目录不可写, 录像索引保存在内存中 " + root_);
}

bool CCatalogStore::BeginRun(int64_t nowMs) {
    if (lock_ && !memory_.load()) lock_->Share();
    CSqliteStatement insert(*writer_, "INSERT INTO runs(started_ms, alive_ms) VALUES(?, ?)");
    insert.Bind(1, nowMs).Bind(2, nowMs);
    if (!insert.Run()) return false;
    runId_ = writer_->LastInsertId();
    return true;
}

void CCatalogStore::Heartbeat(int64_t nowMs) {
    if (runId_ == 0) return;
    CSqliteStatement update(*writer_, "UPDATE runs SET alive_ms = ? WHERE id = ?");
    update.Bind(1, nowMs).Bind(2, runId_).Run();
}

void CCatalogStore::EndRun(int64_t nowMs) {
    if (runId_ == 0) return;
    CSqliteStatement update(*writer_, "UPDATE runs SET alive_ms = ?, ended = 1 WHERE id = ?");
    update.Bind(1, nowMs).Bind(2, runId_).Run();
    // Motion no detector ended before the program stopped ends with the run.
    CSqliteStatement motion(*writer_,
                            "UPDATE motion_events SET end_ms = max(start_ms, ?) "
                            "WHERE run_id = ? AND end_ms IS NULL");
    motion.Bind(1, nowMs).Bind(2, runId_).Run();
    runId_ = 0;
}

bool CCatalogStore::PromoteToFile(const LogFn& log, int64_t nowMs) {
    if (!awaitingFolder_ || !IsDirectory(root_) || access(root_.c_str(), W_OK) != 0) return false;
    auto lock = std::make_unique<CRunLock>(root_);
    if (!lock->Usable()) return false;
    othersMayRecord_ = !lock->TryAlone();
    std::unique_ptr<CSqliteDb> file =
        CSqliteDb::Open(DatabasePath(), CSqliteDb::Mode::Create, nullptr);
    if (!file || !PrepareFile(*file)) {
        log(" 录像索引无法创建 " + DatabasePath());
        awaitingFolder_ = false;  // stays in memory for this run
        return false;
    }
    // A database another program made meanwhile is kept: this run's rows go into it.
    const bool empty = file->QueryText("SELECT count(*) FROM files") == "0";
    std::lock_guard<std::mutex> writer(writerLock_);
    std::lock_guard<std::mutex> reader(readerLock_);
    // The copy takes the memory database's header: WAL is asked for again.
    if (empty && (!file->CopyFrom(*writer_) || file->QueryText("PRAGMA journal_mode=WAL") != "wal"))
        return false;
    if (!empty) {
        log(" 录像索引已存在, 本次运行之前的索引保留 " + DatabasePath());
        runId_ = 0;
    }
    writer_ = std::move(file);
    lock_ = std::move(lock);
    memory_.store(false);
    awaitingFolder_ = false;
    if (runId_ == 0) BeginRun(nowMs);
    lock_->Share();
    return true;
}
