// Pushes a stream in 4 KiB access units into a CRecorder and reports how fast it reaches the
// disk next to dd writing the same amount in the same folder, the time each Push
// takes on the pushing thread, and what the ring dropped.
//
//   recorder_bench [folder] [MiB] [paced MiB/s]
//   (defaults: a new folder under /tmp, 256 MiB, 100 MiB/s)
//
// Three kinds of run: "full" (best of 3) waits for room in the ring before each run (the recorder's
// sustained rate, nothing dropped); "free" pushes as fast as memcpy allows (its
// drops show how far any disk falls behind memcpy; its MiB/s means little); "paced"
// pushes at a steady rate, far above a camera's yet below what the recorder can
// take: its 5 ms sleep while less than a chunk waits lets at most about
// (4 MiB - 512 KiB) arrive per pass, some 700 MiB/s, before the ring overflows.
// The recorder fdatasyncs every few seconds while it writes; dd once at its end.
// Each run ends when Stop has returned and every file it wrote is fdatasync'ed,
// as dd's conv=fdatasync does for its file.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/MonitorApp.h"
#include "capture/Recorder.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr uint32_t kRunBytes = 4096;
constexpr uint64_t kKeyFrameEvery = 60;

// A run of kRunBytes shaped as an H.264 access unit: a delimiter, then SPS, PPS and
// an IDR slice, or a P slice; a payload without zero bytes holds no start code.
std::vector<uint8_t> AccessUnit(bool keyFrame) {
    std::vector<uint8_t> unit = {0, 0, 0, 1, 0x09, 0xF0};
    const std::vector<uint8_t> head =
        keyFrame
            ? std::vector<uint8_t>{0, 0, 0, 1, 0x67, 0x42, 0, 0, 0, 1, 0x68, 0xCE, 0, 0, 1, 0x65}
            : std::vector<uint8_t>{0, 0, 1, 0x41};
    unit.insert(unit.end(), head.begin(), head.end());
    for (size_t i = unit.size(); i < kRunBytes; ++i)
        unit.push_back(static_cast<uint8_t>(i * 131 % 255 + 1));
    return unit;
}

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}
double MiBps(uint64_t bytes, double seconds) {
    return bytes / 1048576.0 / seconds;
}

struct DdResult {
    double Seconds = 0;
    std::string Summary;  // dd's own last line
};

DdResult RunDd(const std::string& folder, uint64_t mib) {
    const std::string target = folder + "/dd.bin";
    const std::string command = "dd if=/dev/zero of='" + target +
                                "' bs=512K count=" + std::to_string(mib * 2) +
                                " conv=fdatasync 2>&1";
    DdResult result;
    const auto begin = Clock::now();
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return result;
    char line[512];
    while (std::fgets(line, sizeof line, pipe) != nullptr) result.Summary = line;
    pclose(pipe);
    result.Seconds = Seconds(Clock::now() - begin);
    while (!result.Summary.empty() && result.Summary.back() == '\n') result.Summary.pop_back();
    std::error_code ignored;
    fs::remove(target, ignored);
    return result;
}

void SyncFilesBelow(const std::string& folder) {
    std::error_code error;
    for (const auto& entry : fs::recursive_directory_iterator(folder, error)) {
        if (!entry.is_regular_file()) continue;
        const int fd = open(entry.path().c_str(), O_RDONLY);
        if (fd >= 0) {
            fdatasync(fd);
            close(fd);
        }
    }
}

struct RunResult {
    double Seconds = 0;
    uint64_t Written = 0;
    uint64_t Dropped = 0;
    std::vector<uint32_t> PushNs;
};

enum class Mode { Full, Free, Paced };

