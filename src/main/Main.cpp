// Console start of the core, until the main window exists: reads the settings with
// their defaults, starts the day's log file, reads the camera list and says where
// each file lives.
#include <cstdio>

#include "app/MonitorApp.h"
#include "common/DeviceInfo.h"
#include "config/CameraListFile.h"

int main() {
    CMonitorApp app;
    app.InitInstance([](CMonitorApp& a) {
        AppLog("OrvexClient 启动");
        std::printf("Executable folder: %s\n", a.ExeDir().c_str());
        std::printf("Settings file:     %s\n", a.ConfigPath().c_str());
        std::printf("Camera list:       %s\n", CameraListPath().c_str());
        std::printf("Log folder:        %sLog/\n", a.ExeDir().c_str());
        std::printf("RecordDir=%s RecordSaveDay=%d SupportRecord=%s OpenVideoAfterStart=%s\n",
                    a.RecordDir().c_str(), a.RecordSaveDay(), a.SupportRecord().c_str(),
                    a.OpenVideoAfterStart().c_str());
        DeviceInfo table[kCameraTableRecords];
        int count = 0;
        const int result = ReadCameraList(CameraListPath(), table, &count, a.IsSupportRecord());
        if (result > 0) {
            char line[128];
            std::snprintf(line, sizeof line, "从XML文件中成功读取到%d个摄像头设备", count);
            AppLog(line);
        } else {
            AppLog("读取摄像机列表失败，请到系统配置中获取设备列表");
        }
        for (int i = 0; i < count; ++i) {
            std::printf("Camera %d: %s (%s) %dx%d record=%d\n", table[i].DeviceIndex,
                        table[i].CustomDeviceName, table[i].DeviceName, table[i].Width,
                        table[i].Height, table[i].RecordFlag);
        }
    });
    app.ExitInstance();
    return 0;
}
