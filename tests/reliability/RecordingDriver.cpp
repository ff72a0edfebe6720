// A small recording program for the reliability tests and the soak script: opens
// simulated cameras through camera channels, all recording, as the main window's
// cells do, and records until it is killed, stopped (SIGTERM, SIGINT) or its time
// is up. Every 20 ms it appends one line per camera to a journal with write(2), so
// that a kill -9 leaves every earlier line in the file:
//
//   <steady ns> <camera> <stored> <written> <synced> <dropped>
//
// and "ready <steady ns>" once every camera is open; with --retention also
//
//   space <steady ns> <free bytes on RecordDir's file system>
//
// every 20 ms. The log goes to
// <folder>/bin/Log, recordings to <folder>/rec unless --record-dir says otherwise.
//
//   reliability_driver <folder> <seconds, 0 = until stopped> <camera 1..10>...
//                      [--record-dir <dir>] [--retention <reserve MiB> <check ms>]
//                      [--reopen <seconds>]
//
// --reopen closes and opens every camera again that often, as an operator may, so
// that recordings are closed and the retention may delete them on a small disk. A
// camera that does not open then (a loaded machine can hold its first picture back
// past the capture library's time-out) is journaled as "open-failed <camera>" and
// tried again at the next reopening.
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/MonitorApp.h"
#include "capture/CameraCap.h"
#include "capture/CameraChannel.h"
#include "capture/Recorder.h"
#include "capture/Retention.h"
#include "capture/UniqueFd.h"
#include "common/Messages.h"

namespace {

constexpr auto kSampleInterval = std::chrono::milliseconds(20);

volatile std::sig_atomic_t gStop = 0;

void OnStopSignal(int) {
    gStop = 1;
}

// The main window stand-in: frees what is posted to it, after printing the capture
// library's notices (why a camera did not open) to stderr.
class CDiscardingWindow : public IWindowHandle {
public:
    bool Post(unsigned message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_LOG_TEXT && lParam == 1 && wParam != 0) {
            std::fprintf(stderr, "%s\n", reinterpret_cast<const char*>(wParam));
        }
        FreeMessagePayload(message, wParam, lParam);
        return true;
    }
    bool IsAlive() const override { return true; }
};

class CNullTarget : public IFrameTarget {
public:
    void OnFrame(const VideoFrame&) override {}
};

long long SteadyNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void Append(const CUniqueFd& journal, const std::string& line) {
    if (write(journal.Get(), line.data(), line.size()) < 0) std::perror("journal");
}

