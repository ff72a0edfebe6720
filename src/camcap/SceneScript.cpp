#include "camcap/SceneScript.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numbers>

namespace {

std::string_view Trimmed(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// The whole of text as a finite number of seconds, not negative.
bool ParseSeconds(std::string_view text, double& seconds) {
    text = Trimmed(text);
    if (text.empty()) return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    return error == std::errc() && end == text.data() + text.size() && std::isfinite(seconds) &&
           seconds >= 0;
}

// Calls take(item) for each comma-separated item; false as soon as one is refused or blank.
template <typename Take>
bool ForEachItem(std::string_view text, Take take) {
    for (;;) {
        const size_t comma = text.find(',');
        if (!take(Trimmed(text.substr(0, comma)))) return false;
        if (comma == std::string_view::npos) return true;
        text.remove_prefix(comma + 1);
    }
}

}  // namespace

bool SceneScript::Add(std::string_view kind) {
    kind = Trimmed(kind);
    const size_t at = kind.find('@');
    const std::string_view name = Trimmed(kind.substr(0, at));
    const bool timed = at != std::string_view::npos;
    const std::string_view times = timed ? kind.substr(at + 1) : std::string_view();
    if (name == "motion" && timed) {
        std::vector<SceneInterval> crossings;
        const bool ok = ForEachItem(times, [&](std::string_view item) {
            const size_t dash = item.find('-');
            SceneInterval interval;
            if (dash == std::string_view::npos ||
                !ParseSeconds(item.substr(0, dash), interval.FromSeconds) ||
                !ParseSeconds(item.substr(dash + 1), interval.ToSeconds) ||
                interval.ToSeconds <= interval.FromSeconds) {
                return false;
            }
            crossings.push_back(interval);
            return true;
        });
        if (!ok) return false;
        Crossings.insert(Crossings.end(), crossings.begin(), crossings.end());
        return true;
    }
    if (name == "light" && timed) {
        std::vector<double> switches;
        const bool ok = ForEachItem(times, [&](std::string_view item) {
            double seconds = 0;
            if (!ParseSeconds(item, seconds)) return false;
            switches.push_back(seconds);
            return true;
        });
        if (!ok) return false;
        LampSwitches.insert(LampSwitches.end(), switches.begin(), switches.end());
        std::sort(LampSwitches.begin(), LampSwitches.end());
        return true;
    }
    if (timed) return false;
    if (name == "still") return true;
    if (name == "drift") {
        Drift = true;
        return true;
    }
    if (name == "noise") {
        NoiseSigma = kHeavyNoiseSigma;
        return true;
    }
    return false;
}

const SceneInterval* SceneScript::CrossingAt(double seconds) const {
    for (const SceneInterval& crossing : Crossings) {
        if (seconds >= crossing.FromSeconds && seconds < crossing.ToSeconds) return &crossing;
    }
    return nullptr;
}

int SceneScript::BrightnessAt(double seconds) const {
    const auto switched =
        std::upper_bound(LampSwitches.begin(), LampSwitches.end(), seconds) - LampSwitches.begin();
    double levels = switched % 2 == 1 ? kLampLevels : 0;
    if (Drift) {
        levels += kDriftLevels * std::sin(2 * std::numbers::pi * seconds / kDriftPeriodSeconds);
    }
    return int(std::lround(levels));
}
