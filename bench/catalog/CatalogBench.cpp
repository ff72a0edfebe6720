// Catalogues days x cameras of recordings as the recorder makes them (64 MiB files at
// 250 kB/s, one every 268 s, a key frame every 2 s, two gaps a day), then measures:
//   - the reconciliation at the start after a crash: the last run died while each
//     camera's last file was half written and its rows told only the first quarter,
//     and a few files were removed while the program was down;
//   - a day's timeline query: Files and Gaps of one camera for one day, every camera
//     and day in turn (target: 50 ms each);
//   - the database's size beside the video it indexes (target: 0.1 %).
// The recordings are sparse files (ftruncate to their size): the reconciliation lists
// and stats them all and reads (scans and hashes) only those the crash cut short,
// whose bytes are then zeros, read all the same. The rows are written through the
// catalog's writer with a made-up SHA-256 per file: hashing 2.5 TB of files is not
// what is measured. The database's pages are dropped from the page cache before the
// reconciliation and before the queries; the folders' entries stay cached.
//
//   catalog_bench [folder] [days] [cameras]   (defaults: a new folder under /tmp, 30, 4)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "catalog/Catalog.h"
#include "catalog/CatalogStore.h"
#include "catalog/CatalogTime.h"
#include "catalog/CatalogWriter.h"
#include "catalog/Sha256.h"
#include "catalog/SqliteTransaction.h"
#include "common/RecordingName.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr uint64_t kFileBytes = 67108864;
constexpr int64_t kFileMs = 268435;  // 64 MiB at 250 kB/s
constexpr int64_t kKeyFrameMs = 2000;
constexpr int64_t kPictureMs = 40;
constexpr int64_t kDayMs = 86400000;
constexpr int kGoneFiles = 10;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

bool MakeSparse(const std::string& path, uint64_t bytes) {
    fs::create_directories(fs::path(path).parent_path());
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return false;
    const bool done = ftruncate(fd, static_cast<off_t>(bytes)) == 0;
    close(fd);
    return done;
}

struct Synthesis {
    int Files = 0;
    uint64_t VideoBytes = 0;
    std::vector<int64_t> DayStarts;
};

// Rows and sparse files of every camera and day; the last run dies at the end.
Synthesis Synthesize(const std::string& root, int days, int cameras) {
    Synthesis made;
    const LocalDate today = LocalDateOf(WallClockMs());
    for (int d = days; d >= 1; --d)
        made.DayStarts.push_back(LocalDayStartMs(today.Year, today.Month, today.Day - d));
    const CCatalogStore::LogFn log = [](const std::string& line) {
        std::printf("%s\n", line.c_str());
    };
    const std::unique_ptr<CCatalogStore> store = CCatalogStore::Open(root, log, WallClockMs());
    const auto lock = store->LockWriter();
    std::mt19937 random(7);
    std::uniform_int_distribution<int64_t> jitterBytes(-20000, 20000);
    std::uniform_int_distribution<int64_t> jitterMs(0, kPictureMs - 1);
    for (size_t d = 0; d < made.DayStarts.size(); ++d) {
        const bool lastDay = d + 1 == made.DayStarts.size();
        const int64_t dayStart = made.DayStarts[d];
        const int64_t dayEnd = lastDay ? dayStart + kDayMs / 2 : dayStart + kDayMs;
        store->BeginRun(dayStart);
        CSqliteTransaction transaction(store->Writer());
        CCatalogWriter writer(store->Writer());
        for (int c = 0; c < cameras; ++c) {
            const std::string camera = "cam" + std::to_string(c + 1);
            for (int64_t start = dayStart; start < dayEnd; start += kFileMs) {
                const bool crashed = lastDay && start + kFileMs >= dayEnd;
                const std::string path = RecordingName::Path(root, camera, LocalTimeAt(start));
                const std::string rel = path.substr(root.size() + 1);
                const uint64_t bytes = crashed ? kFileBytes / 2 : kFileBytes;
                const bool gone = made.Files < kGoneFiles;
                if (!gone && !MakeSparse(path, bytes)) {
                    std::fprintf(stderr, "cannot make %s\n", path.c_str());
                    std::exit(1);
                }
                std::vector<CatalogKeyFrame> keys;
                const int64_t spanMs = crashed ? kFileMs / 4 : kFileMs;
                const uint64_t keyBytes = kFileBytes * kKeyFrameMs / kFileMs;
                for (int64_t at = 0; at < spanMs; at += kKeyFrameMs) {
                    const uint64_t offset =
                        at == 0 ? 0 : at / kKeyFrameMs * keyBytes + jitterBytes(random);
                    keys.push_back({offset, start + at + jitterMs(random)});
                }
                const uint32_t pictures = static_cast<uint32_t>(spanMs / kPictureMs);
                writer.FileStarted(rel, start, store->RunId());
                if (crashed) {
                    writer.FileGrew(rel, keys.back().Offset, pictures, start + spanMs, keys,
                                    store->RunId());
                } else {
                    FileSeal seal;
                    CSha256 sha;
                    sha.Update(rel.data(), rel.size());
                    seal.Sha = sha.Final();
                    seal.Bytes = bytes;
                    writer.FileFinished(rel, bytes, pictures, start + kFileMs, keys, store->RunId(),
                                        seal, start + kFileMs + 500);
                }
                ++made.Files;
                made.VideoBytes += bytes;
            }
            writer.GapNoted(camera, dayStart + 3 * 3600000, dayStart + 3 * 3600000 + 10000,
                            RecordingGapCause::CameraAbsent);
            writer.GapNoted(camera, dayStart + 15 * 3600000, dayStart + 15 * 3600000 + 5000,
                            RecordingGapCause::DiskFull);
        }
        store->Heartbeat(dayEnd);
        transaction.Commit();
        if (!lastDay) store->EndRun(dayEnd);
    }
    return made;  // the last run is never ended: it crashed
}

