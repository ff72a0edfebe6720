#include "CamcapTestSupport.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "camcap/CameraCapTesting.h"
#include "common/DeviceInfo.h"
#include "common/Messages.h"

namespace {

// Creates the process's temporary folder before any test and removes it after all.
// GStreamer keeps its plugin registry there, so no test writes under $HOME.
class CTestFolderEnvironment : public testing::Environment {
public:
    // Runs before the first test, not at start-up: listing the tests creates nothing.
    void SetUp() override {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") +
                              "/orvex-camcap-XXXXXX";
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        if (mkdtemp(buffer.data()) != nullptr) folder_ = buffer.data();
        if (!folder_.empty()) setenv("GST_REGISTRY", (folder_ + "/gst-registry.bin").c_str(), 1);
    }
    void TearDown() override {
        std::error_code error;
        if (!folder_.empty()) std::filesystem::remove_all(folder_, error);
    }
    const std::string& Folder() const { return folder_; }

private:
    std::string folder_;
};

CTestFolderEnvironment* Environment() {
    // Owned by GoogleTest once registered.
    static CTestFolderEnvironment* environment = static_cast<CTestFolderEnvironment*>(
        testing::AddGlobalTestEnvironment(new CTestFolderEnvironment));
    return environment;
}

// Registered during static initialisation, before main runs any test.
const bool kEnvironmentRegistered = Environment() != nullptr;

}  // namespace

const std::string& TestFolder() {
    return Environment()->Folder();
}

void UseSimulatedCameras(int count) {
    setenv("ORVEX_SIMULATED_CAMERAS", std::to_string(count).c_str(), 1);
}

CSimulatedDevices::~CSimulatedDevices() {
    CameraCapTest_SimulatedReset();
}

DeviceInfo RecordFor(const char* deviceName, const char* customName, int index) {
    DeviceInfo record;
    ZeroDeviceInfo(record);
    record.DeviceIndex = index;
    SetDeviceName(record.DeviceName, deviceName);
    SetDeviceName(record.CustomDeviceName, customName);
    record.Width = 640;
    record.Height = 480;
    return record;
}

int UnexpectedMessages(const CCollectingWindow& window) {
    int unexpected = 0;
    for (const auto& posted : window.Messages()) {
        if (posted.Message != WM_LOG_TEXT || posted.LParam != 1 || posted.WParam == 0) ++unexpected;
    }
    return unexpected;
}

void CCopyingTarget::OnFrame(const VideoFrame& frame) {
    const bool bad = frame.Pixels == nullptr || frame.Width <= 0 || frame.Height <= 0 ||
                     frame.Stride < frame.Width * 4;
    if (!bad) {
        // Copy the picture as a widget keeps its newest frame.
        copy_.resize(size_t(frame.Stride) * frame.Height);
        std::memcpy(copy_.data(), frame.Pixels, copy_.size());
    }
    if (Delay.count() > 0) std::this_thread::sleep_for(Delay);  // a slow widget
    std::lock_guard<std::mutex> lock(mutex_);
    ++frames_;
    width_ = frame.Width;
    height_ = frame.Height;
    stride_ = frame.Stride;
    badFrame_ = badFrame_ || bad;
    arrived_.notify_all();
}

bool CCopyingTarget::WaitForFrames(int count, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    return arrived_.wait_for(lock, timeout, [&] { return frames_ >= count; });
}

bool CCopyingTarget::FrameAfter(int count, std::chrono::milliseconds timeout) {
    return WaitForFrames(count + 1, timeout);
}

int CCopyingTarget::Frames() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return frames_;
}
int CCopyingTarget::LastWidth() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return width_;
}
int CCopyingTarget::LastHeight() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return height_;
}
int CCopyingTarget::LastStride() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return stride_;
}
bool CCopyingTarget::SawBadFrame() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return badFrame_;
}

NalTypes ParseNalTypes(const uint8_t* data, size_t length) {
    NalTypes types;
    size_t i = 0;
    while (i + 3 <= length) {
        // A start code is 00 00 01 (a four-byte one ends in the same three bytes).
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) {
            if (i + 3 < length) types.push_back(data[i + 3] & 0x1F);
            i += 3;
        } else {
            ++i;
        }
    }
    return types;
}

int FirstSliceType(const std::vector<NalTypes>& units) {
    for (const NalTypes& unit : units) {
        for (int type : unit) {
            if (type >= 1 && type <= kNalIdr) return type;
        }
    }
    return 0;
}

bool HasIdr(const NalTypes& unit) {
    for (int type : unit) {
        if (type == kNalIdr) return true;
    }
    return false;
}

