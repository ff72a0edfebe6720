// Detection over the simulated cameras' own scenes: four scripted cameras of one hour
// each (a still room, slow light drift, heavy noise, a lamp switched every 3 minutes
// beside drift), each with 10 people crossing, rendered offline at 640x480 and analysed
// at 5 pictures per second with synthetic times through the watch's synchronous path.
// Reports per scene the crossings found, how soon after each began its event started,
// (when the start was told, not the picture it dates from), and the events where
// nobody crossed. Targets: every crossing found, at most one false
// event per hour, each start within 1 s.
//
//   motion_scene_bench [minutes per scene]   (default 60)
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "camcap/ScenePainter.h"
#include "camcap/SceneScript.h"
#include "motion/MotionWatch.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int64_t kStepMs = 200;    // 5 analyses per second
constexpr double kEndSlackS = 3.0;  // an event may outlast its crossing by the end's hysteresis

struct Event {
    int64_t StartMs = 0;
    int64_t EndMs = -1;
    int64_t ToldMs = 0;  // the time of the analysis that declared the start
};

class CEvents : public IMotionObserver {
public:
    void MotionStarted(const std::string&, int64_t startMs) override {
        std::lock_guard<std::mutex> lock(lock_);
        events_.push_back({startMs, -1, NowMs});
    }
    void MotionEnded(const std::string&, int64_t startMs, int64_t endMs, double) override {
        std::lock_guard<std::mutex> lock(lock_);
        for (Event& e : events_) {
            if (e.StartMs == startMs) e.EndMs = endMs;
        }
    }
    std::vector<Event> Take() {
        std::lock_guard<std::mutex> lock(lock_);
        return events_;
    }

    int64_t NowMs = 0;  // the analysis under way: the feeding thread is the telling one

private:
    std::mutex lock_;
    std::vector<Event> events_;
};

struct Scene {
    const char* Name;
    std::string Kinds;  // besides the crossings, ';' separated
};

// Ten crossings of 4 to 9 s spread over the span, clear of the lamp's switches.
std::string Crossings(double spanS, int count) {
    std::string text = "motion@";
    for (int i = 0; i < count; ++i) {
        const double from = spanS * (i + 0.45) / count + (i % 3) * 7.0;
        const double length = 4.0 + (i * 37 % 6);
        char part[64];
        std::snprintf(part, sizeof part, "%s%.0f-%.0f", i > 0 ? "," : "", from, from + length);
        text += part;
    }
    return text;
}

std::string Switches(double spanS, double everyS) {
    std::string text = "light@";
    for (double t = everyS; t < spanS; t += everyS) {
        char part[32];
        std::snprintf(part, sizeof part, "%s%.0f", text.size() > 6 ? "," : "", t);
        text += part;
    }
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    const double minutes = argc > 1 ? std::atof(argv[1]) : 60.0;
    const double spanS = minutes * 60.0;
    const int crossings = 10;
    const std::vector<Scene> scenes = {
        {"still", "still"},
        {"drift", "drift"},
        {"noise", "noise"},
        {"lamp+drift", Switches(spanS, 180.0) + ";drift"},
    };
    MotionSettings settings;
    settings.Enabled = true;
    std::vector<uint8_t> luma(kWidth * kHeight);
    std::vector<uint8_t> pixels(kWidth * kHeight * 4);
    int missedAll = 0;
    int falseAll = 0;
    double worstLatencyAll = 0;
    std::printf("%-11s %6s %6s %6s %10s %10s\n", "scene", "found", "of", "false", "median s",
                "worst s");
    for (const Scene& scene : scenes) {
        SceneScript script;
        std::string kinds = scene.Kinds + ";" + Crossings(spanS, crossings);
        size_t at = 0;
        while (at <= kinds.size()) {
            const size_t end = std::min(kinds.find(';', at), kinds.size());
            if (!script.Add(std::string_view(kinds).substr(at, end - at))) {
                std::fprintf(stderr, "bad scene part in %s\n", kinds.c_str());
                return 2;
            }
            at = end + 1;
        }
        CEvents events;
        CScenePainter painter(kWidth, kHeight);
        {
            CMotionWatch watch(scene.Name, nullptr, settings, &events, nullptr, {}, WallClockMs,
                               [](const std::string&) {});
            for (int64_t ms = 0; ms < static_cast<int64_t>(spanS * 1000); ms += kStepMs) {
                painter.Paint(script, ms / 1000.0, luma.data(), kWidth);
                for (size_t i = 0; i < luma.size(); ++i) {
                    uint8_t* p = &pixels[i * 4];
                    p[0] = p[1] = p[2] = luma[i];
                    p[3] = 255;
                }
                VideoFrame frame;
                frame.Width = kWidth;
                frame.Height = kHeight;
                frame.Stride = kWidth * 4;
                frame.Pixels = pixels.data();
                events.NowMs = ms;
                watch.AnalyzeFrame(frame, ms);
            }
        }
        const std::vector<Event> found = events.Take();
        std::vector<double> latencies;
        int falseEvents = 0;
        for (const Event& e : found) {
            const double startS = e.StartMs / 1000.0;
            const double endS = e.EndMs < 0 ? spanS : e.EndMs / 1000.0;
            const bool overlaps = std::any_of(
                script.Crossings.begin(), script.Crossings.end(), [&](const SceneInterval& c) {
                    return startS < c.ToSeconds + kEndSlackS && endS > c.FromSeconds;
                });
            if (!overlaps) {
                ++falseEvents;
                std::printf("  false event in %s at %.1f s to %.1f s\n", scene.Name, startS, endS);
            }
        }
        int missed = 0;
        for (const SceneInterval& c : script.Crossings) {
            double best = -1;
            for (const Event& e : found) {
                const double startS = e.StartMs / 1000.0;
                if (startS >= c.FromSeconds - 0.5 && startS < c.ToSeconds) {
                    best = e.ToldMs / 1000.0 - c.FromSeconds;
                    break;
                }
            }
            if (best < 0) {
                ++missed;
                std::printf("  missed crossing in %s at %.0f-%.0f s\n", scene.Name, c.FromSeconds,
                            c.ToSeconds);
            } else {
                latencies.push_back(best);
            }
        }
        std::sort(latencies.begin(), latencies.end());
        const double median = latencies.empty() ? 0 : latencies[latencies.size() / 2];
        const double worst = latencies.empty() ? 0 : latencies.back();
        std::printf("%-11s %6zu %6zu %6d %10.2f %10.2f\n", scene.Name, latencies.size(),
                    script.Crossings.size(), falseEvents, median, worst);
        missedAll += missed;
        falseAll += falseEvents;
        worstLatencyAll = std::max(worstLatencyAll, worst);
    }
    const double hours = scenes.size() * minutes / 60.0;
    std::printf("missed %d of %zu, %d false in %.1f h (%.2f per hour), worst start %.2f s\n",
                missedAll, scenes.size() * crossings, falseAll, hours, falseAll / hours,
                worstLatencyAll);
    const bool pass = missedAll == 0 && falseAll / hours <= 1.0 && worstLatencyAll <= 1.0;
    std::printf("%s\n", pass ? "PASS" : "FAIL");
    return pass ? 0 : 1;
}