// Drops the database's pages from the page cache, so that what follows reads them from
// the disk as after a reboot (the folders' entries stay cached).
void EvictDatabase(const std::string& root) {
    for (const char* suffix : {"", "-wal"}) {
        const int fd = open((root + "/OrvexCatalog.sqlite3" + suffix).c_str(), O_RDONLY);
        if (fd < 0) continue;
        fdatasync(fd);
        posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        close(fd);
    }
}

uint64_t DatabaseBytes(const std::string& root) {
    uint64_t total = 0;
    for (const char* suffix : {"", "-wal"}) {
        std::error_code error;
        const uintmax_t size = fs::file_size(root + "/OrvexCatalog.sqlite3" + suffix, error);
        if (!error) total += size;
    }
    return total;
}

}  // namespace

int main(int argc, char** argv) {
    std::string root;
    bool madeFolder = false;
    if (argc > 1 && argv[1][0] != '\0') {
        root = argv[1];
        fs::create_directories(root);
    } else {
        char pattern[] = "/tmp/orvex-catalog-bench-XXXXXX";
        if (mkdtemp(pattern) == nullptr) return 1;
        root = pattern;
        madeFolder = true;
    }
    const int days = argc > 2 ? std::atoi(argv[2]) : 30;
    const int cameras = argc > 3 ? std::atoi(argv[3]) : 4;

    auto begin = Clock::now();
    const Synthesis made = Synthesize(root, days, cameras);
    std::printf(
        "catalogued %d files (%.2f TB of video, sparse) of %d cameras over %d days under %s in "
        "%.1f s\n",
        made.Files, made.VideoBytes / 1e12, cameras, days, root.c_str(),
        Ms(Clock::now() - begin) / 1000);

    CCatalog::Options options;
    options.IndexInBackground = false;
    options.Log = [](const std::string& line) { std::printf("  log:%s\n", line.c_str()); };
    CCatalog catalog(options);
    EvictDatabase(root);
    begin = Clock::now();
    const ReconcileReport report = catalog.Open(root);
    const double reconcileMs = Ms(Clock::now() - begin);
    std::printf(
        "reconciliation at the start after the crash: %.0f ms (target 10000 ms): %d on disk, "
        "%d brought up to their file, %d sealed as cut short, %d rows dropped\n",
        reconcileMs, report.OnDisk, report.Extended, report.Sealed, report.Dropped);

    EvictDatabase(root);
    std::vector<double> times;
    size_t files = 0, gaps = 0;
    for (int c = 0; c < cameras; ++c) {
        const std::string camera = "cam" + std::to_string(c + 1);
        for (const int64_t dayStart : made.DayStarts) {
            const auto start = Clock::now();
            files += catalog.Files(camera, dayStart, dayStart + kDayMs).size();
            gaps += catalog.Gaps(camera, dayStart, dayStart + kDayMs).size();
            times.push_back(Ms(Clock::now() - start));
        }
    }
    const double first = times.front();
    std::sort(times.begin(), times.end());
    std::printf(
        "a day's timeline (Files + Gaps of one camera and day), %zu queries: median %.2f ms, "
        "worst %.2f ms, first %.2f ms (target 50 ms); %.1f files and %.1f gaps a day\n",
        times.size(), times[times.size() / 2], times.back(), first,
        static_cast<double>(files) / times.size(), static_cast<double>(gaps) / times.size());
    const std::vector<CatalogFile> one =
        catalog.Files("cam1", made.DayStarts[0], made.DayStarts[0] + kDayMs);
    begin = Clock::now();
    const size_t keys = one.empty() ? 0 : catalog.KeyFrames(one[one.size() / 2].Id).size();
    std::printf("key frames of one file: %zu in %.2f ms\n", keys, Ms(Clock::now() - begin));
    catalog.Close();

    begin = Clock::now();
    {
        CCatalog again(options);
        again.Open(root);
    }
    std::printf("a clean start's reconciliation: %.0f ms\n", Ms(Clock::now() - begin));

    const uint64_t database = DatabaseBytes(root);
    std::printf("catalog %.1f MiB for %.2f TB of video: %.4f %% (target 0.1 %%)\n",
                database / 1048576.0, made.VideoBytes / 1e12, 100.0 * database / made.VideoBytes);
    if (madeFolder) {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
    return 0;
}
