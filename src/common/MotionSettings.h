// How one camera watches for motion: set in the motion dialog, kept per camera beside
// the camera list, read by the detector and the camera's recording. A plain value,
// copied whole between threads.
#pragma once

#include <bitset>
#include <cstddef>

struct MotionSettings {
    // The exclusion mask's grid over the picture, row by row from the top left.
    static constexpr int kMaskColumns = 16;
    static constexpr int kMaskRows = 12;
    static constexpr size_t kMaskCells = kMaskColumns * kMaskRows;
    static constexpr double kMinAreaLowestPct = 0.1;
    static constexpr double kMinAreaHighestPct = 50.0;
    static constexpr double kDefaultMinAreaPct = 1.0;

    bool Enabled = false;
    // Sensitivity: the share of the watched picture (cells not excluded) that must
    // change before it counts as motion, in percent.
    double MinAreaPct = kDefaultMinAreaPct;
    // Cells set here are not watched (a tree in the wind, a clock, a road).
    std::bitset<kMaskCells> Excluded;
    // Record only around motion ("移动侦测录像") instead of continuously ("连续录像").
    // Applies when the camera is recorded at all (RecordFlag) and Enabled.
    bool MotionOnlyRecording = false;

    static constexpr size_t Cell(int column, int row) {
        return static_cast<size_t>(row) * kMaskColumns + static_cast<size_t>(column);
    }
    bool operator==(const MotionSettings&) const = default;
};
