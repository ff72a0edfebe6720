#include "ProcessStats.h"

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long RssKiB() {
    std::FILE* file = std::fopen("/proc/self/status", "r");
    if (file == nullptr) return -1;
    char line[256];
    long kib = -1;
    while (std::fgets(line, sizeof line, file) != nullptr) {
        if (std::strncmp(line, "VmRSS:", 6) == 0) {
            kib = std::atol(line + 6);
            break;
        }
    }
    std::fclose(file);
    return kib;
}

int OpenDescriptors() {
    std::error_code error;
    int count = 0;
    for (auto it = std::filesystem::directory_iterator("/proc/self/fd", error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        ++count;
    }
    // The iterator's own descriptor is counted too.
    return count - 1;
}

SocketState ServerSideSocket(int serverPort, int clientPort) {
    SocketState found;
    std::FILE* file = std::fopen("/proc/net/tcp", "r");
    if (file == nullptr) return found;
    char line[512];
    while (std::fgets(line, sizeof line, file) != nullptr) {
        unsigned localAddress = 0, localPort = 0, remoteAddress = 0, remotePort = 0, state = 0;
        unsigned long long sendQueue = 0, receiveQueue = 0;
        if (std::sscanf(line, " %*d: %x:%x %x:%x %x %llx:%llx", &localAddress, &localPort,
                        &remoteAddress, &remotePort, &state, &sendQueue, &receiveQueue) != 7) {
            continue;
        }
        if (static_cast<int>(localPort) == serverPort &&
            static_cast<int>(remotePort) == clientPort) {
            found.State = static_cast<int>(state);
            found.SendQueueBytes = sendQueue;
            break;
        }
    }
    std::fclose(file);
    return found;
}

double Percentile(std::vector<double>& values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t rank = static_cast<size_t>(p / 100.0 * (values.size() - 1) + 0.5);
    return values[std::min(rank, values.size() - 1)];
}

void PrintLoad(const char* label) {
    std::FILE* file = std::fopen("/proc/loadavg", "r");
    double one = 0, five = 0, fifteen = 0;
    if (file != nullptr) {
        if (std::fscanf(file, "%lf %lf %lf", &one, &five, &fifteen) != 3) one = five = fifteen = 0;
        std::fclose(file);
    }
    std::printf("load average %s: %.2f, %.2f, %.2f\n", label, one, five, fifteen);
    std::fflush(stdout);
}