int IdrsWithoutParameterSets(const std::vector<NalTypes>& units) {
    int bad = 0;
    for (const NalTypes& unit : units) {
        bool sps = false, pps = false;
        for (int type : unit) {
            if (type == kNalSps) sps = true;
            if (type == kNalPps) pps = true;
            if (type == kNalIdr) {
                if (!sps || !pps) ++bad;
                break;
            }
        }
    }
    return bad;
}

void CStreamCollector::StreamProc(int32_t, int32_t, const uint8_t* data, int32_t length,
                                  void* user) {
    auto* self = static_cast<CStreamCollector*>(user);
    if (self == nullptr) return;
    if (self->closed_.load()) self->calledAfterClose_.store(true);
    NalTypes types = ParseNalTypes(data, length > 0 ? size_t(length) : 0);
    const bool key = HasIdr(types);
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard<std::mutex> lock(self->mutex_);
    if (!self->units_.empty()) {
        self->longestPause_ =
            std::max(self->longestPause_,
                     std::chrono::duration_cast<std::chrono::milliseconds>(now - self->last_));
    }
    self->last_ = now;
    self->bytes_.insert(self->bytes_.end(), data, data + (length > 0 ? length : 0));
    self->units_.push_back(std::move(types));
    if (key) ++self->keyFrames_;
    self->arrived_.notify_all();
}

bool CStreamCollector::WaitForCallbacks(int count, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    return arrived_.wait_for(lock, timeout, [&] { return int(units_.size()) >= count; });
}

bool CStreamCollector::WaitForKeyFrames(int count, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    return arrived_.wait_for(lock, timeout, [&] { return keyFrames_ >= count; });
}

bool CStreamCollector::CallbackAfter(int count, std::chrono::milliseconds timeout) {
    return WaitForCallbacks(count + 1, timeout);
}

bool CStreamCollector::FallsQuiet(std::chrono::milliseconds quiet,
                                  std::chrono::milliseconds bound) {
    const auto end = std::chrono::steady_clock::now() + bound;
    while (std::chrono::steady_clock::now() < end) {
        if (!CallbackAfter(Callbacks(), quiet)) return true;
    }
    return false;
}

int CStreamCollector::Callbacks() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return int(units_.size());
}

int CStreamCollector::KeyFrames() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return keyFrames_;
}

std::vector<uint8_t> CStreamCollector::Bytes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return bytes_;
}

std::chrono::milliseconds CStreamCollector::LongestPause() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return longestPause_;
}

std::vector<NalTypes> CStreamCollector::AccessUnits() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return units_;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return {};
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file),
                                std::istreambuf_iterator<char>());
}

bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(file.flush());
}

int DecodeH264File(const std::string& path, int& width, int& height) {
    gst_init(nullptr, nullptr);
    GError* error = nullptr;
    GstElement* pipeline = gst_parse_launch(
        "filesrc name=file ! h264parse ! avdec_h264 ! appsink name=sink sync=false", &error);
    if (error != nullptr) {
        g_error_free(error);
        if (pipeline != nullptr) gst_object_unref(pipeline);
        return -1;
    }
    GstElement* file = gst_bin_get_by_name(GST_BIN(pipeline), "file");
    g_object_set(file, "location", path.c_str(), nullptr);
    gst_object_unref(file);
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    int frames = 0;
    while (GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 10 * GST_SECOND)) {
        GstStructure* s = gst_caps_get_structure(gst_sample_get_caps(sample), 0);
        gst_structure_get_int(s, "width", &width);
        gst_structure_get_int(s, "height", &height);
        gst_sample_unref(sample);
        ++frames;
    }
    const bool ended = gst_app_sink_is_eos(GST_APP_SINK(sink));
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(sink);
    gst_object_unref(pipeline);
    return ended ? frames : -1;
}

bool DecodeJpeg(const std::string& path, int& width, int& height) {
    gst_init(nullptr, nullptr);
    const std::string description = "filesrc name=file ! jpegdec ! appsink name=sink sync=false";
    GError* error = nullptr;
    GstElement* pipeline = gst_parse_launch(description.c_str(), &error);
    if (error != nullptr) {
        g_error_free(error);
        if (pipeline != nullptr) gst_object_unref(pipeline);
        return false;
    }
    GstElement* file = gst_bin_get_by_name(GST_BIN(pipeline), "file");
    g_object_set(file, "location", path.c_str(), nullptr);
    gst_object_unref(file);
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 5 * GST_SECOND);
    bool decoded = false;
    if (sample != nullptr) {
        GstStructure* s = gst_caps_get_structure(gst_sample_get_caps(sample), 0);
        decoded = gst_structure_get_int(s, "width", &width) &&
                  gst_structure_get_int(s, "height", &height);
        gst_sample_unref(sample);
    }
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(sink);
    gst_object_unref(pipeline);
    return decoded;
}
