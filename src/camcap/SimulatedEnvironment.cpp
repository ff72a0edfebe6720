#include "camcap/SimulatedEnvironment.h"

#include <charconv>
#include <cmath>

#include "camcap/SimulatedProfiles.h"

namespace {

std::string_view Trimmed(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// Calls take(entry) for each entry that is not blank, entries separated by separator.
template <typename Take>
void ForEachEntry(std::string_view text, Take take, char separator = ',') {
    while (!text.empty()) {
        const size_t end = text.find(separator);
        const std::string_view entry = Trimmed(text.substr(0, end));
        if (!entry.empty()) take(entry);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
}

// The whole of text as a number, or false.
template <typename Number>
bool ParseWhole(std::string_view text, Number& value) {
    text = Trimmed(text);
    if (text.empty()) return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

// "N:rest" with N in 1..maxCameras: the 0-based index and rest.
bool SplitCamera(std::string_view entry, int maxCameras, int& index, std::string_view& rest) {
    const size_t colon = entry.find(':');
    int number = 0;
    if (colon == std::string_view::npos || !ParseWhole(entry.substr(0, colon), number) ||
        number < 1 || number > maxCameras) {
        return false;
    }
    index = number - 1;
    rest = Trimmed(entry.substr(colon + 1));
    return true;
}

bool ParseKind(std::string_view text, SimulatedFaultKind& kind) {
    if (text == "stall") {
        kind = SimulatedFaultKind::Stall;
    } else if (text == "unplug") {
        kind = SimulatedFaultKind::Unplug;
    } else if (text == "nobandwidth") {
        kind = SimulatedFaultKind::NoBandwidth;
    } else {
        return false;
    }
    return true;
}

// "from-to" or "from", in seconds.
bool ParseWindow(std::string_view text, SimulatedFault& fault) {
    const size_t dash = text.find('-');
    if (!ParseWhole(text.substr(0, dash), fault.FromSeconds) || fault.FromSeconds < 0 ||
        !std::isfinite(fault.FromSeconds)) {
        return false;
    }
    if (dash == std::string_view::npos) return true;
    return ParseWhole(text.substr(dash + 1), fault.ToSeconds) && std::isfinite(fault.ToSeconds) &&
           fault.ToSeconds > fault.FromSeconds;
}

}  // namespace

std::map<int, const SimulatedProfile*> SimulatedEnvironment::ParseProfiles(
    std::string_view text, int maxCameras, std::vector<std::string>& rejected) {
    std::map<int, const SimulatedProfile*> profiles;
    ForEachEntry(text, [&](std::string_view entry) {
        int index = 0;
        std::string_view id;
        const SimulatedProfile* profile = nullptr;
        if (SplitCamera(entry, maxCameras, index, id)) profile = SimulatedProfiles::Find(id);
        if (profile == nullptr || id.empty()) {
            rejected.emplace_back(entry);
            return;
        }
        profiles[index] = profile;
    });
    return profiles;
}

std::vector<SimulatedFault> SimulatedEnvironment::ParseFaults(std::string_view text, int maxCameras,
                                                              std::vector<std::string>& rejected) {
    std::vector<SimulatedFault> faults;
    ForEachEntry(text, [&](std::string_view entry) {
        SimulatedFault fault;
        std::string_view rest;
        bool ok = SplitCamera(entry, maxCameras, fault.Index, rest);
        if (ok) {
            const size_t at = rest.find('@');
            ok = ParseKind(Trimmed(rest.substr(0, at)), fault.Kind) &&
                 (at == std::string_view::npos || ParseWindow(rest.substr(at + 1), fault));
        }
        if (ok) {
            faults.push_back(fault);
        } else {
            rejected.emplace_back(entry);
        }
    });
    return faults;
}

std::map<int, SceneScript> SimulatedEnvironment::ParseScenes(std::string_view text, int maxCameras,
                                                             std::vector<std::string>& rejected) {
    std::map<int, SceneScript> scenes;
    ForEachEntry(
        text,
        [&](std::string_view entry) {
            int index = 0;
            std::string_view kind;
            SceneScript script;
            if (SplitCamera(entry, maxCameras, index, kind)) {
                const auto it = scenes.find(index);
                if (it != scenes.end()) script = it->second;
                if (script.Add(kind)) {
                    scenes[index] = std::move(script);
                    return;
                }
            }
            rejected.emplace_back(entry);
        },
        ';');
    return scenes;
}
