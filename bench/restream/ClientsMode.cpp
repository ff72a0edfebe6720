#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

#include "BenchRig.h"
#include "ClientProcess.h"
#include "ClientShare.h"
#include "Modes.h"
#include "ProcessStats.h"
#include "platform/LocalTime.h"

namespace {

using Clock = std::chrono::steady_clock;

// The encoders and recorders settle before anything is measured.
constexpr auto kSettle = std::chrono::seconds(5);
// Every client has connected and received its first pictures by then.
constexpr auto kClientsConnect = std::chrono::seconds(5);
constexpr double kShareAimPercent = 99.9;
constexpr double kCpuAimPercentPerClient = 2.0;

struct CpuSpan {
    double Cpu = 0;
    double Wall = 0;
    double Share() const { return Wall > 0 ? Cpu / Wall : 0; }
};

CpuSpan Measure(int seconds) {
    const double cpu = CpuSeconds();
    const auto begin = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    return CpuSpan{CpuSeconds() - cpu, std::chrono::duration<double>(Clock::now() - begin).count()};
}

}  // namespace

int RunClientsMode(int seconds) {
    CBenchRig rig;
    const std::string failure = rig.Start();
    if (!failure.empty()) {
        std::fprintf(stderr, "%s\n", failure.c_str());
        return 1;
    }
    std::printf(
        "clients: 4 simulated cameras 640x480@30 recording, server on 127.0.0.1:%d, "
        "%d s without clients then %d s with 16\n",
        rig.Port(), seconds, seconds);
    PrintLoad("at start");
    std::this_thread::sleep_for(kSettle);
    const CpuSpan idle = Measure(seconds);
    std::printf("without clients: CPU %.2f s in %.1f s (%.1f%% of one core)\n", idle.Cpu, idle.Wall,
                100.0 * idle.Share());
    PrintLoad("after the run without clients");

    const std::string clientFolder = rig.Folder() + "/clients";
    std::filesystem::create_directories(clientFolder);
    std::vector<std::unique_ptr<CClientProcess>> clients;
    for (int camera = 1; camera <= CBenchRig::kCameras; ++camera) {
        for (int i = 0; i < 4; ++i) {
            const auto kind =
                i < 2 ? CClientProcess::Kind::FFmpeg : CClientProcess::Kind::GStreamer;
            const std::string name = "cam" + std::to_string(camera) + (i < 2 ? "-ffmpeg" : "-gst") +
                                     std::to_string(i % 2 + 1);
            clients.push_back(
                std::make_unique<CClientProcess>(kind, rig.Url(camera, true), clientFolder, name));
            if (!clients.back()->Start()) std::fprintf(stderr, "%s did not start\n", name.c_str());
        }
    }
    std::this_thread::sleep_for(kClientsConnect);
    const CpuSpan busy = Measure(seconds);
    PrintLoad("after the run with 16 clients");
    for (auto& client : clients) client->Stop();

    const double perClient = (busy.Share() - idle.Share()) / static_cast<double>(clients.size());
    std::printf("with 16 clients: CPU %.2f s in %.1f s (%.1f%% of one core)\n", busy.Cpu, busy.Wall,
                100.0 * busy.Share());
    std::printf("CPU added per client: %.2f%% of one core (aim <= %.1f%%)\n", 100.0 * perClient,
                kCpuAimPercentPerClient);

    bool met = 100.0 * perClient <= kCpuAimPercentPerClient;
    double worst = 100.0;
    for (const auto& client : clients) {
        const int camera = client->Name()[3] - '0';
        const std::vector<uint64_t> slices = client->Slices();
        const ClientShare share =
            MeasureShare(rig.Tap(camera), slices, client->StartWallMs(), client->StopWallMs());
        worst = std::min(worst, share.Percent());
        std::printf(
            "  %-14s slices %6zu: %6d of the %6d units from its first to its last "
            "(%.3f%%), unmatched %d; units in its lifetime %d (received %.1f%% of them), "
            "%lld ms behind at its stop%s%s\n",
            client->Name().c_str(), slices.size(), share.Received, share.Expected, share.Percent(),
            share.Unmatched, share.Lifetime,
            share.Lifetime > 0 ? 100.0 * share.Received / share.Lifetime : 0.0,
            static_cast<long long>(share.BehindMs), slices.empty() ? "; errors: " : "",
            slices.empty() ? client->Errors().c_str() : "");
        PrintGaps(share);
    }
    met = met && worst >= kShareAimPercent;
    std::printf("worst client share %.3f%% (aim >= %.1f%%)\n", worst, kShareAimPercent);

    uint64_t dropped = 0;
    for (int camera = 1; camera <= CBenchRig::kCameras; ++camera) {
        const CRecordingTap& tap = rig.Tap(camera);
        std::printf(
            "  cam%d: tap units %d (distinct slices %d), recorder wrote %llu bytes, "
            "dropped %llu\n",
            camera, tap.Count(), tap.DistinctHashes(),
            static_cast<unsigned long long>(rig.WrittenBytes(camera)),
            static_cast<unsigned long long>(rig.DroppedBytes(camera)));
        dropped += rig.DroppedBytes(camera);
    }
    std::printf("recorders dropped %llu bytes in all (aim 0); server refusals logged: %d\n",
                static_cast<unsigned long long>(dropped), rig.LogLines("拒绝"));
    rig.Stop();
    return met && dropped == 0 ? 0 : 2;
}
