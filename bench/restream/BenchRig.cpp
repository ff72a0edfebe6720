#include "BenchRig.h"

#include <stdlib.h>

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "capture/CameraCap.h"
#include "capture/Recorder.h"
#include "common/Messages.h"

namespace fs = std::filesystem;

namespace {
// Enough for every line of a run; later lines are counted as the last one.
constexpr size_t kMaxLogLines = 100000;
}  // namespace

// Copies each frame as a video cell would.
class CBenchRig::CCellTarget : public IFrameTarget {
public:
    void OnFrame(const VideoFrame& frame) override {
        const size_t bytes = static_cast<size_t>(frame.Stride) * frame.Height;
        if (frame.Pixels != nullptr && bytes > 0) {
            if (copy_.size() != bytes) copy_.resize(bytes);
            std::memcpy(copy_.data(), frame.Pixels, bytes);
        }
    }

private:
    std::vector<uint8_t> copy_;  // the library's delivering thread only
};

// Frees what is posted to it: the library's notices and the log lines.
class CBenchRig::CCountingWindow : public IWindowHandle {
public:
    bool Post(unsigned message, WPARAM wParam, LPARAM lParam) override {
        FreeMessagePayload(message, wParam, lParam);
        return true;
    }
    bool IsAlive() const override { return true; }
};

CBenchRig::CBenchRig() = default;

CBenchRig::~CBenchRig() {
    Stop();
    app_.reset();
    if (!folder_.empty()) {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
}

std::string CBenchRig::Start() {
    char pattern[] = "/tmp/orvex-restream-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) return "cannot make a temporary folder";
    folder_ = pattern;
    setenv("ORVEX_SIMULATED_CAMERAS", std::to_string(kCameras).c_str(), 1);
    setenv("GST_REGISTRY", (folder_ + "/gst-registry.bin").c_str(), 0);

    window_ = std::make_unique<CCountingWindow>();
    app_ = std::make_unique<CMonitorApp>(folder_ + "/bin/restream_bench");
    AppSettings settings = app_->Settings();
    settings.RecordDir = folder_ + "/rec";
    app_->SetSettings(settings);
    app_->SetMainWindow(window_.get());

    RestreamOptions options;
    options.Address = "127.0.0.1";
    options.Port = 0;
    options.User = kUser;
    options.Password = kPassword;
    server_ = std::make_unique<CRestreamServer>(options, [this](const std::string& line) {
        std::lock_guard lock(logMutex_);
        if (log_.size() < kMaxLogLines) log_.push_back(line);
    });
    const std::string failure = server_->Start();
    if (!failure.empty()) return failure;

    DeviceInfo devices[kMaxDevices];
    int32_t count = 0;
    CameraCap_EnumDevice(devices, &count);
    if (count < kCameras) return "only " + std::to_string(count) + " cameras listed";
    records_.assign(devices + count - kCameras, devices + count);
    for (int i = 0; i < kCameras; ++i) {
        const std::string name = "cam" + std::to_string(i + 1);
        records_[i].RecordFlag = 1;
        SetDeviceName(records_[i].CustomDeviceName, name.c_str());
        cells_.push_back(std::make_unique<CCellTarget>());
        taps_.push_back(std::make_unique<CRecordingTap>(server_->Publish(i + 1, name)));
        channels_.push_back(
            std::make_unique<CCameraChannel>([this] { return app_->Settings().RecordDir; }));
        // The tap is handed over while the channel is closed, as the program does.
        channels_.back()->SetStreamTap(taps_.back().get());
        if (channels_.back()->Open(cells_.back().get(), &records_[i], window_.get()) != 1)
            return std::string(records_[i].DeviceName) + " did not open";
    }
    return {};
}

void CBenchRig::Stop() {
    if (channels_.empty()) return;
    dropped_.assign(kCameras, 0);
    for (size_t i = 0; i < channels_.size(); ++i) {
        dropped_[i] = DroppedBytes(static_cast<int>(i) + 1);
        channels_[i]->Close();
        if (server_) server_->Unpublish(static_cast<int>(i) + 1);
    }
    channels_.clear();
    if (server_) server_->Stop();
    app_->SetMainWindow(nullptr);
}

std::string CBenchRig::Url(int camera1Based, bool withCredentials) const {
    return std::string("rtsp://") +
           (withCredentials ? std::string(kUser) + ":" + kPassword + "@" : "") +
           "127.0.0.1:" + std::to_string(Port()) + "/cam" + std::to_string(camera1Based);
}

uint64_t CBenchRig::DroppedBytes(int camera1Based) const {
    const size_t i = static_cast<size_t>(camera1Based - 1);
    if (i < channels_.size()) {
        const CRecorder* recorder = channels_[i]->Recorder();
        return recorder != nullptr ? recorder->DroppedBytes() : 0;
    }
    return i < dropped_.size() ? dropped_[i] : 0;
}

uint64_t CBenchRig::WrittenBytes(int camera1Based) const {
    uint64_t total = 0;
    std::error_code error;
    const fs::path below = fs::path(folder_) / "rec" / ("cam" + std::to_string(camera1Based));
    for (auto it = fs::recursive_directory_iterator(below, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        std::error_code sizeError;
        if (it->is_regular_file(sizeError)) total += it->file_size(sizeError);
    }
    return total;
}

int CBenchRig::LogLines(const std::string& text) const {
    std::lock_guard lock(logMutex_);
    int count = 0;
    for (const auto& line : log_) count += line.find(text) != std::string::npos ? 1 : 0;
    return count;
}
