// What a simulated camera is scripted to show (ORVEX_SIMULATED_SCENES): a still room,
// a dark figure crossing it during given intervals, a lamp switched at given seconds,
// slow light drift and heavy sensor noise, in any combination. Seconds count from the
// library's start, the clock the simulated faults use. A plain value: any thread.
#pragma once

#include <string_view>
#include <vector>

struct SceneInterval {
    double FromSeconds = 0;
    double ToSeconds = 0;  // excluded
};

struct SceneScript {
    static constexpr double kStillNoiseSigma = 2.5;  // grey levels, a decent sensor by day
    static constexpr double kHeavyNoiseSigma = 12;   // a cheap sensor at night
    static constexpr int kLampLevels = 40;
    static constexpr int kDriftLevels = 20;
    static constexpr double kDriftPeriodSeconds = 300;

    std::vector<SceneInterval> Crossings;  // the figure crosses the picture once in each
    std::vector<double> LampSwitches;      // ascending; the lamp toggles at each
    bool Drift = false;
    double NoiseSigma = kStillNoiseSigma;

    // Adds one kind: "still", "motion@10-15,30-32", "light@20[,40...]", "drift" or
    // "noise". False, the script unchanged, when the text is not one of these.
    bool Add(std::string_view kind);

    // The crossing under way at seconds, or null.
    const SceneInterval* CrossingAt(double seconds) const;

    // Grey levels the lamp and the drift add to the whole picture at seconds.
    int BrightnessAt(double seconds) const;
};
