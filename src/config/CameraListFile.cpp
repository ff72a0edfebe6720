// Placeholder until the camera list file is written.
#include "config/CameraListFile.h"

#include "app/MonitorApp.h"

std::string CameraListPath() {
    CMonitorApp* app = TheApp();
    return (app != nullptr ? app->ExeDir() : std::string("./")) + "CameraList.xml";
}
bool SaveCameraList(const DeviceInfo*, int, const std::string&) { return false; }
bool SaveCameraList(const DeviceInfo* table, int count) {
    return SaveCameraList(table, count, CameraListPath());
}
int ReadCameraList(const std::string&, DeviceInfo*, int* count, bool) {
    *count = 0;
    return 0;
}
int LoadCameraList(HWND) { return 0; }
