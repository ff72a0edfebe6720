#include "catalog/HashChain.h"

#include <cstring>

#include "catalog/SqliteStatement.h"

namespace {

constexpr char kDomain[] = "orvex-chain-1";

void PutInt(CSha256& sha, uint64_t value) {
    uint8_t bytes[8];
    for (int i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(value >> (56 - 8 * i));
    sha.Update(bytes, sizeof bytes);
}

Sha256Digest DigestOf(const std::vector<uint8_t>& blob) {
    Sha256Digest digest{};
    if (blob.size() == digest.size()) std::memcpy(digest.data(), blob.data(), digest.size());
    return digest;
}

}  // namespace

Sha256Digest CHashChain::EntryHash(const Sha256Digest& previous, const ChainEntry& entry) {
    CSha256 sha;
    sha.Update(kDomain, sizeof kDomain);  // with its NUL: no field can run into it
    sha.Update(previous.data(), previous.size());
    PutInt(sha, static_cast<uint64_t>(entry.Seq));
    PutInt(sha, entry.RelPath.size());
    sha.Update(entry.RelPath.data(), entry.RelPath.size());
    PutInt(sha, entry.Bytes);
    sha.Update(entry.Sha.data(), entry.Sha.size());
    PutInt(sha, static_cast<uint64_t>(entry.StartMs));
    PutInt(sha, static_cast<uint64_t>(entry.EndMs));
    PutInt(sha, static_cast<uint64_t>(entry.Kind));
    PutInt(sha, static_cast<uint64_t>(entry.SealedMs));
    return sha.Final();
}

ChainAnchor CHashChain::Anchor(int64_t cameraId) {
    ChainAnchor anchor;
    CSqliteStatement query(db_, "SELECT seq, entry_hash FROM anchors WHERE camera_id = ?");
    query.Bind(1, cameraId);
    if (query.Step()) {
        anchor.Seq = query.Int(0);
        anchor.Hash = DigestOf(query.Blob(1));
    }
    return anchor;
}

bool CHashChain::Append(int64_t cameraId, ChainEntry* entry) {
    CSqliteStatement last(
        db_, "SELECT seq, entry_hash FROM chain WHERE camera_id = ? ORDER BY seq DESC LIMIT 1");
    last.Bind(1, cameraId);
    ChainAnchor previous;
    if (last.Step()) {
        previous.Seq = last.Int(0);
        previous.Hash = DigestOf(last.Blob(1));
    } else if (last.Done()) {
        previous = Anchor(cameraId);
    } else {
        return false;
    }
    entry->Seq = previous.Seq + 1;
    entry->EntryHash = EntryHash(previous.Hash, *entry);
    entry->DeletedMs.reset();
    CSqliteStatement insert(db_,
                            "INSERT INTO chain(camera_id, seq, rel_path, bytes, sha256, start_ms, "
                            "end_ms, kind, sealed_ms, entry_hash) VALUES(?,?,?,?,?,?,?,?,?,?)");
    insert.Bind(1, cameraId)
        .Bind(2, entry->Seq)
        .Bind(3, entry->RelPath)
        .Bind(4, static_cast<int64_t>(entry->Bytes))
        .BindBlob(5, entry->Sha.data(), entry->Sha.size())
        .Bind(6, entry->StartMs)
        .Bind(7, entry->EndMs)
        .Bind(8, static_cast<int64_t>(entry->Kind))
        .Bind(9, entry->SealedMs)
        .BindBlob(10, entry->EntryHash.data(), entry->EntryHash.size());
    return insert.Run();
}

bool CHashChain::MarkDeleted(int64_t cameraId, const std::string& relPath, int64_t nowMs) {
    CSqliteStatement mark(db_,
                          "UPDATE chain SET deleted_ms = ? WHERE camera_id = ? AND rel_path = ? "
                          "AND deleted_ms IS NULL");
    mark.Bind(1, nowMs).Bind(2, cameraId).Bind(3, relPath);
    if (!mark.Run()) return false;
    // The anchor takes the place of the deletions that lead the chain.
    CSqliteStatement first(
        db_,
        "SELECT seq, entry_hash, deleted_ms FROM chain WHERE camera_id = ? ORDER BY seq LIMIT 1");
    CSqliteStatement anchor(db_, "INSERT OR REPLACE INTO anchors VALUES(?, ?, ?, ?)");
    CSqliteStatement drop(db_, "DELETE FROM chain WHERE camera_id = ? AND seq = ?");
    while (true) {
        first.Bind(1, cameraId);
        if (!first.Step() || first.IsNull(2)) {
            first.Reset();
            return true;
        }
        const int64_t seq = first.Int(0);
        const std::vector<uint8_t> hash = first.Blob(1);
        first.Reset();
        anchor.Bind(1, cameraId).Bind(2, seq).BindBlob(3, hash.data(), hash.size()).Bind(4, nowMs);
        drop.Bind(1, cameraId).Bind(2, seq);
        if (!anchor.Run() || !drop.Run()) return false;
    }
}

std::vector<ChainEntry> CHashChain::Entries(int64_t cameraId) {
    std::vector<ChainEntry> entries;
    CSqliteStatement query(
        db_,
        "SELECT seq, rel_path, bytes, sha256, start_ms, end_ms, kind, sealed_ms, "
        "entry_hash, deleted_ms FROM chain WHERE camera_id = ? ORDER BY seq");
    query.Bind(1, cameraId);
    while (query.Step()) {
        ChainEntry entry;
        entry.Seq = query.Int(0);
        entry.RelPath = query.Text(1);
        entry.Bytes = static_cast<uint64_t>(query.Int(2));
        entry.Sha = DigestOf(query.Blob(3));
        entry.StartMs = query.Int(4);
        entry.EndMs = query.Int(5);
        entry.Kind = static_cast<ChainKind>(query.Int(6));
        entry.SealedMs = query.Int(7);
        entry.EntryHash = DigestOf(query.Blob(8));
        if (!query.IsNull(9)) entry.DeletedMs = query.Int(9);
        entries.push_back(std::move(entry));
    }
    return entries;
}
