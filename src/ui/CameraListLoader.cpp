#include "ui/CameraListLoader.h"

#include <cstdio>

#include "app/MonitorApp.h"
#include "config/CameraListFile.h"

int32_t CameraListLoader(void* user) {
    if (user == nullptr) return 0;
    ILoaderHost& host = *static_cast<ILoaderHost*>(user);
    host.PostSettingsEnabled(false);
    if (!host.WaitOrStop(kLoaderDelayMs)) {
        AppLog("开始加载摄像机列表");
        const AppSettings settings = host.Settings();
        const int count =
            LoadCameraList(host.ListWindow(), host.CameraListPath(), settings.IsSupportRecord());
        if (count > 0) {
            char line[128];
            std::snprintf(line, sizeof line, "从XML文件中成功读取到%d个摄像头设备", count);
            AppLog(line);
        } else {
            AppLog("读取摄像机列表失败，请到系统配置中获取设备列表");
        }
        if (settings.IsOpenVideoAfterStart()) host.PostOpenFirstCameras();
        if (!host.WaitOrStop(kLoaderDelayMs)) {
            host.PostToggleInfoBar();
            AppLog("自动隐藏信息栏");
        }
    }
    host.PauseLoader();
    host.PostSettingsEnabled(true);
    return 0;
}
