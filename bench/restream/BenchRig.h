// The scene every mode measures: four simulated 640x480 cameras at 30 pictures per
// second opened through camera channels and recorded into a temporary folder, as the
// program records them, each published by a restream server on 127.0.0.1 through a
// recording tap.
//
// Threads: everything from the benchmark's main thread; the taps and the frame
// counters are called on the capture threads, the log function on the server's.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "RecordingTap.h"
#include "app/MonitorApp.h"
#include "capture/CameraChannel.h"
#include "common/DeviceInfo.h"
#include "restream/RestreamServer.h"

class CBenchRig {
public:
    static constexpr int kCameras = 4;
    static constexpr char kUser[] = "bench";
    static constexpr char kPassword[] = "rbench-pass";

    CBenchRig();
    // Closes the cameras, stops the server and removes the folder.
    ~CBenchRig();
    CBenchRig(const CBenchRig&) = delete;
    CBenchRig& operator=(const CBenchRig&) = delete;

    // Empty on success, else what failed.
    std::string Start();
    // Closes the cameras (after noting their recorders' dropped bytes) and the server.
    void Stop();

    int Port() const { return server_ ? server_->BoundPort() : 0; }
    std::string Url(int camera1Based, bool withCredentials) const;
    const CRecordingTap& Tap(int camera1Based) const { return *taps_[camera1Based - 1]; }
    // Bytes the camera's recorder has dropped so far (kept after Stop).
    uint64_t DroppedBytes(int camera1Based) const;
    uint64_t WrittenBytes(int camera1Based) const;
    // Server log lines containing text.
    int LogLines(const std::string& text) const;
    const std::string& Folder() const { return folder_; }

private:
    class CCellTarget;
    class CCountingWindow;

    std::string folder_;
    std::unique_ptr<CCountingWindow> window_;
    std::unique_ptr<CMonitorApp> app_;
    std::unique_ptr<CRestreamServer> server_;
    std::vector<DeviceInfo> records_;
    std::vector<std::unique_ptr<CCellTarget>> cells_;
    std::vector<std::unique_ptr<CRecordingTap>> taps_;
    std::vector<std::unique_ptr<CCameraChannel>> channels_;
    std::vector<uint64_t> dropped_;  // noted at Stop
    mutable std::mutex logMutex_;
    std::vector<std::string> log_;  // under logMutex_; the server's threads append
};
