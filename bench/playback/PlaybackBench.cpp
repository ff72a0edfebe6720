// Seek, first picture and export on the largest recording of a RecordDir, read through
// its catalog as the playback window reads it: from a seek to the picture of that time
// (median, 90th percentile and worst of random times), from opening to the first
// picture, and the export of the whole file to MP4.
// Usage: playback_bench <RecordDir> [seeks, default 30]
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <random>
#include <vector>

#include "catalog/Catalog.h"
#include "playback/Player.h"
#include "playback/SpanExport.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::seconds kBound{20};

// Counts the pictures shown and keeps the time of the last one.
class CShown : public IPlayerListener {
public:
    void OnPicture(int64_t timeMs) override {
        {
            std::lock_guard<std::mutex> lock(lock_);
            lastMs_ = timeMs;
            ++count_;
        }
        changed_.notify_all();
    }
    uint64_t Count() {
        std::lock_guard<std::mutex> lock(lock_);
        return count_;
    }
    // A picture at or after targetMs, shown after the first `after` pictures.
    bool WaitFor(int64_t targetMs, uint64_t after) {
        std::unique_lock<std::mutex> lock(lock_);
        return changed_.wait_for(lock, kBound,
                                 [&] { return count_ > after && lastMs_ >= targetMs; });
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    int64_t lastMs_ = -1;  // guarded by lock_
    uint64_t count_ = 0;   // guarded by lock_
};

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: playback_bench <RecordDir> [seeks]\n");
        return 2;
    }
    const int seeks = argc > 2 ? std::atoi(argv[2]) : 30;
    CCatalog catalog;
    catalog.Open(argv[1]);
    CatalogFile largest;
    std::string camera;
    for (const std::string& name : catalog.Cameras()) {
        for (const CatalogFile& file : catalog.Files(name, 0, INT64_MAX)) {
            if (file.Bytes > largest.Bytes) {
                largest = file;
                camera = name;
            }
        }
    }
    if (camera.empty()) {
        std::fprintf(stderr, "playback_bench: no recording in %s\n", argv[1]);
        return 1;
    }
    std::printf("file of %s: %.1f MiB, %.1f s\n", camera.c_str(), largest.Bytes / 1048576.0,
                (largest.EndMs - largest.StartMs) / 1000.0);

    CShown shown;
    CPlayer player(catalog, nullptr, &shown);
    const Clock::time_point opened = Clock::now();
    player.Open(camera, largest.StartMs);
    if (!shown.WaitFor(largest.StartMs, 0)) return 1;
    std::printf("first picture after opening: %.0f ms\n", MsSince(opened));

    std::mt19937_64 random(7);
    std::uniform_int_distribution<int64_t> times(largest.StartMs, largest.EndMs - 1000);
    std::vector<double> ms;
    for (int i = 0; i < seeks; ++i) {
        const int64_t target = times(random);
        const uint64_t before = shown.Count();
        const Clock::time_point start = Clock::now();
        player.Seek(target);
        if (!shown.WaitFor(target, before)) {
            std::fprintf(stderr, "playback_bench: no picture of %lld\n",
                         static_cast<long long>(target));
            return 1;
        }
        ms.push_back(MsSince(start));
    }
    std::sort(ms.begin(), ms.end());
    std::printf(
        "seek to the picture of a time, %d seeks: median %.0f ms, 90%% %.0f ms, worst %.0f ms"
        " (target <= 300 ms median)\n",
        seeks, ms[ms.size() / 2], ms[ms.size() * 9 / 10], ms.back());

    const std::string out =
        (std::filesystem::temp_directory_path() / "playback_bench.mp4").string();
    const Clock::time_point exporting = Clock::now();
    const SpanExportResult result =
        SpanExport::Export(catalog, {camera, largest.StartMs, largest.EndMs, out});
    std::printf("export of %.1f s: %.0f ms, %s\n", (largest.EndMs - largest.StartMs) / 1000.0,
                MsSince(exporting),
                result.Status == SpanExportStatus::Written ? "written" : result.Reason.c_str());
    std::remove(out.c_str());
    std::remove((out + ".sha256").c_str());
    return 0;
}
