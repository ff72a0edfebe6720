#include "camcap/ScenePainter.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>

namespace {

constexpr double kFloorLine = 0.62;   // of the height: where the wall meets the floor
constexpr double kFigureFeet = 0.85;  // of the height: where the figure stands
constexpr int kMinNoiseSamples = 1 << 16;
constexpr uint64_t kNoiseSeed = 0x5eed5ce7e5ull;

uint64_t Mix(uint64_t value) {
    // splitmix64: the same numbers on every platform, unlike the standard distributions.
    value += 0x9e3779b97f4a7c15ull;
    value = (value ^ (value >> 30)) * 0xbf58476d1ce4e5b9ull;
    value = (value ^ (value >> 27)) * 0x94d049bb133111ebull;
    return value ^ (value >> 31);
}

bool Inside(double u, double v, double left, double top, double right, double bottom) {
    return u >= left && u < right && v >= top && v < bottom;
}

// The room's grey level at (u, v), both 0..1 of the picture: a wall with a window, a
// door and a framed picture, a cabinet, a tiled floor. Kept within 60..215 so that the
// lamp and the drift rarely clip.
int RoomLevel(double u, double v) {
    if (Inside(u, v, 0.40, 0.46, 0.62, 0.70)) {
        if (v < 0.475) return 78;                                      // the cabinet's top edge
        return int(92 + 8 * std::sin(u * 90 + 3 * std::sin(v * 20)));  // wood grain
    }
    if (v >= kFloorLine) {
        const double across = u * 10;
        const double down = (v - kFloorLine) * 20;
        if (across - std::floor(across) < 0.04 || down - std::floor(down) < 0.06) return 82;
        return (int(across) + int(down)) % 2 == 1 ? 118 : 102;
    }
    if (v >= kFloorLine - 0.03) return 175;  // skirting board
    if (Inside(u, v, 0.07, 0.10, 0.31, 0.44)) {
        if (!Inside(u, v, 0.082, 0.115, 0.298, 0.425) || std::abs(u - 0.19) < 0.006) return 120;
        return int(212 - 40 * (v - 0.10));  // sky, brighter at the top
    }
    if (Inside(u, v, 0.70, 0.16, 0.85, kFloorLine)) {
        if (Inside(u, v, 0.815, 0.38, 0.83, 0.41)) return 60;  // handle
        const bool panel =
            Inside(u, v, 0.72, 0.19, 0.83, 0.37) || Inside(u, v, 0.72, 0.43, 0.83, 0.59);
        return panel ? 88 : 98;
    }
    if (Inside(u, v, 0.42, 0.14, 0.56, 0.30)) {
        if (!Inside(u, v, 0.43, 0.155, 0.55, 0.285)) return 70;
        return int(135 + 25 * std::sin(u * 60) * std::cos(v * 45));
    }
    return int(158 - 18 * v) + (int(u * 60) % 2 == 1 ? 3 : 0);  // striped wallpaper
}

// The figure's grey level at (u, v), both 0..1 of its box; 0 outside it.
uint8_t FigureLevel(double u, double v) {
    const double headU = (u - 0.5) / 0.2;
    const double headV = (v - 0.1) / 0.1;
    if (headU * headU + headV * headV <= 1) return 45;
    const double bodyU = (u - 0.5) / 0.5;
    const double bodyV = (v - 0.45) / 0.27;
    if (v >= 0.2 && bodyU * bodyU + bodyV * bodyV <= 1)
        return uint8_t(34 + 4 * ((int(v * 40)) % 2));
    if (v >= 0.6 && (Inside(u, v, 0.27, 0.6, 0.46, 1.0) || Inside(u, v, 0.54, 0.6, 0.73, 1.0))) {
        return 28;
    }
    return 0;
}

uint8_t Clamped(int level) {
    return uint8_t(std::clamp(level, 0, 255));
}

}  // namespace

