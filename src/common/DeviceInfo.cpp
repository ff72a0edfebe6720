#include "common/DeviceInfo.h"

#include <cstring>
#include <new>
#include <string_view>

#include "platform/Text.h"

void ZeroDeviceInfo(DeviceInfo& record) {
    std::memset(&record, 0, sizeof record);
}

void SetDeviceName(char (&field)[256], const char* text) {
    std::memset(field, 0, sizeof field);
    CopyTextCut(field, sizeof field, text);
}

DeviceInfo* NewCameraTable() {
    DeviceInfo* table = new (std::nothrow) DeviceInfo[kCameraTableRecords];
    if (table != nullptr) std::memset(table, 0, kCameraTableBytes);
    return table;
}

void FreeCameraTable(DeviceInfo* table) {
    delete[] table;
}

namespace {
// FNV-1a, 64 bits, with a seed: two runs with different seeds give the 96 bits.
uint64_t Fnv1a(std::string_view text, uint64_t seed) {
    uint64_t hash = seed;
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ULL;
    }
    return hash;
}
}  // namespace

void SetCameraIdentity(DeviceInfo& record, std::string_view key) {
    const uint64_t high = Fnv1a(key, 0xcbf29ce484222325ULL);
    const uint64_t low = Fnv1a(key, 0x84222325cbf29ce4ULL);
    record.Reserved1 = static_cast<uint32_t>(high >> 32);
    record.Reserved2 = static_cast<uint32_t>(high);
    record.Reserved3 = static_cast<uint32_t>(low);
    // All zero means "none"; no key may look like that.
    if (!HasCameraIdentity(record)) record.Reserved3 = 1;
}

bool HasCameraIdentity(const DeviceInfo& record) {
    return record.Reserved1 != 0 || record.Reserved2 != 0 || record.Reserved3 != 0;
}

bool SameIdentity(const DeviceInfo& a, const DeviceInfo& b) {
    return HasCameraIdentity(a) && a.Reserved1 == b.Reserved1 && a.Reserved2 == b.Reserved2 &&
           a.Reserved3 == b.Reserved3;
}

bool IsSameCamera(const DeviceInfo& a, const DeviceInfo& b) {
    if (HasCameraIdentity(a) && HasCameraIdentity(b)) return SameIdentity(a, b);
    return strncmp(a.DeviceName, b.DeviceName, sizeof a.DeviceName) == 0;
}
