// The per-camera hash chain that proves recordings unaltered. Each sealed file gets an
// entry: its path below RecordDir, size, SHA-256, times and kind, and an entry hash over
// all of that and the previous entry's hash, so changing, removing or reordering any
// entry breaks every later link. A file the retention deletes stays in the chain as a
// known deletion; once the oldest entries are all deletions, the camera's anchor (the
// last aged-out entry's sequence number and hash) moves past them and they go. Whoever
// noted a chain's head can later tell that nothing before it was rewritten.
//
// Threads: the thread of the connection it is given; writes inside the caller's
// transaction.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "catalog/CatalogSchema.h"
#include "catalog/Sha256.h"
#include "catalog/SqliteDb.h"

struct ChainEntry {
    int64_t Seq = 0;
    std::string RelPath;
    uint64_t Bytes = 0;
    Sha256Digest Sha{};
    int64_t StartMs = 0;
    int64_t EndMs = 0;
    ChainKind Kind = ChainKind::Finished;
    int64_t SealedMs = 0;
    Sha256Digest EntryHash{};
    std::optional<int64_t> DeletedMs;  // a known deletion by the retention
};

struct ChainAnchor {
    int64_t Seq = 0;  // 0: the chain starts at its first entry
    Sha256Digest Hash{};
};

class CHashChain {
public:
    explicit CHashChain(CSqliteDb& db) : db_(db) {}

    // The hash of entry linked after previous (its own EntryHash is not read).
    static Sha256Digest EntryHash(const Sha256Digest& previous, const ChainEntry& entry);

    // Appends entry as the camera's next one, filling Seq and EntryHash.
    bool Append(int64_t cameraId, ChainEntry* entry);
    // Marks the entry of relPath a known deletion and moves the anchor past the
    // deletions at the start of the chain.
    bool MarkDeleted(int64_t cameraId, const std::string& relPath, int64_t nowMs);

    ChainAnchor Anchor(int64_t cameraId);
    // The camera's entries in order.
    std::vector<ChainEntry> Entries(int64_t cameraId);

private:
    CSqliteDb& db_;
};
