// What the motion gate costs the capture thread per access unit: straight through when
// recording continuously (against calling the recorder directly), holding the pre-roll
// while idle on motion only, and handing units on during motion. 40 KB units, 25 a
// second, a key frame every 2 s, into a sink that keeps nothing.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "capture/MotionGate.h"

namespace {

int64_t nowMs = 0;
int64_t BenchClock() {
    return nowMs;
}

class CNullSink : public IAccessUnitSink {
public:
    bool CanTake(uint32_t) override { return true; }
    void Push(const uint8_t* data, int32_t length) override {
        benchmark::DoNotOptimize(data[length - 1]);
    }
    void Push(const uint8_t* data, int32_t length, int64_t) override {
        benchmark::DoNotOptimize(data[length - 1]);
    }
    void EndFileHere() override {}
};

std::vector<uint8_t> Unit(bool keyFrame) {
    std::vector<uint8_t> unit = {0, 0, 0, 1, 0x09, 0xF0};
    const std::vector<uint8_t> head =
        keyFrame
            ? std::vector<uint8_t>{0, 0, 0, 1, 0x67, 0x42, 0, 0, 0, 1, 0x68, 0xCE, 0, 0, 1, 0x65}
            : std::vector<uint8_t>{0, 0, 1, 0x41};
    unit.insert(unit.end(), head.begin(), head.end());
    unit.resize(40000, 0xA5);
    return unit;
}

void Run(benchmark::State& state, bool motionOnly, bool moving, bool direct) {
    CMotionTrigger trigger;
    trigger.SetMotionOnly(motionOnly);
    if (moving) trigger.MotionStarted(0);
    CNullSink sink;
    CMotionGate gate(trigger, sink, &BenchClock);
    const std::vector<uint8_t> key = Unit(true);
    const std::vector<uint8_t> other = Unit(false);
    int64_t i = 0;
    for (auto _ : state) {
        nowMs = 40 * i;
        const std::vector<uint8_t>& unit = i % 50 == 0 ? key : other;
        if (direct) {
            sink.Push(unit.data(), static_cast<int32_t>(unit.size()));
        } else {
            gate.OnStream(unit.data(), static_cast<int32_t>(unit.size()));
        }
        ++i;
    }
}

void BM_RecorderDirect(benchmark::State& state) {
    Run(state, false, false, true);
}
void BM_GateContinuous(benchmark::State& state) {
    Run(state, false, false, false);
}
void BM_GateIdlePreRoll(benchmark::State& state) {
    Run(state, true, false, false);
}
void BM_GateDuringMotion(benchmark::State& state) {
    Run(state, true, true, false);
}
BENCHMARK(BM_RecorderDirect);
BENCHMARK(BM_GateContinuous);
BENCHMARK(BM_GateIdlePreRoll);
BENCHMARK(BM_GateDuringMotion);

}  // namespace

BENCHMARK_MAIN();
