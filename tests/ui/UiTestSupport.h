// What the main window's tests share: a home for the program in a temporary folder
// (the executable's folder with its settings, camera list and log, and a recording
// folder), simulated cameras, and waits on conditions with generous bounds.
#pragma once

#include <QString>
#include <memory>
#include <string>
#include <vector>

#include "app/MonitorApp.h"
#include "common/DeviceInfo.h"
#include "support/TestSupport.h"

int RunMonitorLayoutTests(int argc, char** argv);
int RunMonitorDlgTests(int argc, char** argv);

constexpr int kUiWaitMs = 30000;  // bound of every wait for cameras and the loader

class CUiHome {
public:
    // cameras: simulated cameras offered; listed: the first of them written to the
    // camera list (none: no file); openAtStart: OpenVideoAfterStart.
    CUiHome(int cameras, int listed, bool openAtStart);

    CMonitorApp& App() { return *app_; }
    // As the settings dialog stores it.
    void SetSupportRecord(const std::string& value);
    std::string ExeDir() const { return dir_.Path() + "/bin/"; }
    std::string RecordDir() const { return dir_.Path() + "/rec"; }
    // The lines of the day's log files, without their stamps, oldest first.
    std::vector<std::string> LogLines() const;

private:
    testsupport::TempDir dir_;
    std::unique_ptr<CMonitorApp> app_;
};

// The record the camera list file holds for simulated camera index (0-based).
DeviceInfo SimulatedRecord(int index);
