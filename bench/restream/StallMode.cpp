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
#include "RawRtspClient.h"

namespace {

constexpr auto kSettle = std::chrono::seconds(5);
constexpr auto kOthersConnect = std::chrono::seconds(4);
// A small receive buffer, so that the stall reaches the server within seconds instead
// of filling megabytes of loopback buffers first.
constexpr int kStallerReceiveBytes = 64 * 1024;
constexpr uint64_t kFirstMediaBytes = 100 * 1000;
constexpr int kMediaTimeoutMs = 5000;
constexpr int kDrainTimeoutMs = 15000;
constexpr int kEstablished = 1;
constexpr double kShareAimPercent = 99.9;
constexpr long kRssAimKiB = 20 * 1024;

}  // namespace

int RunStallMode(int stallSeconds) {
    CBenchRig rig;
    const std::string failure = rig.Start();
    if (!failure.empty()) {
        std::fprintf(stderr, "%s\n", failure.c_str());
        return 1;
    }
    std::printf(
        "stall: 4 simulated cameras 640x480@30 recording; on cam1 an ffmpeg and a "
        "gst-launch client, on cam2 an ffmpeg client, and a raw client on cam1 "
        "(receive buffer %d bytes) that stops reading for %d s\n",
        kStallerReceiveBytes, stallSeconds);
    PrintLoad("at start");
    std::this_thread::sleep_for(kSettle);

    const std::string clientFolder = rig.Folder() + "/clients";
    std::filesystem::create_directories(clientFolder);
    std::vector<std::unique_ptr<CClientProcess>> others;
    others.push_back(std::make_unique<CClientProcess>(
        CClientProcess::Kind::FFmpeg, rig.Url(1, true), clientFolder, "cam1-ffmpeg"));
    others.push_back(std::make_unique<CClientProcess>(CClientProcess::Kind::GStreamer,
                                                      rig.Url(1, true), clientFolder, "cam1-gst"));
    others.push_back(std::make_unique<CClientProcess>(
        CClientProcess::Kind::FFmpeg, rig.Url(2, true), clientFolder, "cam2-ffmpeg"));
    for (auto& other : others) other->Start();
    std::this_thread::sleep_for(kOthersConnect);

    CRawRtspClient staller(rig.Port(), CBenchRig::kUser, CBenchRig::kPassword, "127.0.0.1",
                           kStallerReceiveBytes);
    const int status = staller.Play("/cam1");
    const bool flowing = status == 200 && staller.ReadMedia(kFirstMediaBytes, kMediaTimeoutMs);
    std::printf("stalling client: PLAY answered %d, media %s; it reads nothing from now on\n",
                status, flowing ? "flowing" : "NOT flowing");
    const long rssBefore = RssKiB();
    long rssMost = rssBefore;
    int closedAfter = -1;
    for (int second = 1; second <= stallSeconds; ++second) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        rssMost = std::max(rssMost, RssKiB());
        const SocketState server = ServerSideSocket(rig.Port(), staller.LocalPort());
        if (closedAfter < 0 && server.State != kEstablished) closedAfter = second;
        if (second % 5 == 0 || second == closedAfter) {
            std::printf("  %2d s: RSS %ld KiB, server's socket state %d, send queue %llu bytes\n",
                        second, RssKiB(), server.State,
                        static_cast<unsigned long long>(server.SendQueueBytes));
        }
    }
    uint64_t drained = 0;
    const bool closed = staller.ReadUntilClosed(kDrainTimeoutMs, &drained);
    std::printf(
        "the server %s the stalled connection: its side left ESTABLISHED %s; reading "
        "again drained %llu bytes and %s\n",
        closed || closedAfter > 0 ? "closed" : "did NOT close",
        closedAfter > 0 ? ("after " + std::to_string(closedAfter) + " s").c_str() : "never",
        static_cast<unsigned long long>(drained),
        closed ? "reached the end of the stream"
               : ("was still receiving after " + std::to_string(kDrainTimeoutMs / 1000) + " s")
                     .c_str());
    staller.Close();
    const long rssAfter = RssKiB();
    for (auto& other : others) other->Stop();
    PrintLoad("at the end");

    bool met = rssMost - rssBefore <= kRssAimKiB;
    std::printf(
        "RSS before the stall %ld KiB, most during it %ld KiB (growth %.1f MiB, aim <= "
        "20 MiB), after it %ld KiB\n",
        rssBefore, rssMost, (rssMost - rssBefore) / 1024.0, rssAfter);
    for (const auto& other : others) {
        const int camera = other->Name()[3] - '0';
        const ClientShare share = MeasureShare(rig.Tap(camera), other->Slices(),
                                               other->StartWallMs(), other->StopWallMs());
        met = met && share.Percent() >= kShareAimPercent;
        std::printf(
            "  %-12s %6d of the %6d units from its first picture to its last (%.3f%%), "
            "unmatched %d, %lld ms behind at its stop\n",
            other->Name().c_str(), share.Received, share.Expected, share.Percent(), share.Unmatched,
            static_cast<long long>(share.BehindMs));
        PrintGaps(share);
    }
    uint64_t dropped = 0;
    for (int camera = 1; camera <= CBenchRig::kCameras; ++camera)
        dropped += rig.DroppedBytes(camera);
    std::printf("recorders dropped %llu bytes (aim 0)\n", static_cast<unsigned long long>(dropped));
    rig.Stop();
    return met && dropped == 0 && flowing ? 0 : 2;
}
