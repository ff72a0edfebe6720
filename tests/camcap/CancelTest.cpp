// Openings that another thread ends: the user-interface thread closes a handle whose
// opening waits on a worker for a camera, as a cell closed while its camera starts.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "CamcapTestSupport.h"
#include "camcap/CameraCapTesting.h"
#include "capture/CameraCap.h"

using namespace std::chrono_literals;

namespace {

// Generous bounds: under sanitizers and load a pipeline starts several times slower.
constexpr auto kArrival = 20s;
constexpr auto kQuietPeriod = 300ms;
// Far below the 10 s a start waits for a first picture: an ended opening did not wait.
constexpr auto kEndedOpening = 5s;
constexpr auto kIntoTheOpening = 300ms;
constexpr int kRaceRounds = 12;

// Waits, bounded, until condition holds; true when it did.
template <typename Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds bound) {
    const auto end = std::chrono::steady_clock::now() + bound;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

// One opening on a worker thread, as the user interface runs it.
struct COpening {
    CCopyingTarget Target;
    CStreamCollector Stream;
    CCollectingWindow Notice;
    int32_t Handle = CameraCap_Reserve();
    std::future<int32_t> Result;

    void Start(const DeviceInfo& record) {
        Result = std::async(std::launch::async, [this, record] {
            return CameraCap_OpenReserved(Handle, &Target, &record, &Notice,
                                          &CStreamCollector::StreamProc, &Stream);
        });
    }
    // The result of OpenReserved, or -100 when it has not returned within bound.
    int32_t Wait(std::chrono::milliseconds bound) {
        if (Result.wait_for(bound) != std::future_status::ready) return -100;
        return Result.get();
    }
};

// A frame target whose frames take a while, and that says whether one is under way.
class CSlowTarget : public IFrameTarget {
public:
    void OnFrame(const VideoFrame&) override {
        inside_.store(true);
        std::this_thread::sleep_for(100ms);
        frames_.fetch_add(1);
        inside_.store(false);
    }
    bool Inside() const { return inside_.load(); }
    int Frames() const { return frames_.load(); }

private:
    std::atomic<bool> inside_{false};
    std::atomic<int> frames_{0};
};

}  // namespace

TEST(CameraCapCancelTest, ACloseDuringTheOpeningEndsItAtOnceAndLeavesNothing) {
    UseSimulatedCameras(1);
    CSimulatedDevices devices;
    ASSERT_EQ(CameraCapTest_SimulatedStall(0, 1), 0);  // opens and never delivers
    const DeviceInfo record = RecordFor("Simulated Camera 1", "前门", 0);
    COpening opening;
    ASSERT_GE(opening.Handle, 0);
    opening.Start(record);
    ASSERT_TRUE(WaitUntil([] { return CameraCapTest_SimulatedStreams(0) == 1; }, kArrival));
    std::this_thread::sleep_for(kIntoTheOpening);

    const auto closing = std::chrono::steady_clock::now();
    EXPECT_EQ(CameraCap_Close(opening.Handle), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - closing, kEndedOpening) << "close waited";
    opening.Stream.MarkClosed();
    EXPECT_EQ(opening.Wait(kEndedOpening), kCameraCapCancelled);

    EXPECT_EQ(CameraCapTest_HandlesInUse(), 0);
    EXPECT_EQ(CameraCapTest_SimulatedStreams(0), 0) << "the capture is still there";
    EXPECT_EQ(opening.Target.Frames(), 0);
    EXPECT_FALSE(opening.Stream.CalledAfterClose());
    // Not even the opening's failure is told: the operator closed it.
    EXPECT_EQ(opening.Notice.PostCount(), 0u);
    EXPECT_EQ(CameraCap_Close(opening.Handle), -1);
}

TEST(CameraCapCancelTest, AnOpeningWaitingForAnotherOnesStartGivesUpWhenClosed) {
    UseSimulatedCameras(1);
    CSimulatedDevices devices;
    ASSERT_EQ(CameraCapTest_SimulatedStall(0, 1), 0);
    const DeviceInfo record = RecordFor("Simulated Camera 1", "前门", 0);
    COpening first, second;
    first.Start(record);
    ASSERT_TRUE(WaitUntil([] { return CameraCapTest_SimulatedStreams(0) == 1; }, kArrival));
    // The second waits for the first one's start of the same camera.
    second.Start(record);
    std::this_thread::sleep_for(kIntoTheOpening);
    EXPECT_EQ(CameraCap_Close(second.Handle), 0);
    EXPECT_EQ(second.Wait(kEndedOpening), kCameraCapCancelled);
    // The first is still waiting for its camera.
    EXPECT_EQ(first.Result.wait_for(0s), std::future_status::timeout);
    EXPECT_EQ(CameraCap_Close(first.Handle), 0);
    EXPECT_EQ(first.Wait(kEndedOpening), kCameraCapCancelled);
    EXPECT_EQ(CameraCapTest_HandlesInUse(), 0);
    EXPECT_EQ(CameraCapTest_SimulatedStreams(0), 0);
    EXPECT_EQ(first.Notice.PostCount() + second.Notice.PostCount(), 0u);
}

