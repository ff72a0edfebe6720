#include "common/DeviceInfo.h"

#include <cstring>
#include <new>

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
