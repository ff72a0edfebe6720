#include <gtest/gtest.h>

#include <numeric>
#include <thread>
#include <vector>

#include "capture/StreamBuffer.h"

namespace {
std::vector<uint8_t> Pattern(size_t size, uint8_t start = 0) {
    std::vector<uint8_t> bytes(size);
    std::iota(bytes.begin(), bytes.end(), start);
    return bytes;
}
}  // namespace

TEST(StreamBufferTest, NothingWorksBeforeAllocate) {
    CStreamBuffer buffer(16);
    const auto bytes = Pattern(4);
    uint8_t out[4];
    EXPECT_EQ(buffer.Write(bytes.data(), 4), 0u);
    EXPECT_EQ(buffer.Read(out, 4), 0u);
    EXPECT_EQ(buffer.Available(), 0u);
    CStreamBuffer empty(0);
    EXPECT_EQ(empty.Allocate(), 0) << "no storage can be made for capacity 0";
    EXPECT_EQ(empty.Write(bytes.data(), 4), 0u);
}

TEST(StreamBufferTest, EmptyAndFullBoundaries) {
    CStreamBuffer buffer(16);
    ASSERT_EQ(buffer.Allocate(), 1);
    uint8_t out[32];
    EXPECT_EQ(buffer.Available(), 0u);
    EXPECT_EQ(buffer.Read(out, sizeof out), 0u);

    const auto bytes = Pattern(20);
    EXPECT_EQ(buffer.Write(bytes.data(), 20), 15u) << "holds capacity - 1, drops the rest";
    EXPECT_EQ(buffer.Available(), 15u);
    EXPECT_EQ(buffer.Write(bytes.data(), 1), 0u) << "a full buffer stores nothing";
    ASSERT_EQ(buffer.Read(out, sizeof out), 15u);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 15), Pattern(15));
    EXPECT_EQ(buffer.Available(), 0u);
}

TEST(StreamBufferTest, WrapsSplitAndExactEndsKeepTheBytesInOrder) {
    CStreamBuffer buffer(16);
    ASSERT_EQ(buffer.Allocate(), 1);
    uint8_t out[16];
    const auto a = Pattern(10, 0);
    const auto b = Pattern(10, 100);
    const auto c = Pattern(6, 200);

    ASSERT_EQ(buffer.Write(a.data(), 10), 10u);
    ASSERT_EQ(buffer.Read(out, 10), 10u);
    // Positions at 10: this write crosses the end and is split into two copies.
    ASSERT_EQ(buffer.Write(b.data(), 10), 10u);
    EXPECT_EQ(buffer.Available(), 10u);
    ASSERT_EQ(buffer.Read(out, 6), 6u);  // read position ends exactly at the end
    EXPECT_EQ(std::vector<uint8_t>(out, out + 6), std::vector<uint8_t>(b.begin(), b.begin() + 6));
    ASSERT_EQ(buffer.Read(out, 16), 4u);  // continues from the start
    EXPECT_EQ(std::vector<uint8_t>(out, out + 4), std::vector<uint8_t>(b.begin() + 6, b.end()));

    // Write position at 4: a write of 12 ends exactly at the end and wraps to the start.
    const auto d = Pattern(12, 50);
    ASSERT_EQ(buffer.Write(d.data(), 12), 12u);
    ASSERT_EQ(buffer.Write(c.data(), 3), 3u);
    EXPECT_EQ(buffer.Available(), 15u);
    ASSERT_EQ(buffer.Read(out, 16), 15u);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 12), d);
    EXPECT_EQ(std::vector<uint8_t>(out + 12, out + 15),
              std::vector<uint8_t>(c.begin(), c.begin() + 3));
}

TEST(StreamBufferTest, ReleaseLeavesAnInertBuffer) {
    CStreamBuffer buffer(8);
    ASSERT_EQ(buffer.Allocate(), 1);
    const auto bytes = Pattern(4);
    ASSERT_EQ(buffer.Write(bytes.data(), 4), 4u);
    buffer.Release();
    EXPECT_EQ(buffer.Capacity(), 0u);
    EXPECT_EQ(buffer.Available(), 0u);
    EXPECT_EQ(buffer.Write(bytes.data(), 4), 0u);
}

TEST(StreamBufferTest, OneWriterOneReaderMoveEveryStoredByteInOrder) {
    CStreamBuffer buffer(4096);
    ASSERT_EQ(buffer.Allocate(), 1);
    constexpr uint32_t kTotal = 4 * 1024 * 1024;
    std::atomic<bool> done{false};
    uint64_t stored = 0;
    std::thread writer([&] {
        uint8_t run[333];
        uint32_t next = 0;
        while (next < kTotal) {
            for (uint32_t i = 0; i < sizeof run; ++i)
                run[i] = static_cast<uint8_t>((next + i) % 251);
            const uint32_t n = buffer.Write(run, sizeof run);
            stored += n;
            next += n;  // retry what was dropped, so the sequence stays continuous
        }
        done = true;
    });
    uint64_t readTotal = 0;
    uint8_t chunk[1000];
    bool ordered = true;
    while (!done || buffer.Available() > 0) {
        const uint32_t n = buffer.Read(chunk, sizeof chunk);
        for (uint32_t i = 0; i < n; ++i) {
            ordered = ordered && chunk[i] == static_cast<uint8_t>((readTotal + i) % 251);
        }
        readTotal += n;
        if (n == 0) std::this_thread::yield();
    }
    writer.join();
    EXPECT_TRUE(ordered);
    EXPECT_EQ(readTotal, stored);
    EXPECT_GE(readTotal, kTotal);
}