void Sample(const CUniqueFd& journal, int camera, const CRecorder* recorder) {
    char line[160];
    std::snprintf(line, sizeof line, "%lld %d %llu %llu %llu %llu\n", SteadyNs(), camera,
                  recorder ? static_cast<unsigned long long>(recorder->StoredBytes()) : 0ull,
                  recorder ? static_cast<unsigned long long>(recorder->WrittenBytes()) : 0ull,
                  recorder ? static_cast<unsigned long long>(recorder->SyncedBytes()) : 0ull,
                  recorder ? static_cast<unsigned long long>(recorder->DroppedBytes()) : 0ull);
    Append(journal, line);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr,
                     "usage: %s <folder> <seconds> <camera>... [--record-dir <dir>] "
                     "[--retention <reserve MiB> <check ms>] [--reopen <seconds>]\n",
                     argv[0]);
        return 1;
    }
    const std::string folder = argv[1];
    const int seconds = std::atoi(argv[2]);
    std::vector<int> cameras;
    std::string recordDir = folder + "/rec";
    std::unique_ptr<CRetention> retention;
    int reopenSeconds = 0;
    for (int i = 3; i < argc; ++i) {
        if (std::strcmp(argv[i], "--record-dir") == 0 && i + 1 < argc) {
            recordDir = argv[++i];
        } else if (std::strcmp(argv[i], "--retention") == 0 && i + 2 < argc) {
            CRetention::Options options;
            options.Policy = [&recordDir] {
                return CRetention::Policy{recordDir, AppSettings::kDefaultRecordSaveDay};
            };
            options.MinReserveBytes = std::strtoull(argv[i + 1], nullptr, 10) << 20;
            options.SpaceCheckInterval = std::chrono::milliseconds(std::atoi(argv[i + 2]));
            retention = std::make_unique<CRetention>(options);
            i += 2;
        } else if (std::strcmp(argv[i], "--reopen") == 0 && i + 1 < argc) {
            reopenSeconds = std::atoi(argv[++i]);
        } else {
            cameras.push_back(std::atoi(argv[i]));
        }
    }
    std::signal(SIGTERM, OnStopSignal);
    std::signal(SIGINT, OnStopSignal);
    setenv("ORVEX_SIMULATED_CAMERAS", "10", 1);

    CDiscardingWindow mainWindow;
    auto app = std::make_unique<CMonitorApp>(folder + "/bin/reliability_driver");
    AppSettings settings = app->Settings();
    settings.RecordDir = recordDir;
    app->SetSettings(settings);
    app->SetMainWindow(&mainWindow);
    const CUniqueFd journal(
        open((folder + "/journal.txt").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
    if (!journal) {
        std::perror("journal");
        return 1;
    }

    // The sampler reads only the recorders' counters, which any thread may read;
    // a recorder is published to it once its channel's Open has returned.
    std::mutex lock;
    std::vector<std::pair<int, const CRecorder*>> recorders;  // guarded by lock
    std::atomic<bool> sampling{true};
    const bool sampleSpace = retention != nullptr;
    std::thread sampler([&] {
        auto next = std::chrono::steady_clock::now();
        while (sampling.load()) {
            {
                std::lock_guard<std::mutex> guard(lock);
                for (const auto& [camera, recorder] : recorders) {
                    if (recorder != nullptr) Sample(journal, camera, recorder);
                }
            }
            if (sampleSpace) {
                const CRetention::DiskSpace space = CRetention::StatDiskSpace(recordDir);
                if (space.Known) {
                    Append(journal, "space " + std::to_string(SteadyNs()) + " " +
                                        std::to_string(space.FreeBytes) + "\n");
                }
            }
            next += kSampleInterval;
            std::this_thread::sleep_until(next);
        }
    });

    DeviceInfo devices[kMaxDevices];
    int32_t count = 0;
    CameraCap_EnumDevice(devices, &count);
    CNullTarget video;
    std::vector<DeviceInfo> records;
    std::vector<std::unique_ptr<CCameraChannel>> channels;
    int result = 0;
    for (int camera : cameras) {
        const std::string name = "Simulated Camera " + std::to_string(camera);
        DeviceInfo* device = nullptr;
        for (int i = 0; i < count; ++i) {
            if (name == devices[i].DeviceName) device = &devices[i];
        }
        if (device == nullptr) {
            std::fprintf(stderr, "%s is not listed\n", name.c_str());
            result = 2;
            break;
        }
        device->RecordFlag = 1;
        SetDeviceName(device->CustomDeviceName, ("cam" + std::to_string(camera)).c_str());
        records.push_back(*device);
        // Nothing stored yet: the loss of a camera killed before its next sample is
        // counted from here.
        Sample(journal, camera, nullptr);
        channels.push_back(
            std::make_unique<CCameraChannel>([&app] { return app->Settings().RecordDir; }));
        if (channels.back()->Open(&video, device, &mainWindow) != 1) {
            std::fprintf(stderr, "%s did not open\n", name.c_str());
            if (reopenSeconds <= 0) {
                result = 2;
                break;
            }
            Append(journal, "open-failed " + std::to_string(camera) + "\n");
        }
        std::lock_guard<std::mutex> guard(lock);
        recorders.emplace_back(camera, channels.back()->Recorder());  // null when not open
    }
    if (result == 0) {
        if (retention) retention->Start();
        Append(journal, "ready " + std::to_string(SteadyNs()) + "\n");
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        auto nextReopen = std::chrono::steady_clock::now() + std::chrono::seconds(reopenSeconds);
        while (gStop == 0 && (seconds == 0 || std::chrono::steady_clock::now() < end)) {
            std::this_thread::sleep_for(kSampleInterval);  // a signal only sets a flag
            if (reopenSeconds <= 0 || std::chrono::steady_clock::now() < nextReopen) continue;
            for (size_t i = 0; i < channels.size(); ++i) {
                {
                    std::lock_guard<std::mutex> guard(lock);
                    recorders[i].second = nullptr;
                }
                channels[i]->Close();
                if (channels[i]->Open(&video, &records[i], &mainWindow) != 1) {
                    Append(journal, "open-failed " + std::to_string(recorders[i].first) + "\n");
                }
                std::lock_guard<std::mutex> guard(lock);
                recorders[i].second = channels[i]->Recorder();
            }
            nextReopen += std::chrono::seconds(reopenSeconds);
        }
    }
    sampling.store(false);
    sampler.join();
    if (retention) retention->Stop();
    channels.clear();  // each closes its camera, then stops its recorder
    app->SetMainWindow(nullptr);
    app.reset();
    return result;
}
