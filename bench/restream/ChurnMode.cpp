#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <thread>

#include "BenchRig.h"
#include "Modes.h"
#include "ProcessStats.h"
#include "RawRtspClient.h"

namespace {

constexpr auto kSettle = std::chrono::seconds(3);
// The server has closed every client it saw go by then.
constexpr auto kServerReaps = std::chrono::seconds(3);
// RSS and descriptors are noted at each tenth of the run; memory the allocator and
// GStreamer keep for reuse settles in the first half, so flat means the second half.
constexpr int kCheckpoints = 10;
constexpr int kMediaTimeoutMs = 5000;
constexpr int kCloseTimeoutMs = 3000;
// The server refuses an address after ten failed logins within a minute: wrong logins
// come from rotating loopback addresses, a few from each, so that the lockout never
// meets the connections that should succeed.
constexpr int kFailuresPerAddress = 4;
constexpr int kFailureAddresses = 200;
constexpr long kRssFlatKiB = 2 * 1024;

enum Kind {
    kPlayAndClose,
    kPlayAndTeardown,
    kPlayTwoCameras,
    kWrongPassword,
    kGarbageLine,
    kTruncated,
    kBadDigest,
    kUnknownPath,
    kBinaryJunk,
    kConnectOnly,
    kKinds
};
constexpr const char* kKindNames[kKinds] = {
    "play, then close",     "play, then TEARDOWN", "play another camera",    "wrong password (401)",
    "garbage request line", "truncated request",   "malformed Digest (401)", "unknown path (404)",
    "binary junk",          "connect and close"};

class CFailureAddresses {
public:
    std::string Next() {
        const int n = count_++ / kFailuresPerAddress % kFailureAddresses;
        return "127.0.0." + std::to_string(2 + n);
    }

private:
    int count_ = 0;
};

// True when the cycle went as a sound server answers it.
bool RunCycle(Kind kind, int cycle, int port, CFailureAddresses& addresses, std::mt19937& random) {
    const std::string path = "/cam" + std::to_string(cycle % CBenchRig::kCameras + 1);
    switch (kind) {
        case kPlayAndClose:
        case kPlayAndTeardown:
        case kPlayTwoCameras: {
            CRawRtspClient client(port, CBenchRig::kUser, CBenchRig::kPassword);
            const std::string played =
                kind == kPlayTwoCameras
                    ? "/cam" + std::to_string((cycle + 1) % CBenchRig::kCameras + 1)
                    : path;
            if (client.Play(played) != 200 || !client.ReadMedia(1, kMediaTimeoutMs)) return false;
            if (kind == kPlayAndTeardown) return client.Request("TEARDOWN", played) == 200;
            return true;
        }
        case kWrongPassword: {
            CRawRtspClient client(port, CBenchRig::kUser, "not-the-password", addresses.Next());
            return client.Request("DESCRIBE", path) == 401;
        }
        case kGarbageLine: {
            CRawRtspClient client(port, CBenchRig::kUser, CBenchRig::kPassword);
            uint64_t drained = 0;
            // Any answer or a close will do; the server must only stay up.
            return client.SendRaw("HELLO THERE\r\nx\r\n\r\n") &&
                   (client.ReadUntilClosed(kCloseTimeoutMs, &drained) || drained > 0);
        }
        case kTruncated: {
            CRawRtspClient client(port, CBenchRig::kUser, CBenchRig::kPassword);
            return client.SendRaw("DESCRIBE rtsp://127.0.0.1:" + std::to_string(port) + path +
                                  " RTSP/1.0\r\nCSeq: 1\r\nAccept: appl");
        }
        case kBadDigest: {
            CRawRtspClient client(port, CBenchRig::kUser, CBenchRig::kPassword, addresses.Next());
            const int status = client.Request(
                "DESCRIBE", path, "Authorization: Digest username=\"bench\", nonce\r\n", false);
            return status == 401 || status == 400;
        }
        case kUnknownPath: {
            CRawRtspClient client(port, CBenchRig::kUser, CBenchRig::kPassword);
            return client.Request("DESCRIBE", "/cam9") == 404;
        }
        case kBinaryJunk: {
            CRawRtspClient client(port, CBenchRig::kUser, CBenchRig::kPassword);
            std::string junk(512, '\0');
            for (char& c : junk) c = static_cast<char>(random() & 0xff);
            junk[0] = '$';  // as if it were interleaved media
            return client.SendRaw(junk);
        }
        case kConnectOnly:
        case kKinds:
            break;
    }
    return CRawRtspClient(port, CBenchRig::kUser, CBenchRig::kPassword).Connected();
}

}  // namespace

