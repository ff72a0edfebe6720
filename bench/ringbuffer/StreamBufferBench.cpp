// CStreamBuffer at the recorder's sizes: one writer thread puts runs of 1 to 64 KiB
// into a 4 MiB ring, one reader takes 512 KiB chunks out. Next to it, the same bytes
// moved by plain memcpy in and out of a 4 MiB block, the ceiling for any ring.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "capture/StreamBuffer.h"

namespace {

constexpr uint32_t kRingBytes = 4 * 1024 * 1024;
constexpr uint32_t kChunkBytes = 512 * 1024;
constexpr uint64_t kBytesPerIteration = 256ull * 1024 * 1024;

void BM_StreamBuffer(benchmark::State& state) {
    const uint32_t run = static_cast<uint32_t>(state.range(0));
    std::vector<uint8_t> source(run, 0x5A);
    std::vector<uint8_t> chunk(kChunkBytes);
    for (auto _ : state) {
        CStreamBuffer ring(kRingBytes);
        ring.Allocate();
        std::atomic<bool> done{false};
        // The writer retries what did not fit so that every byte is moved once;
        // the recorder drops instead, but dropping would flatter the figure.
        std::thread writer([&] {
            uint64_t written = 0;
            while (written < kBytesPerIteration) {
                uint32_t offset = 0;
                while (offset < run) {
                    offset += ring.Write(source.data() + offset, run - offset);
                    if (offset < run) std::this_thread::yield();
                }
                written += run;
            }
            done = true;
        });
        // Like the recorder's worker: take a chunk only when a whole one is waiting.
        uint64_t read = 0;
        while (read < kBytesPerIteration) {
            if (ring.Available() >= kChunkBytes) {
                read += ring.Read(chunk.data(), kChunkBytes);
            } else {
                std::this_thread::yield();
            }
        }
        writer.join();
        benchmark::DoNotOptimize(chunk.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBytesPerIteration));
}

void BM_Memcpy(benchmark::State& state) {
    const uint32_t run = static_cast<uint32_t>(state.range(0));
    std::vector<uint8_t> source(run, 0x5A);
    std::vector<uint8_t> block(kRingBytes);
    std::vector<uint8_t> chunk(kChunkBytes);
    for (auto _ : state) {
        // Walks the whole 4 MiB block as the ring does, so both touch the same memory.
        uint64_t moved = 0;
        uint32_t writePos = 0;
        uint32_t readPos = 0;
        uint32_t pending = 0;
        while (moved < kBytesPerIteration) {
            const uint32_t n = std::min(run, kRingBytes - writePos);
            std::memcpy(block.data() + writePos, source.data(), n);
            writePos = (writePos + n) % kRingBytes;
            pending += n;
            if (pending >= kChunkBytes) {
                std::memcpy(chunk.data(), block.data() + readPos, kChunkBytes);
                readPos = (readPos + kChunkBytes) % kRingBytes;
                pending -= kChunkBytes;
                moved += kChunkBytes;
            }
        }
        benchmark::DoNotOptimize(chunk.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBytesPerIteration));
}

}  // namespace

BENCHMARK(BM_StreamBuffer)
    ->Arg(1024)
    ->Arg(4096)
    ->Arg(16384)
    ->Arg(65536)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memcpy)->Arg(1024)->Arg(4096)->Arg(16384)->Arg(65536)->UseRealTime()->Unit(
    benchmark::kMillisecond);

BENCHMARK_MAIN();
