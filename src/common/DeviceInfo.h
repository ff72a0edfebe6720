// The 544-byte camera record shared with the capture library, and the camera
// table of 10 records that carries a camera list between threads and windows.
// Records are copied whole; every holder owns its own copy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

struct DeviceInfo {
    int32_t DeviceIndex;         // position in the capture library's enumeration
    uint32_t Reserved1;          // with Reserved2 and Reserved3: the camera's identity
    char DeviceName[256];        // as the library reports it, NUL-terminated
    char CustomDeviceName[256];  // the operator's name; the recordings' folder
    int32_t RecordFlag;          // 1 when the channel records; never set by the library
    uint32_t Reserved2;
    int32_t Width;
    int32_t Height;
    int32_t FrameRate;
    uint32_t Reserved3;
};

static_assert(sizeof(DeviceInfo) == 544);
static_assert(offsetof(DeviceInfo, DeviceIndex) == 0);
static_assert(offsetof(DeviceInfo, Reserved1) == 4);
static_assert(offsetof(DeviceInfo, DeviceName) == 8);
static_assert(offsetof(DeviceInfo, CustomDeviceName) == 264);
static_assert(offsetof(DeviceInfo, RecordFlag) == 520);
static_assert(offsetof(DeviceInfo, Reserved2) == 524);
static_assert(offsetof(DeviceInfo, Width) == 528);
static_assert(offsetof(DeviceInfo, Height) == 532);
static_assert(offsetof(DeviceInfo, FrameRate) == 536);
static_assert(offsetof(DeviceInfo, Reserved3) == 540);

constexpr int kCameraTableRecords = 10;
constexpr size_t kCameraTableBytes = kCameraTableRecords * sizeof(DeviceInfo);
static_assert(kCameraTableBytes == 5440);

// All 544 bytes zero.
void ZeroDeviceInfo(DeviceInfo& record);

// Writes text into a 256-byte name field, cut at a character boundary so that the
// field always ends with a NUL within its 256 bytes.
void SetDeviceName(char (&field)[256], const char* text);

// A camera table on the heap (10 zeroed records), as carried by WM_CAMERA_LIST.
// Null when it cannot be allocated. Freed only with FreeCameraTable.
DeviceInfo* NewCameraTable();
void FreeCameraTable(DeviceInfo* table);

// A camera's identity: a 96-bit digest of its stable key (the USB serial or port path
// the capture library reports), kept in the three reserved words so that it travels
// wherever the record is copied, the 5440-byte camera table included. The capture
// library writes it when it enumerates, the camera list reader from the key file
// beside the list; every other holder carries it unchanged. All three words zero: no
// identity, as in a list written before keys were kept; such a record is found by
// DeviceName and DeviceIndex as before.
void SetCameraIdentity(DeviceInfo& record, std::string_view key);
bool HasCameraIdentity(const DeviceInfo& record);
// Both records carry an identity and it is the same.
bool SameIdentity(const DeviceInfo& a, const DeviceInfo& b);
// The same physical camera: by identity when both carry one, else by DeviceName.
bool IsSameCamera(const DeviceInfo& a, const DeviceInfo& b);