RunResult Run(const std::string& folder, uint64_t totalBytes, Mode mode,
              double pacedBytesPerSecond) {
    const std::string recordDir = folder + "/rec";
    // Each run is one access unit, a key frame every kKeyFrameEvery, so that after an
    // overflow the recorder resumes as it does with a camera.
    const std::vector<uint8_t> keyFrame = AccessUnit(true);
    const std::vector<uint8_t> picture = AccessUnit(false);

    RunResult result;
    result.PushNs.reserve(totalBytes / kRunBytes);
    CRecorder recorder("bench", [recordDir] { return recordDir; });
    if (recorder.Start() != 0) {
        std::fprintf(stderr, "recorder did not start under %s\n", recordDir.c_str());
        return result;
    }
    const auto begin = Clock::now();
    const auto interval =
        std::chrono::duration<double>(kRunBytes / std::max(1.0, pacedBytesPerSecond));
    for (uint64_t pushed = 0; pushed < totalBytes; pushed += kRunBytes) {
        if (mode == Mode::Full) {
            while (recorder.BufferedBytes() + kRunBytes > CRecorder::kRingBytes - 1) {
                // Sleep rather than spin: on a small machine a spinning pusher takes
                // the core the worker needs.
                std::this_thread::sleep_for(std::chrono::microseconds(50));
            }
        } else if (mode == Mode::Paced) {
            const auto due = begin + std::chrono::duration_cast<Clock::duration>(
                                         interval * static_cast<double>(pushed / kRunBytes));
            while (Clock::now() < due) {
            }
        }
        const auto t0 = Clock::now();
        const bool key = pushed / kRunBytes % kKeyFrameEvery == 0;
        recorder.Push(key ? keyFrame.data() : picture.data(), kRunBytes);
        const auto t1 = Clock::now();
        result.PushNs.push_back(static_cast<uint32_t>(
            std::chrono::duration_cast<std::chrono::nanoseconds>(t1 - t0).count()));
    }
    recorder.Stop();
    SyncFilesBelow(recordDir);
    result.Seconds = Seconds(Clock::now() - begin);
    result.Written = recorder.WrittenBytes();
    result.Dropped = recorder.DroppedBytes();
    std::error_code ignored;
    fs::remove_all(recordDir, ignored);
    return result;
}

double Percentile(std::vector<uint32_t> values, double fraction) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t at = std::min(values.size() - 1, static_cast<size_t>(fraction * values.size()));
    return values[at] / 1000.0;
}

void Report(const char* name, const RunResult& r, double ddMiBps) {
    const double rate = MiBps(r.Written, r.Seconds);
    std::printf(
        "%-6s %8.1f MiB/s to disk (%5.1f%% of dd)  written %10llu  dropped %10llu  "
        "push p50 %6.2f us  p99 %6.2f us  p99.9 %7.2f us  max %8.2f us\n",
        name, rate, 100.0 * rate / ddMiBps, static_cast<unsigned long long>(r.Written),
        static_cast<unsigned long long>(r.Dropped), Percentile(r.PushNs, 0.50),
        Percentile(r.PushNs, 0.99), Percentile(r.PushNs, 0.999), Percentile(r.PushNs, 1.0));
}

}  // namespace

int main(int argc, char** argv) {
    std::string folder;
    bool madeFolder = false;
    if (argc > 1 && argv[1][0] != '\0') {
        folder = argv[1];
        fs::create_directories(folder);
    } else {
        char pattern[] = "/tmp/orvex-recorder-bench-XXXXXX";
        if (mkdtemp(pattern) == nullptr) return 1;
        folder = pattern;
        madeFolder = true;
    }
    const uint64_t mib = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 256;
    const uint64_t totalBytes = mib * 1048576;

    CMonitorApp app(folder + "/bin/recorder_bench");  // its log goes to <folder>/bin/Log
    std::printf("folder %s, %llu MiB in %u-byte runs\n", folder.c_str(),
                static_cast<unsigned long long>(mib), kRunBytes);

    // dd and the full run alternate three times and the best of each counts, so a
    // burst of other work on a shared machine does not decide the comparison.
    DdResult dd;
    RunResult full;
    for (int round = 0; round < 3; ++round) {
        const DdResult ddRound = RunDd(folder, mib);
        if (round == 0 || ddRound.Seconds < dd.Seconds) dd = ddRound;
        RunResult fullRound = Run(folder, totalBytes, Mode::Full, 0);
        if (round == 0 || fullRound.Seconds < full.Seconds) full = std::move(fullRound);
    }
    const double ddMiBps = MiBps(totalBytes, dd.Seconds);
    std::printf("dd     %8.1f MiB/s (bs=512K conv=fdatasync, best of 3: %.2f s; dd says: %s)\n",
                ddMiBps, dd.Seconds, dd.Summary.c_str());
    Report("full", full, ddMiBps);
    const RunResult free = Run(folder, totalBytes, Mode::Free, 0);
    Report("free", free, ddMiBps);
    const double pacedRate = (argc > 3 ? std::strtod(argv[3], nullptr) : 100.0) * 1048576.0;
    const RunResult paced = Run(folder, totalBytes, Mode::Paced, pacedRate);
    std::printf("paced at %.1f MiB/s:\n", pacedRate / 1048576.0);
    Report("paced", paced, ddMiBps);

    const bool fastEnough = MiBps(full.Written, full.Seconds) >= 0.8 * ddMiBps;
    const bool pushQuick =
        Percentile(paced.PushNs, 0.99) < 50.0 && Percentile(free.PushNs, 0.99) < 50.0;
    std::printf("target: full >= 80%% of dd: %s; push p99 < 50 us: %s\n",
                fastEnough ? "met" : "MISSED", pushQuick ? "met" : "MISSED");

    if (madeFolder) {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
    return 0;
}
