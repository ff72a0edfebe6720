// Opens and closes a streaming simulated camera many times in a row, as an operator
// switching cells does, and checks that nothing arrives from a closed opening.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "CamcapTestSupport.h"
#include "capture/CameraCap.h"

using namespace std::chrono_literals;

namespace {

constexpr int kCycles = 200;

// Sanitizers slow each opening several times over; the environment can shorten the run.
int Cycles() {
    if (const char* text = std::getenv("ORVEX_CAMCAP_CYCLES")) {
        const int n = std::atoi(text);
        if (n > 0) return n;
    }
    return kCycles;
}

struct Opening {
    CCopyingTarget Target;
    CStreamCollector Stream;
    int FramesAtClose = 0;
    int UnitsAtClose = 0;
};

}  // namespace

TEST(CameraCapCloseTest, CloseUnderLoadLeavesNothingBehind) {
    UseSimulatedCameras(1);
    DeviceInfo record = RecordFor("Simulated Camera 1", "Simulated Camera 1", 0);
    CCollectingWindow notice;
    const int cycles = Cycles();
    std::vector<std::unique_ptr<Opening>> openings;
    int32_t previous = -1;
    for (int i = 0; i < cycles; ++i) {
        auto opening = std::make_unique<Opening>();
        const int32_t handle = CameraCap_Open(&opening->Target, &record, &notice,
                                              &CStreamCollector::StreamProc, &opening->Stream);
        ASSERT_GE(handle, 0) << "cycle " << i;
        ASSERT_NE(handle, previous);
        previous = handle;
        // Close while the stream runs: after its first access unit.
        ASSERT_TRUE(opening->Stream.WaitForCallbacks(1, 10s)) << "cycle " << i;
        ASSERT_EQ(CameraCap_Close(handle), 0);
        opening->Stream.MarkClosed();
        opening->FramesAtClose = opening->Target.Frames();
        opening->UnitsAtClose = opening->Stream.Callbacks();
        openings.push_back(std::move(opening));
    }
    // Every earlier opening has had the rest of the run to misbehave; none may have.
    for (size_t i = 0; i < openings.size(); ++i) {
        EXPECT_FALSE(openings[i]->Stream.CalledAfterClose()) << "cycle " << i;
        EXPECT_EQ(openings[i]->Target.Frames(), openings[i]->FramesAtClose) << "cycle " << i;
        EXPECT_EQ(openings[i]->Stream.Callbacks(), openings[i]->UnitsAtClose) << "cycle " << i;
        EXPECT_FALSE(openings[i]->Target.SawBadFrame());
    }
    EXPECT_EQ(notice.PostCount(), 0u);
}
