// Reads what the environment asks of the simulated cameras besides their number:
// ORVEX_SIMULATED_PROFILES="1:mjpeg1080,2:yuyv" gives cameras (numbered from 1) a
// profile, ORVEX_SIMULATED_FAULTS="4:stall,2:unplug@20-30" a fault, for ever or from
// one second to another after the library started, ORVEX_SIMULATED_SCENES=
// "1:still;2:motion@10-15;2:light@20" a scripted picture (SceneScript.h). Entries that cannot be
// read are handed back to be reported, never acted on. Pure functions: any thread.
#pragma once

#include <limits>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "camcap/SceneScript.h"

struct SimulatedProfile;

enum class SimulatedFaultKind {
    Stall,        // opens and delivers nothing
    Unplug,       // gone: not listed, and a running stream fails with a read error
    NoBandwidth,  // every stream fails as it starts
};

struct SimulatedFault {
    int Index = 0;  // 0-based camera index
    SimulatedFaultKind Kind = SimulatedFaultKind::Stall;
    double FromSeconds = 0;
    double ToSeconds = std::numeric_limits<double>::infinity();

    // Whether the fault holds at that many seconds after the library started.
    bool ActiveAt(double seconds) const { return seconds >= FromSeconds && seconds < ToSeconds; }
};

namespace SimulatedEnvironment {

// Camera index (0-based) to its profile; entries naming no known profile or no
// camera 1..maxCameras go to rejected.
std::map<int, const SimulatedProfile*> ParseProfiles(std::string_view text, int maxCameras,
                                                     std::vector<std::string>& rejected);

// "N:kind" or "N:kind@from-to" (seconds; "@from" alone: from then on), kinds stall,
// unplug and nobandwidth; malformed entries go to rejected.
std::vector<SimulatedFault> ParseFaults(std::string_view text, int maxCameras,
                                        std::vector<std::string>& rejected);

// "N:kind" entries separated by ';' (a kind's times take the commas), several for one
// camera adding up; camera index (0-based) to its script. Malformed entries go to
// rejected and leave the script as it was.
std::map<int, SceneScript> ParseScenes(std::string_view text, int maxCameras,
                                       std::vector<std::string>& rejected);

}  // namespace SimulatedEnvironment