TEST(CameraCapCancelTest, OnlyAReservedHandleOpensAndOneClosedBeforeStartsNothing) {
    UseSimulatedCameras(1);
    const DeviceInfo record = RecordFor("Simulated Camera 1", "前门", 0);
    const int made = CameraCapTest_SimulatedSourcesMade(0);
    const int32_t closedFirst = CameraCap_Reserve();
    EXPECT_EQ(CameraCapTest_HandlesInUse(), 1);
    EXPECT_EQ(CameraCapTest_OpenHandles(), 0);  // reserved is not open
    EXPECT_EQ(CameraCap_Close(closedFirst), 0);
    EXPECT_EQ(CameraCap_OpenReserved(closedFirst, nullptr, &record, nullptr, nullptr, nullptr),
              kCameraCapCancelled);
    EXPECT_EQ(CameraCapTest_SimulatedSourcesMade(0), made);

    const int32_t reserved = CameraCap_Reserve();
    ASSERT_GE(reserved, 0);
    // Never handed out, and already open: neither is a reservation.
    EXPECT_EQ(CameraCap_OpenReserved(reserved + 1000, nullptr, &record, nullptr, nullptr, nullptr),
              -1);
    EXPECT_EQ(CameraCap_OpenReserved(-5, nullptr, &record, nullptr, nullptr, nullptr), -1);
    ASSERT_EQ(CameraCap_OpenReserved(reserved, nullptr, &record, nullptr, nullptr, nullptr),
              reserved);
    EXPECT_EQ(CameraCap_OpenReserved(reserved, nullptr, &record, nullptr, nullptr, nullptr), -1);
    EXPECT_EQ(CameraCap_OpenReserved(reserved, nullptr, nullptr, nullptr, nullptr, nullptr), -1);
    EXPECT_EQ(CameraCapTest_OpenHandles(), 1) << "a refused opening closed an open handle";
    const int32_t next = CameraCap_Reserve();
    EXPECT_NE(next, reserved);
    EXPECT_EQ(CameraCap_Close(reserved), 0);
    const int32_t later = CameraCap_Reserve();
    EXPECT_NE(later, reserved) << "a handle just closed came back";
    // A reserved handle whose opening fails is free again.
    const DeviceInfo unknown = RecordFor("No Such Camera", "x", 0);
    EXPECT_EQ(CameraCap_OpenReserved(next, nullptr, &unknown, nullptr, nullptr, nullptr), -1);
    EXPECT_EQ(CameraCap_Close(next), -1);
    EXPECT_EQ(CameraCapTest_HandlesInUse(), 1);  // later, reserved and never opened
    EXPECT_EQ(CameraCap_Close(later), 0);
    EXPECT_EQ(CameraCapTest_HandlesInUse(), 0);
}

TEST(CameraCapCancelTest, OverlappingClosesEachReturnOnlyOnceNothingCanArrive) {
    UseSimulatedCameras(1);
    const DeviceInfo record = RecordFor("Simulated Camera 1", "前门", 0);
    CSlowTarget target;
    const int32_t handle = CameraCap_Reserve();
    ASSERT_EQ(CameraCap_OpenReserved(handle, &target, &record, nullptr, nullptr, nullptr), handle);
    // Close while a frame is certainly under way in the target.
    ASSERT_TRUE(WaitUntil([&] { return target.Inside(); }, kArrival));
    std::atomic<bool> go{false};
    auto close = [&] {
        while (!go.load()) std::this_thread::yield();
        const int result = CameraCap_Close(handle);
        return std::make_pair(result, target.Inside());
    };
    auto first = std::async(std::launch::async, close);
    auto second = std::async(std::launch::async, close);
    go.store(true);
    const auto [firstResult, firstSawFrame] = first.get();
    const auto [secondResult, secondSawFrame] = second.get();
    EXPECT_FALSE(firstSawFrame) << "a close returned while a frame was under way";
    EXPECT_FALSE(secondSawFrame) << "a close returned while a frame was under way";
    EXPECT_TRUE(firstResult == 0 || secondResult == 0);
    EXPECT_GE(std::min(firstResult, secondResult), -1);
    const int frames = target.Frames();
    std::this_thread::sleep_for(kQuietPeriod);  // for a frame that must not come
    EXPECT_EQ(target.Frames(), frames);
    EXPECT_EQ(CameraCapTest_HandlesInUse(), 0);
}

TEST(CameraCapCancelTest, ClosingAsTheOpeningSucceedsLeavesNothingBehind) {
    UseSimulatedCameras(1);
    const DeviceInfo record = RecordFor("Simulated Camera 1", "前门", 0);
    for (int round = 0; round < kRaceRounds; ++round) {
        COpening opening;
        opening.Start(record);
        // The first frame passes as the start completes: close around that moment,
        // a little later in each round.
        ASSERT_TRUE(opening.Target.WaitForFrames(1, kArrival)) << "round " << round;
        std::this_thread::sleep_for(std::chrono::milliseconds(2 * round));
        EXPECT_EQ(CameraCap_Close(opening.Handle), 0);
        opening.Stream.MarkClosed();
        const int frames = opening.Target.Frames();
        const int32_t result = opening.Wait(kArrival);
        EXPECT_TRUE(result == opening.Handle || result == kCameraCapCancelled)
            << "round " << round << ": " << result;
        EXPECT_EQ(CameraCapTest_HandlesInUse(), 0) << "round " << round;
        EXPECT_EQ(CameraCapTest_SimulatedStreams(0), 0) << "round " << round;
        EXPECT_FALSE(opening.Target.FrameAfter(frames, 50ms)) << "round " << round;
        EXPECT_FALSE(opening.Stream.CalledAfterClose()) << "round " << round;
    }
}
