// Paints the pictures of a scripted scene (SceneScript.h) into the luma plane of an
// I420 picture, the chroma being left to the caller (neutral grey is 128). The same
// script, seconds and size always give the same picture, so that a benchmark can render
// an hour of scenes offline and a test can compare a camera's frame with its own
// painting. A painter keeps the background and the noise of one picture size: cheap
// per picture, one thread at a time; different painters are independent.
#pragma once

#include <cstdint>
#include <vector>

#include "camcap/SceneScript.h"

struct SceneBox {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
};

class CScenePainter {
public:
    // Any positive size.
    CScenePainter(int width, int height);

    int Width() const { return width_; }
    int Height() const { return height_; }

    // The picture at seconds, Height() rows of Width() bytes, each row stride bytes on.
    void Paint(const SceneScript& script, double seconds, uint8_t* luma, int stride);

    // Where the crossing figure stands at seconds in a picture of that size; false when
    // none crosses then. It walks from the left edge to the right one, inside the picture
    // for the whole interval, so that motion is in sight exactly while scripted.
    static bool FigureAt(const SceneScript& script, double seconds, int width, int height,
                         SceneBox& box);

private:
    const std::vector<int8_t>& NoiseFor(double sigma);

    int width_;
    int height_;
    std::vector<uint8_t> background_;  // width_ x height_, the room without noise or lamp
    int figureWidth_;
    int figureHeight_;
    std::vector<uint8_t> figure_;  // the figure's grey levels in its box; 0 outside it
    double noiseSigma_ = -1;       // of noise_
    std::vector<int8_t> noise_;    // Gaussian samples; each row starts at its own offset
};

// One picture, with a painter kept per thread for the last size asked.
void PaintScene(const SceneScript& script, double seconds, uint8_t* luma, int width, int height,
                int stride);
