// How long painting one picture of a scripted scene takes (the busiest script: a figure
// crossing, the lamp, drift and heavy noise), for the sizes the simulated cameras and an
// offline benchmark use. Target: a few milliseconds at 640x480 at most, and 1280x720 at
// 30 per second well under a core.
//
//   camcap_scene_paint_bench [pictures]      (default 600 per size)
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "camcap/ScenePainter.h"
#include "camcap/SceneScript.h"

namespace {

constexpr int kDefaultPictures = 600;
constexpr double kFps = 30;

}  // namespace

int main(int argc, char** argv) {
    const int pictures = argc > 1 ? std::max(1, std::atoi(argv[1])) : kDefaultPictures;
    SceneScript script;
    for (const char* kind : {"motion@0-1000", "light@5,10", "drift", "noise"}) script.Add(kind);
    const struct { int Width, Height; } sizes[] = {{640, 480}, {1280, 720}, {1920, 1080}};
    unsigned checksum = 0;  // keeps the pictures from being optimised away
    for (const auto& size : sizes) {
        const auto made = std::chrono::steady_clock::now();
        CScenePainter painter(size.Width, size.Height);
        std::vector<uint8_t> luma(size_t(size.Width) * size.Height);
        painter.Paint(script, 0, luma.data(), size.Width);
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < pictures; ++i) {
            painter.Paint(script, i / kFps, luma.data(), size.Width);
            checksum += luma[size_t(i) % luma.size()];
        }
        const auto end = std::chrono::steady_clock::now();
        const double ms = std::chrono::duration<double, std::milli>(end - start).count() / pictures;
        std::printf(
            "%4dx%-4d  %.3f ms per picture (%.1f %% of a core at %g/s), painter made in %.1f ms\n",
            size.Width, size.Height, ms, ms * kFps / 10, kFps,
            std::chrono::duration<double, std::milli>(start - made).count());
    }
    std::printf("checksum %u\n", checksum);
    return 0;
}
