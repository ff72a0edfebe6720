// Measures the RTSP restream beside four recording simulated cameras, all on 127.0.0.1:
//
//   restream_bench clients [seconds=60]     16 clients: pictures, recorder drops, CPU
//   restream_bench latency [seconds=30] [connects=10] [rtspsrc latency ms=200]
//   restream_bench stall [seconds=30]       a client that stops reading
//   restream_bench churn [cycles=1000] [kind 0-9]   short, wrong and malformed connections
//
// "digest FILE" is the helper the client processes pipe their stream into.
#include <gst/gst.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ClientProcess.h"
#include "Modes.h"

namespace {

int Argument(int argc, char** argv, int index, int fallback) {
    return argc > index ? std::atoi(argv[index]) : fallback;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "digest" && argc > 2) return RunDigest(argv[2]);
    gst_init(&argc, &argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    if (mode == "clients") return RunClientsMode(Argument(argc, argv, 2, 60));
    if (mode == "latency") {
        return RunLatencyMode(Argument(argc, argv, 2, 30), Argument(argc, argv, 3, 10),
                              Argument(argc, argv, 4, 200));
    }
    if (mode == "stall") return RunStallMode(Argument(argc, argv, 2, 30));
    if (mode == "churn")
        return RunChurnMode(Argument(argc, argv, 2, 1000), Argument(argc, argv, 3, -1));
    std::fprintf(stderr,
                 "usage: restream_bench clients [seconds] | latency [seconds] [connects] "
                 "[rtspsrc latency ms] | stall [seconds] | churn [cycles] [kind]\n");
    return 1;
}