int RunChurnMode(int cycles, int onlyKind) {
    CBenchRig rig;
    const std::string failure = rig.Start();
    if (!failure.empty()) {
        std::fprintf(stderr, "%s\n", failure.c_str());
        return 1;
    }
    std::printf(
        "churn: 4 simulated cameras 640x480@30 recording; %d connections to "
        "127.0.0.1:%d, one after another, of %d kinds in turn\n",
        cycles, rig.Port(), static_cast<int>(kKinds));
    PrintLoad("at start");
    std::this_thread::sleep_for(kSettle);
    const long rssStart = RssKiB();
    const int fdStart = OpenDescriptors();
    long rssHalf = rssStart;
    int fdHalf = fdStart;
    uint64_t writtenHalf[CBenchRig::kCameras] = {};

    CFailureAddresses addresses;
    std::mt19937 random(20261208);
    int sound[kKinds] = {};
    int tried[kKinds] = {};
    const auto begin = std::chrono::steady_clock::now();
    for (int cycle = 0; cycle < cycles; ++cycle) {
        if (cycle > 0 && cycle % std::max(1, cycles / kCheckpoints) == 0) {
            std::printf("  after %4d cycles: RSS %ld KiB, %d descriptors\n", cycle, RssKiB(),
                        OpenDescriptors());
        }
        if (cycle == cycles / 2) {
            std::this_thread::sleep_for(kServerReaps);
            rssHalf = RssKiB();
            fdHalf = OpenDescriptors();
            for (int camera = 1; camera <= CBenchRig::kCameras; ++camera)
                writtenHalf[camera - 1] = rig.WrittenBytes(camera);
        }
        const Kind kind =
            static_cast<Kind>(onlyKind >= 0 && onlyKind < kKinds ? onlyKind : cycle % kKinds);
        ++tried[kind];
        if (RunCycle(kind, cycle, rig.Port(), addresses, random)) ++sound[kind];
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    std::this_thread::sleep_for(kServerReaps);
    const long rssEnd = RssKiB();
    const int fdEnd = OpenDescriptors();
    PrintLoad("at the end");

    std::printf("%d cycles in %.1f s; the server is still up\n", cycles, seconds);
    for (int kind = 0; kind < kKinds; ++kind) {
        std::printf("  %-24s %4d of %4d as expected\n", kKindNames[kind], sound[kind], tried[kind]);
    }
    bool grew = true;
    uint64_t dropped = 0;
    for (int camera = 1; camera <= CBenchRig::kCameras; ++camera) {
        const uint64_t written = rig.WrittenBytes(camera);
        grew = grew && written > writtenHalf[camera - 1];
        dropped += rig.DroppedBytes(camera);
    }
    std::printf(
        "RSS %ld KiB at start, %ld after %d cycles, %ld at the end (%+ld KiB in the second "
        "half, aim flat)\n",
        rssStart, rssHalf, cycles / 2, rssEnd, rssEnd - rssHalf);
    std::printf("open descriptors %d at start, %d halfway, %d at the end\n", fdStart, fdHalf,
                fdEnd);
    std::printf("recordings kept growing: %s; recorders dropped %llu bytes (aim 0)\n",
                grew ? "yes" : "NO", static_cast<unsigned long long>(dropped));
    std::printf("server log: %d failed logins, %d refusals\n", rig.LogLines("的登录失败"),
                rig.LogLines("拒绝"));
    rig.Stop();
    bool allSound = true;
    for (int kind = 0; kind < kKinds; ++kind) allSound = allSound && sound[kind] == tried[kind];
    const bool met =
        allSound && grew && dropped == 0 && fdEnd <= fdHalf && rssEnd - rssHalf <= kRssFlatKiB;
    return met ? 0 : 2;
}
