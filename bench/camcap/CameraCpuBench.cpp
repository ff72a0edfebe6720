// CPU seconds per second of video for one simulated camera, opened through the
// capture library with the x264 preset it uses (veryfast), shown to a frame target
// that copies each frame as a widget does, and its stream written to a file; next to
// the bare pipeline of the same work run as a gst-launch-1.0 child, with the same
// simulated source. Each run lasts the same time with a live source, so the figures
// compare like with like. The cameras:
//   - I420 640x480 and 1280x720 at 30/s (the default simulated camera): encode only;
//   - hd1080, MJPEG 1920x1080 at 30/s: decode, scale to 1280x720, encode;
//   - yuyv720, YUYV 1280x720 at 30/s: convert, encode.
// A simulated MJPEG camera encodes its JPEG pictures itself, which a real one does in
// its own hardware: the source alone is measured too, to be taken off both figures.
//
//   camcap_cpu_bench [seconds [profile]]   (default 20 s per run; every camera, or
//                                           those of one profile, "" the default one)
//
// The bare pipeline's display branch converts nothing for an I420 camera (videoconvert
// passes I420 through to fakesink), while the library must hand the target BGRx: one
// run of the bare pipeline converts to BGRx too, the like-for-like reference. The
// library's own overhead is its figure over that one, with a target of at most 1.10x.
#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "camcap/CameraCapTesting.h"
#include "camcap/CapturePipeline.h"
#include "camcap/SimulatedCameras.h"
#include "capture/CameraCap.h"

extern char** environ;

namespace {

constexpr int kDefaultSeconds = 20;

struct RunResult {
    std::string Name;
    double CpuSeconds = 0;
    double VideoSeconds = 0;
    long Frames = -1;  // shown frames; -1 when not known
    long long StreamBytes = 0;
    long Pictures = -1;  // access units in the recorded stream; -1 when none was written
    int Fps = 30;
    bool Ok = false;

    double CpuPerSecond() const { return VideoSeconds > 0 ? CpuSeconds / VideoSeconds : 0; }
    // A loaded machine makes a live source skip pictures, which lowers the figure per
    // second of running time: per second of video actually recorded compares like
    // with like.
    double CpuPerRecordedSecond() const {
        return Pictures > 0 ? CpuSeconds / (double(Pictures) / Fps) : CpuPerSecond();
    }
};

// The access units of an H.264 byte-stream file, as h264parse splits them; -1 when it
// cannot be read to its end.
long CountAccessUnits(const std::string& path) {
    const std::string description = "filesrc location=" + path +
                                    " ! h264parse ! video/x-h264,alignment=au ! appsink "
                                    "name=sink sync=false";
    GError* error = nullptr;
    GstElement* pipeline = gst_parse_launch(description.c_str(), &error);
    if (error != nullptr) {
        g_error_free(error);
        if (pipeline != nullptr) gst_object_unref(pipeline);
        return -1;
    }
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    long units = 0;
    while (GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 5 * GST_SECOND)) {
        gst_sample_unref(sample);
        ++units;
    }
    const bool ended = gst_app_sink_is_eos(GST_APP_SINK(sink));
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(sink);
    gst_object_unref(pipeline);
    return ended ? units : -1;
}

double Seconds(const timeval& t) {
    return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}

double CpuOf(const rusage& usage) {
    return Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
}

// A widget keeps a copy of the newest frame.
class CCopyTarget : public IFrameTarget {
public:
    void OnFrame(const VideoFrame& frame) override {
        const size_t bytes = size_t(frame.Stride) * frame.Height;
        pixels_.resize(bytes);
        std::memcpy(pixels_.data(), frame.Pixels, bytes);
        Frames.fetch_add(1);
    }
    std::atomic<long> Frames{0};

private:
    std::vector<uint8_t> pixels_;  // the library's display thread only
};

struct StreamFile {
    std::FILE* File = nullptr;
    std::atomic<long long> Bytes{0};
};

void WriteStream(int32_t, int32_t, const uint8_t* data, int32_t length, void* user) {
    auto* sink = static_cast<StreamFile*>(user);
    if (sink == nullptr || sink->File == nullptr || length <= 0) return;
    sink->Bytes.fetch_add(long(std::fwrite(data, 1, size_t(length), sink->File)));
}

constexpr const char* kPreset = "veryfast";
constexpr double kTargetRatio = 1.10;

// One simulated camera to measure: a profile (empty: the default camera) and, for the
// default camera, a picture size.
struct Camera {
    const char* Label;
    const char* Profile;
    int Width = 0;
    int Height = 0;
};

