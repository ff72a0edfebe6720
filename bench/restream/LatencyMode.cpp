#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "BenchRig.h"
#include "LatencyClient.h"
#include "Modes.h"
#include "ProcessStats.h"

namespace {

constexpr auto kSettle = std::chrono::seconds(5);
constexpr int kFirstPictureTimeoutMs = 10000;
constexpr double kDelayAimMs = 300;
constexpr double kFirstPictureAimMs = 2000;

void PrintStats(const char* what, std::vector<double> values, const char* unit) {
    std::printf("%s: n %zu, median %.0f %s, p90 %.0f %s, worst %.0f %s\n", what, values.size(),
                Percentile(values, 50), unit, Percentile(values, 90), unit, Percentile(values, 100),
                unit);
}

}  // namespace

int RunLatencyMode(int seconds, int connects, int jitterMs) {
    CBenchRig rig;
    const std::string failure = rig.Start();
    if (!failure.empty()) {
        std::fprintf(stderr, "%s\n", failure.c_str());
        return 1;
    }
    std::printf(
        "latency: 4 simulated cameras 640x480@30 recording; one decoding client "
        "(rtspsrc latency=%d, TCP, avdec_h264, appsink sync=false) on cam1 for %d s, "
        "then %d new connections\n",
        jitterMs, seconds, connects);
    PrintLoad("at start");
    std::this_thread::sleep_for(kSettle);

    std::vector<double> delays;
    std::vector<double> firstPictures;
    int unmatched = 0;
    int pictures = 0;
    bool allStarted = true;
    for (int session = 0; session <= connects; ++session) {
        const int camera = session % CBenchRig::kCameras + 1;
        CLatencyClient client(rig.Url(camera, false), CBenchRig::kUser, CBenchRig::kPassword,
                              rig.Tap(camera), jitterMs);
        const std::string error = client.Start();
        if (!error.empty() || !client.WaitFirstPicture(kFirstPictureTimeoutMs)) {
            std::printf("  session %d on cam%d: no picture within %d ms: %s\n", session, camera,
                        kFirstPictureTimeoutMs,
                        error.empty() ? client.Error().c_str() : error.c_str());
            allStarted = false;
            continue;
        }
        // The first session is the long one that the delays come from.
        std::this_thread::sleep_for(session == 0 ? std::chrono::seconds(seconds)
                                                 : std::chrono::seconds(2));
        client.Stop();
        firstPictures.push_back(static_cast<double>(client.FirstPictureMs()));
        const std::vector<double> live = client.LiveDelaysMs();
        delays.insert(delays.end(), live.begin(), live.end());
        unmatched += client.Unmatched();
        pictures += client.Pictures();
        std::vector<double> sessionDelays = live;
        std::printf(
            "  session %d on cam%d: first picture after %lld ms, %d pictures, %d of them "
            "from before the connection, %d not found at the tap, live delay median %.0f ms\n",
            session, camera, static_cast<long long>(client.FirstPictureMs()), client.Pictures(),
            client.Pictures() - static_cast<int>(live.size()) - client.Unmatched(),
            client.Unmatched(), Percentile(sessionDelays, 50));
    }
    PrintLoad("at the end");
    std::vector<double> sorted = delays;
    PrintStats("capture (tap) to decoded picture", delays, "ms");
    PrintStats("connect to first decoded picture", firstPictures, "ms");
    std::printf("decoded pictures %d, not found at the tap %d\n", pictures, unmatched);
    const double worstFirst = Percentile(firstPictures, 100);
    const bool met = allStarted && !delays.empty() && Percentile(sorted, 90) <= kDelayAimMs &&
                     worstFirst <= kFirstPictureAimMs;
    std::printf("aims: p90 delay <= %.0f ms, first picture <= %.0f ms: %s\n", kDelayAimMs,
                kFirstPictureAimMs, met ? "met" : "missed");
    rig.Stop();
    return met ? 0 : 2;
}
