// What the benchmark reads about its own process and its sockets from the kernel.
#pragma once

#include <cstdint>
#include <vector>

// User plus system CPU seconds of this process (every thread).
double CpuSeconds();
// The resident set of this process in KiB, from /proc/self/status.
long RssKiB();
// How many descriptors this process holds open.
int OpenDescriptors();
// The state of the server's side of a TCP connection on 127.0.0.1 (the kernel's codes:
// 1 established, 4 FIN-WAIT-1, ...) and the bytes waiting in its send queue; state -1
// when the kernel lists no such socket.
struct SocketState {
    int State = -1;
    uint64_t SendQueueBytes = 0;
};
SocketState ServerSideSocket(int serverPort, int clientPort);
// Percentile p (0 to 100) of values, which are sorted; 0 for none.
double Percentile(std::vector<double>& values, double p);
// Prints the machine's load averages (as uptime shows them) after label.
void PrintLoad(const char* label);