// Gives simulated camera 1 the case's profile and size; the mode the library captures
// it in.
CaptureMode UseCamera(const Camera& camera) {
    if (camera.Profile[0] != '\0') {
        setenv("ORVEX_SIMULATED_PROFILES", (std::string("1:") + camera.Profile).c_str(), 1);
    } else {
        unsetenv("ORVEX_SIMULATED_PROFILES");
    }
    CameraCapTest_SetSimulatedSize(camera.Width, camera.Height);
    return SimulatedCameras::Modes(0).front();
}

// The encoder settings the library uses for the mode.
std::string EncoderSettings(const CaptureMode& mode) {
    int width = 0, height = 0;
    CCapturePipeline::FittedSize(mode, width, height);
    const int fps = mode.FrameRate() > 0 ? mode.FrameRate() : 30;
    const double kbps = 2048.0 * width * height * fps / (640.0 * 480.0 * 30.0);
    const int bitrate = std::clamp(int(kbps), 512, 8192);
    return std::string("x264enc speed-preset=") + kPreset +
           " tune=zerolatency key-int-max=" + std::to_string(fps * 2) +
           " bitrate=" + std::to_string(bitrate);
}

// What the library does between the camera's pad and the tee: decode, scale, convert.
std::string CaptureChain(const CaptureMode& mode) {
    int width = 0, height = 0;
    CCapturePipeline::FittedSize(mode, width, height);
    std::string chain = mode.Encoding == CaptureEncoding::Mjpeg ? "jpegdec ! " : "";
    if (width != mode.Width || height != mode.Height) chain += "videoscale ! ";
    return chain + "videoconvert ! video/x-raw,format=I420,width=" + std::to_string(width) +
           ",height=" + std::to_string(height);
}

RunResult RunLibrary(int seconds, int fps, const std::string& folder, const std::string& tag) {
    RunResult result;
    result.Name = "library, x264 " + std::string(kPreset);
    CameraCapTest_SetEncoderPreset(kPreset);
    DeviceInfo devices[kMaxDevices];
    CameraKey keys[kMaxDevices];
    int32_t count = 0;
    CameraCap_EnumDeviceKeys(devices, keys, &count);
    const DeviceInfo* record = nullptr;
    for (int i = 0; i < count; ++i) {
        if (std::strcmp(keys[i].Text, "simulated:1") == 0) record = &devices[i];
    }
    CCopyTarget target;
    StreamFile stream;
    const std::string path = folder + "/library-" + tag + ".264";
    stream.File = std::fopen(path.c_str(), "wb");
    if (stream.File == nullptr || record == nullptr) {
        if (stream.File != nullptr) std::fclose(stream.File);
        return result;
    }

    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    const auto start = std::chrono::steady_clock::now();
    const int32_t handle = CameraCap_Open(&target, record, nullptr, &WriteStream, &stream);
    if (handle >= 0) {
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        CameraCap_Close(handle);
    }
    const auto end = std::chrono::steady_clock::now();
    getrusage(RUSAGE_SELF, &after);
    std::fclose(stream.File);
    CameraCapTest_SetEncoderPreset(nullptr);

    result.Ok = handle >= 0;
    result.CpuSeconds = CpuOf(after) - CpuOf(before);
    result.VideoSeconds = std::chrono::duration<double>(end - start).count();
    result.Frames = target.Frames.load();
    result.StreamBytes = stream.Bytes.load();
    result.Pictures = CountAccessUnits(path);
    result.Fps = fps;
    return result;
}

// Runs a gst-launch-1.0 child for seconds, then ends its stream; its CPU time.
RunResult RunLaunch(const std::string& name, const std::string& description, int seconds,
                    const std::string& output) {
    RunResult result;
    result.Name = name;
    std::vector<std::string> words = {"gst-launch-1.0", "-q", "-e"};
    std::istringstream split(description);
    for (std::string word; split >> word;) words.push_back(word);
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    const auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    if (posix_spawnp(&child, "gst-launch-1.0", nullptr, nullptr, argv.data(), environ) != 0) {
        return result;
    }
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    kill(child, SIGINT);  // -e turns it into end of stream: the file is finished cleanly
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    const auto end = std::chrono::steady_clock::now();

    result.Ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    result.CpuSeconds = CpuOf(usage);
    result.VideoSeconds = std::chrono::duration<double>(end - start).count();
    if (!output.empty()) {
        std::error_code error;
        result.StreamBytes = static_cast<long long>(std::filesystem::file_size(output, error));
    }
    return result;
}

