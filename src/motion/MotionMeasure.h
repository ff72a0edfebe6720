// What one analysis of a picture found.
#pragma once

struct MotionMeasure {
    double ChangedPct = 0;     // of the watched cells' area, 0 to 100
    bool LightChange = false;  // the picture changed as a whole: not motion
};
