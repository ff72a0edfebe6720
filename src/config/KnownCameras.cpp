#include "config/KnownCameras.h"

#include <algorithm>
#include <cstring>

namespace {

bool SameName(const DeviceInfo& a, const DeviceInfo& b) {
    return std::strncmp(a.DeviceName, b.DeviceName, sizeof a.DeviceName) == 0;
}

int CountNamed(const std::vector<DeviceInfo>& records, const DeviceInfo& like) {
    return static_cast<int>(std::count_if(records.begin(), records.end(),
                                          [&](const DeviceInfo& r) { return SameName(r, like); }));
}

const DeviceInfo* Match(const DeviceInfo& found, const std::vector<DeviceInfo>& discovered,
                        const std::vector<DeviceInfo>& known) {
    for (const DeviceInfo& candidate : known) {
        if (SameIdentity(found, candidate)) return &candidate;
    }
    for (const DeviceInfo& candidate : known) {
        if (!HasCameraIdentity(candidate) && SameName(found, candidate) &&
            CountNamed(known, candidate) == 1 && CountNamed(discovered, found) == 1) {
            return &candidate;
        }
    }
    return nullptr;
}

}  // namespace

int KeepOperatorChoices(std::vector<DeviceInfo>& discovered, const std::vector<DeviceInfo>& known) {
    int kept = 0;
    const std::vector<DeviceInfo> asFound = discovered;
    for (DeviceInfo& found : discovered) {
        const DeviceInfo* match = Match(found, asFound, known);
        if (match == nullptr) continue;
        std::memcpy(found.CustomDeviceName, match->CustomDeviceName, sizeof found.CustomDeviceName);
        found.RecordFlag = match->RecordFlag;
        ++kept;
    }
    return kept;
}