// The bare pipeline of the library's work on the same source; displayCaps, when not
// empty, makes its display branch convert to the frame target's pixel format as the
// library must.
RunResult RunBare(const std::string& name, const CaptureMode& mode, const std::string& displayCaps,
                  int seconds, const std::string& folder) {
    const std::string path =
        folder + "/bare-" + std::to_string(std::hash<std::string>()(name + CaptureModeText(mode))) +
        ".264";
    const std::string description =
        SimulatedCameras::SourceDescription(0, mode) + " ! " + CaptureChain(mode) +
        " ! clockoverlay ! tee name=t ! queue ! " + EncoderSettings(mode) +
        " ! h264parse config-interval=-1 ! video/x-h264,stream-format=byte-stream,alignment=au"
        " ! filesink location=" +
        path + " t. ! queue leaky=downstream max-size-buffers=2 ! videoconvert ! " +
        (displayCaps.empty() ? "" : displayCaps + " ! ") + "fakesink";
    RunResult result = RunLaunch(name, description, seconds, path);
    result.Pictures = CountAccessUnits(path);
    result.Fps = mode.FrameRate();
    return result;
}

// The simulated camera alone: what it costs to make its pictures.
RunResult RunSource(const CaptureMode& mode, int seconds) {
    return RunLaunch("the simulated source alone",
                     SimulatedCameras::SourceDescription(0, mode) + " ! fakesink", seconds, "");
}

void Print(const RunResult& r) {
    std::printf("%-40s %s cpu %6.2f s over %5.1f s = %.3f cpu s per video s", r.Name.c_str(),
                r.Ok ? "  " : "!!", r.CpuSeconds, r.VideoSeconds, r.CpuPerSecond());
    if (r.Frames >= 0) std::printf(", %ld frames shown", r.Frames);
    if (r.Pictures >= 0) {
        std::printf(", %ld pictures recorded (%.1f s) = %.3f cpu s per recorded s", r.Pictures,
                    double(r.Pictures) / r.Fps, r.CpuPerRecordedSecond());
    }
    std::printf(", %.1f MiB stream\n", double(r.StreamBytes) / (1024.0 * 1024.0));
    std::fflush(stdout);
}

void PrintRatio(const char* what, const RunResult& a, const RunResult& b) {
    const double ratio =
        b.CpuPerRecordedSecond() > 0 ? a.CpuPerRecordedSecond() / b.CpuPerRecordedSecond() : 0;
    std::printf("  %-50s %.2fx per recorded s%s\n", what, ratio,
                ratio <= kTargetRatio ? "" : "  (above the 1.10x target)");
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : kDefaultSeconds;
    setenv("ORVEX_SIMULATED_CAMERAS", "1", 1);
    char pattern[] = "/tmp/orvex-camcap-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string folder = pattern;
    // Load GStreamer and its registry before anything is measured.
    DeviceInfo devices[kMaxDevices];
    int32_t count = 0;
    CameraCap_EnumDevice(devices, &count);

    std::printf("one simulated camera, x264 %s, %d s per run, %s\n", kPreset, seconds,
                SimulatedCameras::SourceDescription(0).c_str());
    const std::string bgrx = "video/x-raw,format=BGRx";
    const Camera cameras[] = {
        {"default camera, I420 640x480", "", 640, 480},
        {"default camera, I420 1280x720", "", 1280, 720},
        {"hd1080 camera", "hd1080"},
        {"yuyv720 camera", "yuyv720"},
    };
    for (const Camera& camera : cameras) {
        if (argc > 2 && std::strcmp(argv[2], camera.Profile) != 0) continue;
        const CaptureMode mode = UseCamera(camera);
        std::printf("\n%s, captured as %s:\n", camera.Label, CaptureModeText(mode).c_str());
        const bool raw420 = mode.Encoding == CaptureEncoding::Raw && mode.RawFormat == "I420";
        RunResult bare;
        if (raw420) {
            bare = RunBare("bare pipeline, I420 display", mode, "", seconds, folder);
            Print(bare);
        } else {
            Print(RunSource(mode, seconds));
        }
        const RunResult bareBgrx =
            RunBare("bare pipeline, BGRx display", mode, bgrx, seconds, folder);
        Print(bareBgrx);
        const RunResult library =
            RunLibrary(seconds, mode.FrameRate(), folder,
                       std::to_string(std::hash<std::string>()(camera.Label)));
        Print(library);
        PrintRatio("library / bare with BGRx display (like for like)", library, bareBgrx);
        if (raw420) PrintRatio("library / bare with I420 display", library, bare);
    }
    unsetenv("ORVEX_SIMULATED_PROFILES");
    CameraCapTest_SetSimulatedSize(0, 0);

    std::error_code error;
    std::filesystem::remove_all(folder, error);
    return 0;
}
