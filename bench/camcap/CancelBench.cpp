// How cheap it is to end an opening from another thread: a simulated camera that opens
// and never delivers is opened on a worker (CameraCap_OpenReserved) and closed from
// this thread, as the user-interface thread does, a while into the opening. Reports
// how long CameraCap_Close took (target: a few milliseconds, since the user-interface
// thread calls it) and how long after it the opening returned kCameraCapCancelled
// (target: about 100 ms).
//
//   camcap_cancel_bench [rounds]      (default 20)
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <future>
#include <thread>
#include <vector>

#include "camcap/CameraCapTesting.h"
#include "capture/CameraCap.h"

namespace {

constexpr int kDefaultRounds = 20;
constexpr auto kIntoTheOpening = std::chrono::milliseconds(300);

double Ms(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

void PrintSpread(const char* what, std::vector<double> ms) {
    if (ms.empty()) return;
    std::sort(ms.begin(), ms.end());
    std::printf("%-40s median %7.2f ms, worst %7.2f ms, best %7.2f ms\n", what, ms[ms.size() / 2],
                ms.back(), ms.front());
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : kDefaultRounds;
    setenv("ORVEX_SIMULATED_CAMERAS", "1", 1);
    DeviceInfo devices[kMaxDevices];
    int32_t count = 0;
    CameraCap_EnumDevice(devices, &count);  // loads GStreamer before anything is timed
    CameraCapTest_SimulatedStall(0, 1);
    DeviceInfo record;
    ZeroDeviceInfo(record);
    SetDeviceName(record.DeviceName, "Simulated Camera 1");
    SetDeviceName(record.CustomDeviceName, "Simulated Camera 1");

    std::vector<double> closes, endings;
    int cancelled = 0;
    for (int i = 0; i < rounds; ++i) {
        const int32_t handle = CameraCap_Reserve();
        auto opening = std::async(std::launch::async, [&] {
            const int32_t result =
                CameraCap_OpenReserved(handle, nullptr, &record, nullptr, nullptr, nullptr);
            return std::make_pair(result, std::chrono::steady_clock::now());
        });
        std::this_thread::sleep_for(kIntoTheOpening);
        const auto start = std::chrono::steady_clock::now();
        CameraCap_Close(handle);
        const auto closed = std::chrono::steady_clock::now();
        const auto [result, returned] = opening.get();
        closes.push_back(Ms(closed - start));
        endings.push_back(Ms(returned - start));
        cancelled += result == kCameraCapCancelled ? 1 : 0;
    }
    CameraCapTest_SimulatedReset();
    std::printf("%d openings of a stalled camera closed %lld ms in; %d ended cancelled\n", rounds,
                static_cast<long long>(kIntoTheOpening.count()), cancelled);
    PrintSpread("CameraCap_Close", closes);
    PrintSpread("opening returned, after the close began", endings);
    return cancelled == rounds ? 0 : 1;
}
