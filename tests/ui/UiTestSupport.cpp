#include "UiTestSupport.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "config/CameraListFile.h"
#include "platform/ProfileIni.h"

DeviceInfo SimulatedRecord(int index) {
    DeviceInfo record;
    ZeroDeviceInfo(record);
    record.DeviceIndex = index;
    const std::string name = "Simulated Camera " + std::to_string(index + 1);
    SetDeviceName(record.DeviceName, name.c_str());
    SetDeviceName(record.CustomDeviceName, ("摄像头 " + std::to_string(index + 1)).c_str());
    record.Width = 640;
    record.Height = 480;
    record.FrameRate = 30;
    return record;
}

CUiHome::CUiHome(int cameras, int listed, bool openAtStart) {
    setenv("ORVEX_SIMULATED_CAMERAS", std::to_string(cameras).c_str(), 1);
    std::filesystem::create_directories(ExeDir());
    const std::string ini = ExeDir() + "OrvexCfg.ini";
    WriteProfileString(ini, "CFG", "RecordDir", RecordDir().c_str());
    WriteProfileString(ini, "CFG", "OpenVideoAfterStart", openAtStart ? "1" : "0");
    if (listed > 0) {
        std::vector<DeviceInfo> table;
        for (int i = 0; i < listed; ++i) table.push_back(SimulatedRecord(i));
        SaveCameraList(table.data(), listed, ExeDir() + "CameraList.xml");
    }
    app_ = std::make_unique<CMonitorApp>(ExeDir() + "OrvexClient");
    app_->InitInstance();
}

void CUiHome::SetSupportRecord(const std::string& value) {
    AppSettings settings = app_->Settings();
    settings.SupportRecord = value;
    app_->SetSettings(settings);
}

std::vector<std::string> CUiHome::LogLines() const {
    std::vector<std::string> lines;
    for (const std::string& file : testsupport::ListFiles(ExeDir() + "Log")) {
        std::ifstream in(file);
        for (std::string line; std::getline(in, line);) {
            // "yyyy-mm-dd hh:mm:ss mmm  text"
            lines.push_back(line.size() > 25 ? line.substr(25) : line);
        }
    }
    return lines;
}
