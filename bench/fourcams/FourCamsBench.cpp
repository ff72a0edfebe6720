// Opens four simulated 640x480 cameras at 30 frames per second through camera
// channels, all recording, for a while, then reports per camera the bytes that
// reached the recording files, the bytes the ring dropped, the frames shown, and
// the process's CPU use.
//
//   fourcams_bench [seconds] [folder] [off|catalog]
//   (defaults: 60 s, a new folder under /tmp; "off" opens the cameras without
//   recording, to see what recording itself costs; "catalog" records with the catalog
//   of recordings told of the files, and counts its CPU until it has written and
//   hashed all it was told)
#include <stdlib.h>
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/MonitorApp.h"
#include "capture/CameraCap.h"
#include "capture/CameraChannel.h"
#include "capture/Recorder.h"
#include "catalog/Catalog.h"
#include "common/Messages.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kCameras = 4;

// Copies each frame as a video cell would, and counts them.
class CCellTarget : public IFrameTarget {
public:
    void OnFrame(const VideoFrame& frame) override {
        const size_t bytes = static_cast<size_t>(frame.Stride) * frame.Height;
        if (frame.Pixels != nullptr && bytes > 0) {
            if (copy_.size() != bytes) copy_.resize(bytes);
            std::memcpy(copy_.data(), frame.Pixels, bytes);
        }
        frames_.fetch_add(1, std::memory_order_relaxed);
    }
    int Frames() const { return frames_.load(std::memory_order_relaxed); }

private:
    std::vector<uint8_t> copy_;  // the library's delivering thread only
    std::atomic<int> frames_{0};
};

// Counts and frees what is posted to it: the library's notices and the log lines.
class CCountingWindow : public IWindowHandle {
public:
    bool Post(unsigned message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_LOG_TEXT && lParam == 1) notices_.fetch_add(1);
        FreeMessagePayload(message, wParam, lParam);
        return true;
    }
    bool IsAlive() const override { return true; }
    int Notices() const { return notices_.load(); }

private:
    std::atomic<int> notices_{0};
};

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// CPU seconds of this process's threads named name (their comm), from /proc.
double ThreadCpuSeconds(const char* name) {
    double total = 0;
    std::error_code error;
    for (const auto& task : fs::directory_iterator("/proc/self/task", error)) {
        std::FILE* file = std::fopen((task.path() / "stat").c_str(), "r");
        if (file == nullptr) continue;
        char line[1024] = {};
        const size_t n = std::fread(line, 1, sizeof line - 1, file);
        std::fclose(file);
        line[n] = '\0';
        // "tid (comm) state ..." : utime and stime are the 14th and 15th fields.
        const char* open = std::strchr(line, '(');
        const char* close = std::strrchr(line, ')');
        if (open == nullptr || close == nullptr) continue;
        if (std::string(open + 1, close) != name) continue;
        unsigned long long user = 0, system = 0;
        if (std::sscanf(close + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &user,
                        &system) == 2)
            total += static_cast<double>(user + system) / sysconf(_SC_CLK_TCK);
    }
    return total;
}