CScenePainter::CScenePainter(int width, int height)
    : width_(std::max(width, 1)),
      height_(std::max(height, 1)),
      background_(size_t(width_) * size_t(height_)),
      figureWidth_(std::max(width_ / 8, 1)),
      figureHeight_(std::max(height_ / 3, 1)),
      figure_(size_t(figureWidth_) * size_t(figureHeight_)) {
    for (int y = 0; y < height_; ++y) {
        for (int x = 0; x < width_; ++x) {
            background_[size_t(y) * width_ + x] =
                Clamped(RoomLevel((x + 0.5) / width_, (y + 0.5) / height_));
        }
    }
    for (int y = 0; y < figureHeight_; ++y) {
        for (int x = 0; x < figureWidth_; ++x) {
            figure_[size_t(y) * figureWidth_ + x] =
                FigureLevel((x + 0.5) / figureWidth_, (y + 0.5) / figureHeight_);
        }
    }
}

const std::vector<int8_t>& CScenePainter::NoiseFor(double sigma) {
    if (sigma == noiseSigma_) return noise_;
    noiseSigma_ = sigma;
    noise_.resize(size_t(std::max(kMinNoiseSamples, 8 * width_)));
    uint64_t state = kNoiseSeed;
    for (size_t i = 0; i < noise_.size(); i += 2) {
        // Box-Muller: two Gaussian samples from two uniform ones in (0, 1].
        const double a = double((Mix(state++) >> 11) + 1) / double(1ull << 53);
        const double b = double(Mix(state++) >> 11) / double(1ull << 53);
        const double radius = sigma * std::sqrt(-2 * std::log(a));
        const double angle = 2 * std::numbers::pi * b;
        noise_[i] = int8_t(std::clamp(std::lround(radius * std::cos(angle)), -127l, 127l));
        if (i + 1 < noise_.size()) {
            noise_[i + 1] = int8_t(std::clamp(std::lround(radius * std::sin(angle)), -127l, 127l));
        }
    }
    return noise_;
}

void CScenePainter::Paint(const SceneScript& script, double seconds, uint8_t* luma, int stride) {
    const std::vector<int8_t>& noise = NoiseFor(script.NoiseSigma);
    const int brightness = script.BrightnessAt(seconds);
    // Each picture its own noise: every row starts at an offset drawn from the time.
    const uint64_t pictureSeed = Mix(uint64_t(std::llround(seconds * 1000)));
    const uint64_t offsets = noise.size() - size_t(width_) + 1;
    SceneBox box;
    const bool figure = FigureAt(script, seconds, width_, height_, box);
    for (int y = 0; y < height_; ++y) {
        const int8_t* rowNoise = noise.data() + Mix(pictureSeed ^ uint64_t(y)) % offsets;
        const uint8_t* room = background_.data() + size_t(y) * width_;
        uint8_t* out = luma + ptrdiff_t(y) * stride;
        for (int x = 0; x < width_; ++x) out[x] = Clamped(room[x] + rowNoise[x] + brightness);
        if (!figure || y < box.Top || y >= box.Top + box.Height) continue;
        const uint8_t* shape = figure_.data() + size_t(y - box.Top) * figureWidth_;
        for (int x = std::max(box.Left, 0); x < std::min(box.Left + box.Width, width_); ++x) {
            const uint8_t level = shape[x - box.Left];
            if (level != 0) out[x] = Clamped(level + rowNoise[x] + brightness);
        }
    }
}

bool CScenePainter::FigureAt(const SceneScript& script, double seconds, int width, int height,
                             SceneBox& box) {
    const SceneInterval* crossing = script.CrossingAt(seconds);
    if (crossing == nullptr) return false;
    width = std::max(width, 1);
    height = std::max(height, 1);
    box.Width = std::max(width / 8, 1);
    box.Height = std::max(height / 3, 1);
    const double walked =
        (seconds - crossing->FromSeconds) / (crossing->ToSeconds - crossing->FromSeconds);
    box.Left = int(walked * (width - box.Width));
    box.Top = std::max(int(kFigureFeet * height) - box.Height, 0);
    return true;
}

void PaintScene(const SceneScript& script, double seconds, uint8_t* luma, int width, int height,
                int stride) {
    if (width <= 0 || height <= 0) return;
    thread_local std::unique_ptr<CScenePainter> painter;
    if (!painter || painter->Width() != width || painter->Height() != height) {
        painter = std::make_unique<CScenePainter>(width, height);
    }
    painter->Paint(script, seconds, luma, stride);
}
