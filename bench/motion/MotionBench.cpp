// CPU of one camera's motion watch: frames handed to OnFrame at 30 per second in real
// time (a textured picture with noise and a box walking across it), and the CPU the
// process spent beyond the feeding thread's own work: OnFrame plus the analysis thread.
// Target: at most 3 % of one core per camera at 640x480 and 1280x720.
//
// Then one hour of pictures at 5 analyses per second with synthetic times, through the
// synchronous path: how long an analysis takes, and the events found (a person walks
// for 10 s every 5 minutes, the lamp switches every 7 minutes: 12 events expected).
//
//   motion_bench [seconds]   (default 20 s per size)
#include <sys/resource.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <opencv2/imgproc.hpp>
#include <thread>
#include <vector>

#include "MotionScenes.h"
#include "motion/MotionWatch.h"

using motiontest::CScene;
using motiontest::SceneState;

namespace {

constexpr int kFps = 30;
constexpr int kBackgrounds = 8;     // noisy pictures cycled, so no frame repeats the last
constexpr int64_t kEmptyMs = 3000;  // before the walker comes in

double Seconds(const timespec& t) {
    return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

double ThreadCpu() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return Seconds(t);
}

double ProcessCpu() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

class CNullTarget : public IFrameTarget {
public:
    void OnFrame(const VideoFrame&) override {}
};

// Prints each event, in seconds from the first frame.
class CPrintingObserver : public IMotionObserver {
public:
    explicit CPrintingObserver(int64_t originMs) : originMs_(originMs) {}
    void MotionStarted(const std::string&, int64_t) override {}
    void MotionEnded(const std::string&, int64_t startMs, int64_t endMs, double peakPct) override {
        std::printf("  event %.1f s to %.1f s, peak %.1f %%\n", (startMs - originMs_) / 1000.0,
                    (endMs - originMs_) / 1000.0, peakPct);
    }

private:
    const int64_t originMs_;
};

// Returns the share of one core the watch used, in percent.
double RunLive(cv::Size size, int seconds, double& onFramePct) {
    CScene scene(size);
    std::vector<cv::Mat> backgrounds;
    for (int i = 0; i < kBackgrounds; ++i) backgrounds.push_back(scene.Render({}).clone());
    cv::Mat frame = backgrounds[0].clone();
    const VideoFrame video{frame.cols, frame.rows, static_cast<int>(frame.step[0]), frame.data};

    MotionSettings settings;
    settings.Enabled = true;
    CNullTarget live;
    double onFrameCpu = 0;
    double feederStart = 0, processStart = 0;
    std::printf("%dx%d@%d, %d s:\n", size.width, size.height, kFps, seconds);
    CPrintingObserver observer(WallClockMs());
    {
        CMotionWatch watch("bench", &live, settings, &observer, nullptr, {});
        feederStart = ThreadCpu();
        processStart = ProcessCpu();
        const auto start = std::chrono::steady_clock::now();
        const int frames = seconds * kFps;
        for (int i = 0; i < frames; ++i) {
            std::this_thread::sleep_until(start + std::chrono::microseconds(1000000LL * i / kFps));
            backgrounds[i % kBackgrounds].copyTo(frame);
            const int64_t ms = 1000LL * i / kFps;
            // The room is empty for the first seconds, so the model learns it without
            // the walker, who then walks to and fro to the end: one event.
            if (ms >= kEmptyMs) {
                const cv::Rect box =
                    CScene::MovingBox(size, cv::Size(size.width / 8, size.height / 4),
                                      size.height / 3, kEmptyMs, ms, size.width / 5.0);
                cv::rectangle(frame, box, cv::Scalar(30, 30, 40, 0), cv::FILLED);
            }
            const double before = ThreadCpu();
            watch.OnFrame(video);
            onFrameCpu += ThreadCpu() - before;
        }
    }
    const double feederCpu = ThreadCpu() - feederStart;
    const double watchCpu = ProcessCpu() - processStart - feederCpu + onFrameCpu;
    onFramePct = 100.0 * onFrameCpu / seconds;
    return 100.0 * watchCpu / seconds;
}

void RunHour() {
    const cv::Size size(640, 480);
    CScene scene(size);
    MotionSettings settings;
    settings.Enabled = true;
    int events = 0;
    CMotionWatch watch("bench", nullptr, settings, nullptr, nullptr,
                       [&events](bool moving) { events += moving ? 1 : 0; });
    constexpr int64_t kHourMs = 3600 * 1000;
    constexpr int64_t kStepMs = CMotionWatch::kAnalysisIntervalMs;
    double analysisCpu = 0;
    const double start = ThreadCpu();
    for (int64_t ms = 0; ms < kHourMs; ms += kStepMs) {
        SceneState state;
        const int64_t inWalk = ms % 300000 - 150000;  // a walk in the middle of 5 minutes
        if (inWalk >= 0 && inWalk < 10000)
            state.Box = CScene::MovingBox(size, cv::Size(80, 120), 160, 0, inWalk, 120);
        if ((ms / 420000) % 2 == 1) state.Offset = 50;
        scene.Render(state);
        const double before = ThreadCpu();
        watch.AnalyzeFrame(scene.Frame(), ms);
        analysisCpu += ThreadCpu() - before;
    }
    const double total = ThreadCpu() - start;
    const int analyses = static_cast<int>(kHourMs / kStepMs);
    std::printf(
        "one hour at 640x480 through AnalyzeFrame: %d analyses, %.2f ms CPU each "
        "(%.1f s in all, %.1f s with drawing the pictures), %d event(s), 12 expected\n",
        analyses, 1000.0 * analysisCpu / analyses, analysisCpu, total, events);
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    for (const cv::Size size : {cv::Size(640, 480), cv::Size(1280, 720)}) {
        double onFramePct = 0;
        const double pct = RunLive(size, seconds, onFramePct);
        std::printf("  watch CPU: %.2f %% of one core (OnFrame alone %.2f %%), target <= 3 %%\n",
                    pct, onFramePct);
    }
    RunHour();
    return 0;
}