uint64_t BytesBelow(const std::string& folder) {
    uint64_t total = 0;
    std::error_code error;
    for (const auto& entry : fs::recursive_directory_iterator(folder, error)) {
        if (entry.is_regular_file()) total += entry.file_size();
    }
    return total;
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    const bool record = !(argc > 3 && std::strcmp(argv[3], "off") == 0);
    const bool withCatalog = argc > 3 && std::strcmp(argv[3], "catalog") == 0;
    std::string folder;
    bool madeFolder = false;
    if (argc > 2 && argv[2][0] != '\0') {
        folder = argv[2];
        fs::create_directories(folder);
    } else {
        char pattern[] = "/tmp/orvex-fourcams-bench-XXXXXX";
        if (mkdtemp(pattern) == nullptr) return 1;
        folder = pattern;
        madeFolder = true;
    }
    setenv("ORVEX_SIMULATED_CAMERAS", std::to_string(kCameras).c_str(), 1);
    setenv("GST_REGISTRY", (folder + "/gst-registry.bin").c_str(), 0);

    CCountingWindow mainWindow;
    auto app = std::make_unique<CMonitorApp>(folder + "/bin/fourcams_bench");
    AppSettings settings = app->Settings();
    settings.RecordDir = folder + "/rec";
    app->SetSettings(settings);
    app->SetMainWindow(&mainWindow);

    DeviceInfo devices[kMaxDevices];
    int32_t count = 0;
    CameraCap_EnumDevice(devices, &count);
    if (count < kCameras) {
        std::fprintf(stderr, "only %d cameras listed\n", count);
        return 1;
    }
    std::vector<DeviceInfo> records(devices + count - kCameras, devices + count);
    for (int i = 0; i < kCameras; ++i) {
        records[i].RecordFlag = record ? 1 : 0;
        SetDeviceName(records[i].CustomDeviceName, ("cam" + std::to_string(i + 1)).c_str());
    }

    // Opened before the clock starts, as the program opens it before the window.
    CCatalog catalog;
    if (withCatalog) catalog.Open(settings.RecordDir);

    std::vector<CCellTarget> cells(kCameras);
    std::vector<std::unique_ptr<CCameraChannel>> channels;
    const double cpuBefore = CpuSeconds();
    const auto begin = Clock::now();
    for (int i = 0; i < kCameras; ++i) {
        channels.push_back(std::make_unique<CCameraChannel>(
            [&app] { return app->Settings().RecordDir; }, withCatalog ? &catalog : nullptr));
        if (channels.back()->Open(&cells[i], &records[i], &mainWindow) != 1) {
            std::fprintf(stderr, "%s did not open\n", records[i].DeviceName);
        }
    }
    std::this_thread::sleep_for(std::chrono::seconds(seconds));

    std::vector<uint64_t> dropped(kCameras, 0);
    for (int i = 0; i < kCameras; ++i) {
        if (const CRecorder* recorder = channels[i]->Recorder())
            dropped[i] = recorder->DroppedBytes();
        channels[i]->Close();
    }
    if (withCatalog && !catalog.Flush(std::chrono::seconds(60)))
        std::fprintf(stderr, "the catalog did not write everything within 60 s\n");
    const double wall = std::chrono::duration<double>(Clock::now() - begin).count();
    const double cpu = CpuSeconds() - cpuBefore;
    const double catalogCpu = withCatalog ? ThreadCpuSeconds("orvex-catalog") : 0;

    std::printf("%d cameras 640x480@30 %s for %.1f s under %s\n", kCameras,
                !record       ? "not recording"
                : withCatalog ? "recording with the catalog"
                              : "recording",
                wall, folder.c_str());
    uint64_t totalWritten = 0, totalDropped = 0;
    for (int i = 0; i < kCameras; ++i) {
        const uint64_t written = BytesBelow(folder + "/rec/cam" + std::to_string(i + 1));
        totalWritten += written;
        totalDropped += dropped[i];
        std::printf("  %-20s written %11llu bytes (%7.1f kB/s)  dropped %llu  frames shown %d\n",
                    records[i].DeviceName, static_cast<unsigned long long>(written),
                    written / wall / 1000.0, static_cast<unsigned long long>(dropped[i]),
                    cells[i].Frames());
    }
    std::printf("total written %llu bytes, dropped %llu bytes (target 0)\n",
                static_cast<unsigned long long>(totalWritten),
                static_cast<unsigned long long>(totalDropped));
    std::printf("CPU %.2f s in %.1f s: %.3f CPU s per s (%.1f%% of one core), %.3f per camera\n",
                cpu, wall, cpu / wall, 100.0 * cpu / wall, cpu / wall / kCameras);
    if (withCatalog) {
        std::printf("of it the catalog's thread %.3f s (%.2f%%): without it %.3f CPU s per s\n",
                    catalogCpu, 100.0 * catalogCpu / cpu, (cpu - catalogCpu) / wall);
    }
    std::printf("library notices: %d\n", mainWindow.Notices());

    channels.clear();
    catalog.Close();
    app->SetMainWindow(nullptr);
    app.reset();
    if (madeFolder) {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
    return totalDropped == 0 ? 0 : 2;
}
