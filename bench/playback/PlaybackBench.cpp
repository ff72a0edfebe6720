// Measures playback and export against their targets on recordings made here: 640x480
// pictures at 2 Mbit/s as a camera records them, in files of 64 MiB, each picture
// stamped with its index (tests/playback/PictureStamp.h) so that its true time is known.
//
//   seek    from a seek to the picture of that time shown, ~30 random seeks in a 64 MiB
//           file; and from a new player's Open to its first picture
//   time    the time the player gives each picture against its recorded time, through
//           a 64 MiB file at 30 a second and through one whose rate falls to 7.5 and back
//   pace    1x against the wall clock, for --pace-seconds (600; --quick: 60)
//   export  a 10-minute span to MP4: how long, its duration, and whether it decodes in
//           GStreamer and in FFmpeg (ffprobe, when installed)
//   eightx  four simulated cameras recording with the real recorder and catalog while
//           one recording plays at 8x: bytes dropped by any recorder
//
//   playback_bench [--quick] [--pace-seconds N] [--eightx-seconds N] [--keep] [folder]
#include <stdlib.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "MemoryCatalog.h"
#include "PictureStamp.h"
#include "SyntheticRecorder.h"
#include "app/MonitorApp.h"
#include "capture/CameraCap.h"
#include "capture/CameraChannel.h"
#include "capture/Recorder.h"
#include "catalog/Catalog.h"
#include "common/Messages.h"
#include "playback/GstSupport.h"
#include "playback/Player.h"
#include "playback/SpanExport.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int kBitrateKbps = 2048;  // what the capture library gives 640x480 at 30
constexpr uint64_t kFileBytes = 64ull << 20;
constexpr int kChunkPictures = 900;          // encoded at a time
constexpr int64_t kStartMs = 1796036400000;  // 2026-11-30 11:00 UTC
constexpr int kSeeks = 31;
constexpr int kOpens = 5;
constexpr int64_t kExportSpanMs = 10 * 60 * 1000;
constexpr int kCameras = 4;
constexpr auto kWaitBound = std::chrono::seconds(60);  // for any one picture, on a loaded machine

double Ms(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double Percentile(std::vector<double> values, double share) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<size_t>(share * values.size()))];
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

const char* Verdict(bool met) {
    return met ? "met" : "MISSED";
}

// A recording made here: the camera's name and the true time of every picture, by the
// index stamped into it.
struct Recording {
    std::string Camera;
    std::vector<int64_t> TimesMs;
    std::vector<std::string> Paths;
    uint64_t Bytes = 0;
};

// Records pictures at the times `next` gives, chunk by chunk, into files of 64 MiB,
// until `files` files are full.
bool Record(CMemoryCatalog& catalog, const std::string& dir, Recording& recording, int files,
            const std::function<std::vector<int64_t>(int64_t lastMs)>& next) {
    CSyntheticRecorder recorder(catalog, dir, recording.Camera, kWidth, kHeight);
    CSyntheticRecorder::Look look;
    look.Pattern = "pattern=smpte horizontal-speed=2";
    look.BitrateKbps = kBitrateKbps;
    look.Stamped = true;
    recorder.SetLook(look);
    for (int file = 0; file < files; ++file) {
        do {
            const std::vector<int64_t> times =
                next(recording.TimesMs.empty() ? kStartMs - 33 : recording.TimesMs.back());
            if (!recorder.Record(times)) return false;
            recording.TimesMs.insert(recording.TimesMs.end(), times.begin(), times.end());
        } while (recorder.Bytes() < kFileBytes);
        recording.Paths.push_back(recorder.Path());
        recording.Bytes += recorder.Bytes();
        recorder.Finish();
    }
    return true;
}

// What the player showed: each picture's reported time, its stamp and when it came.
class CPictureLog : public IFrameTarget, public IPlayerListener {
public:
    struct Entry {
        int64_t TimeMs = 0;
        int64_t Stamp = -1;
        Clock::time_point At;
    };

    void OnFrame(const VideoFrame& frame) override { stamp_ = PictureStamp::Read(frame); }
    void OnPicture(int64_t timeMs) override {
        const Entry entry{timeMs, stamp_, Clock::now()};
        {
            std::lock_guard<std::mutex> lock(lock_);
            entries_.push_back(entry);
        }
        changed_.notify_all();
    }

    size_t Count() const {
        std::lock_guard<std::mutex> lock(lock_);
        return entries_.size();
    }
    // Waits until more than `count` pictures were shown; false after the bound.
    bool WaitBeyond(size_t count, std::chrono::seconds bound = kWaitBound) {
        std::unique_lock<std::mutex> lock(lock_);
        return changed_.wait_for(lock, bound, [&] { return entries_.size() > count; });
    }
    // Waits until a picture at or after timeMs was shown after the first `count`, or
    // the bound.
    bool WaitTime(int64_t timeMs, std::chrono::seconds bound, size_t count = 0) {
        std::unique_lock<std::mutex> lock(lock_);
        return changed_.wait_for(lock, bound, [&] {
            return entries_.size() > count && entries_.back().TimeMs >= timeMs;
        });
    }
    Entry At(size_t index) const {
        std::lock_guard<std::mutex> lock(lock_);
        return entries_.at(index);
    }
    std::vector<Entry> Since(size_t index) const {
        std::lock_guard<std::mutex> lock(lock_);
        return {entries_.begin() + std::min(index, entries_.size()), entries_.end()};
    }

private:
    int64_t stamp_ = -1;  // the player's thread only, from OnFrame to OnPicture
    mutable std::mutex lock_;
    std::condition_variable changed_;
    std::vector<Entry> entries_;  // guarded by lock_
};

// How far the reported times stray from the stamped ones.
struct TimeErrors {
    size_t Pictures = 0;
    size_t Unstamped = 0;
    int64_t WorstMs = 0;
};

TimeErrors Compare(const std::vector<CPictureLog::Entry>& entries, const Recording& recording) {
    TimeErrors errors;
    for (const auto& entry : entries) {
        ++errors.Pictures;
        if (entry.Stamp < 0 || entry.Stamp >= static_cast<int64_t>(recording.TimesMs.size())) {
            ++errors.Unstamped;
            continue;
        }
        errors.WorstMs =
            std::max(errors.WorstMs, std::abs(entry.TimeMs - recording.TimesMs[entry.Stamp]));
    }
    return errors;
}

void BenchSeek(const CMemoryCatalog& catalog, const Recording& recording, int64_t fileEndMs) {
    std::mt19937 random(14);
    std::uniform_int_distribution<int64_t> anywhere(kStartMs, fileEndMs - 1);
    std::vector<double> opens;
    for (int i = 0; i < kOpens; ++i) {
        CPictureLog log;
        const auto begin = Clock::now();
        CPlayer player(catalog, &log, &log);
        player.Open(recording.Camera, anywhere(random));
        if (!log.WaitBeyond(0)) {
            std::printf("seek: a new player showed no picture\n");
            return;
        }
        opens.push_back(Ms(log.At(0).At - begin));
    }

    CPictureLog log;
    CPlayer player(catalog, &log, &log);
    player.Open(recording.Camera, kStartMs);
    if (!log.WaitBeyond(0)) return;
    std::vector<double> seeks;
    int wrongPicture = 0;
    int64_t worstTimeMs = 0;
    for (int i = 0; i < kSeeks; ++i) {
        const int64_t target = anywhere(random);
        const size_t before = log.Count();
        const auto begin = Clock::now();
        player.Seek(target);
        if (!log.WaitBeyond(before)) {
            std::printf("seek: no picture after a seek to %lld\n", static_cast<long long>(target));
            return;
        }
        const CPictureLog::Entry shown = log.At(before);
        seeks.push_back(Ms(shown.At - begin));
        // The picture of that time: the first at or after it, pictures 33 ms apart.
        if (shown.TimeMs < target || shown.TimeMs > target + 34) ++wrongPicture;
        worstTimeMs = std::max(worstTimeMs, Compare({shown}, recording).WorstMs);
    }
    const double median = Median(seeks);
    std::printf(
        "seek: %d random seeks in a %.1f MiB file (%.0f s): median %.0f ms, p90 %.0f ms, "
        "max %.0f ms (target median <= 300 ms: %s); pictures not of the time asked "
        "for: %d; worst time error %lld ms\n",
        kSeeks, recording.Bytes / double(recording.Paths.size()) / (1 << 20),
        (fileEndMs - kStartMs) / 1000.0, median, Percentile(seeks, 0.9),
        *std::max_element(seeks.begin(), seeks.end()), Verdict(median <= 300), wrongPicture,
        static_cast<long long>(worstTimeMs));
    const double worstOpen = *std::max_element(opens.begin(), opens.end());
    std::printf(
        "seek: first picture after a new player's Open, %d times: median %.0f ms, max "
        "%.0f ms (target <= 1000 ms: %s)\n",
        kOpens, Median(opens), worstOpen, Verdict(worstOpen <= 1000));
}

// Plays [fromMs, toMs] of a recording at 8x and compares every picture's time.
void BenchTime(const CMemoryCatalog& catalog, const Recording& recording, int64_t fromMs,
               int64_t toMs, const char* what) {
    CPictureLog log;
    CPlayer player(catalog, &log, &log);
    player.SetRate(CPlayer::kMaxRate);
    player.Open(recording.Camera, fromMs);
    player.Play();
    const auto begin = Clock::now();
    const auto bound = std::chrono::seconds((toMs - fromMs) / 1000 / 2 + 60);
    const bool reached = log.WaitTime(toMs, bound);
    const TimeErrors errors = Compare(log.Since(0), recording);
    std::printf(
        "time: %s, %.0f s played at 8x in %.1f s%s: %zu pictures, worst |shown - "
        "recorded| %lld ms (target <= 1000 ms: %s), %zu pictures without a readable "
        "stamp\n",
        what, (toMs - fromMs) / 1000.0, Ms(Clock::now() - begin) / 1000.0,
        reached ? "" : " (did NOT reach the end)", errors.Pictures,
        static_cast<long long>(errors.WorstMs),
        Verdict(reached && errors.WorstMs <= 1000 && errors.Unstamped == 0), errors.Unstamped);
}

void BenchPace(const CMemoryCatalog& catalog, const Recording& recording, int seconds, bool quick) {
    CPictureLog log;
    CPlayer player(catalog, &log, &log);
    player.Open(recording.Camera, kStartMs);
    player.Play();
    if (!log.WaitBeyond(0)) return;
    const CPictureLog::Entry first = log.At(0);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const std::vector<CPictureLog::Entry> entries = log.Since(0);
    const CPictureLog::Entry& last = entries.back();
    // Drift: how far the picture shown ran ahead of or behind the wall clock, at worst.
    double worstDriftMs = 0;
    int64_t worstAtMs = 0;
    for (const auto& entry : entries) {
        const double drift = (entry.TimeMs - first.TimeMs) - Ms(entry.At - first.At);
        if (std::abs(drift) > std::abs(worstDriftMs)) {
            worstDriftMs = drift;
            worstAtMs = entry.TimeMs - first.TimeMs;
        }
    }
    const double wallMs = Ms(last.At - first.At);
    const double paceError = 100.0 * ((last.TimeMs - first.TimeMs) / wallMs - 1.0);
    std::printf(
        "pace: 1x for %d s (%s): %.3f s of recording in %.3f s of wall clock, error "
        "%+.3f %% (target within 0.5 %%: %s); worst drift %+.0f ms (at %.1f s); %zu "
        "pictures (%.2f a second)\n",
        seconds, quick ? "--quick" : "the full run", (last.TimeMs - first.TimeMs) / 1000.0,
        wallMs / 1000.0, paceError, Verdict(std::abs(paceError) <= 0.5), worstDriftMs,
        worstAtMs / 1000.0, entries.size(), entries.size() / (wallMs / 1000.0));
}

// How GStreamer sees an MP4 file when it decodes it to the end.
struct Decoded {
    bool Played = false;
    int Pictures = 0;
    double DurationS = -1;
};

Decoded DecodeWithGstreamer(const std::string& path) {
    Decoded decoded;
    const std::string description = "filesrc location=\"" + path +
                                    "\" ! qtdemux ! h264parse ! avdec_h264 ! fakesink name=sink "
                                    "signal-handoffs=true sync=false";
    GError* error = nullptr;
    PlaybackElementRef pipeline(gst_parse_launch(description.c_str(), &error));
    PlaybackErrorRef errorRef(error);
    if (!pipeline) return decoded;
    gst_object_ref_sink(pipeline.get());
    PlaybackElementRef sink(gst_bin_get_by_name(GST_BIN(pipeline.get()), "sink"));
    std::atomic<int> pictures{0};
    g_signal_connect(sink.get(), "handoff",
                     G_CALLBACK(+[](GstElement*, GstBuffer*, GstPad*, gpointer user) {
                         static_cast<std::atomic<int>*>(user)->fetch_add(1);
                     }),
                     &pictures);
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    PlaybackBusRef bus(gst_element_get_bus(pipeline.get()));
    PlaybackMessageRef message(gst_bus_timed_pop_filtered(
        bus.get(), 600 * GST_SECOND,
        static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
    decoded.Played = message && GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_EOS;
    gint64 duration = -1;
    if (gst_element_query_duration(pipeline.get(), GST_FORMAT_TIME, &duration))
        decoded.DurationS = duration / double(GST_SECOND);
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    decoded.Pictures = pictures.load();
    return decoded;
}

std::string Output(const std::string& command, int& status) {
    std::string output;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        status = -1;
        return output;
    }
    char buffer[512];
    while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
    const int result = pclose(pipe);
    status = WIFEXITED(result) ? WEXITSTATUS(result) : -1;
    while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) output.pop_back();
    std::replace(output.begin(), output.end(), '\n', ' ');
    return output;
}

void BenchExport(const CMemoryCatalog& catalog, const Recording& recording,
                 const std::string& folder) {
    SpanExportRequest request;
    request.Camera = recording.Camera;
    request.FromMs = kStartMs + 60 * 1000;  // from minute 1, across files
    request.ToMs = request.FromMs + kExportSpanMs;
    request.Path = folder + "/span.mp4";
    const auto begin = Clock::now();
    const SpanExportResult result = SpanExport::Export(catalog, request);
    const double seconds = Ms(Clock::now() - begin) / 1000.0;
    if (result.Status != SpanExportStatus::Written) {
        std::printf("export: FAILED: %s\n", result.Reason.c_str());
        return;
    }
    const uint64_t bytes = fs::file_size(request.Path);
    std::printf(
        "export: a %.0f s span (%zu source files) to a %.1f MiB MP4 in %.2f s (target <= "
        "5 s: %s); %llu pictures from %+.3f s to %+.3f s of the span\n",
        kExportSpanMs / 1000.0, recording.Paths.size(), bytes / double(1 << 20), seconds,
        Verdict(seconds <= 5), static_cast<unsigned long long>(result.Pictures),
        (result.FirstMs - request.FromMs) / 1000.0, (result.EndMs - request.FromMs) / 1000.0);

    const Decoded decoded = DecodeWithGstreamer(request.Path);
    const double span = kExportSpanMs / 1000.0;
    std::printf(
        "export: GStreamer (qtdemux ! avdec_h264) %s, %d pictures decoded, duration %.3f "
        "s, %+.3f s from the span (target within 1 s: %s)\n",
        decoded.Played ? "played it to the end" : "did NOT play it", decoded.Pictures,
        decoded.DurationS, decoded.DurationS - span,
        Verdict(decoded.Played && std::abs(decoded.DurationS - span) <= 1));

    int status = 0;
    const std::string checksum =
        Output("cd '" + folder + "' && sha256sum -c span.mp4.sha256 2>&1", status);
    std::printf("export: sha256sum -c span.mp4.sha256: %s\n", checksum.c_str());

    if (Output("which ffprobe", status).empty() || status != 0) {
        std::printf("export: ffprobe is not installed: FFmpeg not checked\n");
        return;
    }
    const std::string probe = Output(
        "ffprobe -v error -count_frames -select_streams v:0 "
        "-show_entries format=duration:stream=nb_read_frames,codec_name "
        "-of compact=p=0 '" +
            request.Path + "' 2>&1",
        status);
    const int probeStatus = status;
    // The pictures' times are milliseconds, not a 1/30 s grid: decoding into ffmpeg's
    // default encoder time base (1/frame rate) would round two of them onto one tick and
    // complain, so it keeps the file's own time base.
    const std::string errors = Output(
        "ffmpeg -v error -i '" + request.Path + "' -enc_time_base:v -1 -f null - 2>&1 | head -3",
        status);
    std::printf("export: ffprobe (exit %d): %s; ffmpeg decoding it all: %s\n", probeStatus,
                probe.c_str(), errors.empty() ? "no errors" : errors.c_str());
}

// Counts and frees what the capture library posts.
class CQuietWindow : public IWindowHandle {
public:
    bool Post(unsigned message, WPARAM wParam, LPARAM lParam) override {
        FreeMessagePayload(message, wParam, lParam);
        return true;
    }
    bool IsAlive() const override { return true; }
};

// Takes the frames of the live cameras as a video cell would, without showing them.
class CIgnoredFrames : public IFrameTarget {
public:
    void OnFrame(const VideoFrame&) override { frames_.fetch_add(1, std::memory_order_relaxed); }
    int Frames() const { return frames_.load(std::memory_order_relaxed); }

private:
    std::atomic<int> frames_{0};
};

void BenchEightx(const CMemoryCatalog& catalog, const Recording& recording, int64_t endMs,
                 const std::string& folder, int seconds) {
    CQuietWindow window;
    auto app = std::make_unique<CMonitorApp>(folder + "/bin/playback_bench");
    AppSettings settings = app->Settings();
    settings.RecordDir = folder + "/rec";
    app->SetSettings(settings);
    app->SetMainWindow(&window);
    fs::create_directories(settings.RecordDir);
    CCatalog recordings;
    recordings.Open(settings.RecordDir);

    DeviceInfo devices[kMaxDevices];
    int32_t count = 0;
    CameraCap_EnumDevice(devices, &count);
    if (count < kCameras) {
        std::printf("eightx: only %d cameras listed\n", count);
        return;
    }
    std::vector<DeviceInfo> records(devices + count - kCameras, devices + count);
    std::vector<CIgnoredFrames> cells(kCameras);
    std::vector<std::unique_ptr<CCameraChannel>> channels;
    for (int i = 0; i < kCameras; ++i) {
        records[i].RecordFlag = 1;
        SetDeviceName(records[i].CustomDeviceName, ("cam" + std::to_string(i + 1)).c_str());
        channels.push_back(std::make_unique<CCameraChannel>(
            [&app] { return app->Settings().RecordDir; }, &recordings));
        if (channels.back()->Open(&cells[i], &records[i], &window) != 1)
            std::printf("eightx: %s did not open\n", records[i].DeviceName);
    }

    // The player goes round the 64 MiB file at 8x for as long as the cameras record.
    const double cpuBefore = CpuSeconds();
    const auto begin = Clock::now();
    const auto end = begin + std::chrono::seconds(seconds);
    CPictureLog log;
    int64_t playedMs = 0;
    {
        CPlayer player(catalog, &log, &log);
        player.SetRate(CPlayer::kMaxRate);
        player.Play();
        while (Clock::now() < end) {
            const size_t before = log.Count();
            player.Open(recording.Camera, kStartMs);
            const auto left = std::chrono::duration_cast<std::chrono::seconds>(end - Clock::now());
            log.WaitTime(endMs, std::max(left, std::chrono::seconds(1)), before);
            const std::vector<CPictureLog::Entry> lap = log.Since(before);
            if (!lap.empty()) playedMs += lap.back().TimeMs - lap.front().TimeMs;
        }
    }
    const double wall = Ms(Clock::now() - begin) / 1000.0;
    const double cpu = CpuSeconds() - cpuBefore;

    uint64_t dropped = 0;
    std::vector<uint64_t> droppedEach(kCameras, 0);
    for (int i = 0; i < kCameras; ++i) {
        if (const CRecorder* recorder = channels[i]->Recorder())
            droppedEach[i] = recorder->DroppedBytes();
        dropped += droppedEach[i];
        channels[i]->Close();
    }
    channels.clear();
    recordings.Close();
    uint64_t written = 0;
    for (const auto& entry : fs::recursive_directory_iterator(settings.RecordDir)) {
        if (entry.is_regular_file() && entry.path().extension() == ".264")
            written += entry.file_size();
    }
    std::printf(
        "eightx: 4 cameras 640x480@30 recording (real recorder and catalog) for %.1f s "
        "while one 64 MiB recording played at 8x: %.1f s of recording shown in %.1f s "
        "(%.2fx), %zu pictures; %.1f MiB recorded; bytes dropped %llu (%llu %llu %llu "
        "%llu) (target 0: %s); CPU %.2f of 2 cores\n",
        wall, playedMs / 1000.0, wall, playedMs / 1000.0 / wall, log.Count(),
        written / double(1 << 20), static_cast<unsigned long long>(dropped),
        static_cast<unsigned long long>(droppedEach[0]),
        static_cast<unsigned long long>(droppedEach[1]),
        static_cast<unsigned long long>(droppedEach[2]),
        static_cast<unsigned long long>(droppedEach[3]), Verdict(dropped == 0), cpu / wall);
    app->SetMainWindow(nullptr);
}

struct Options {
    bool Quick = false;
    bool Keep = false;
    int PaceSeconds = 600;
    int EightxSeconds = 60;
    std::string Folder;
};

bool Parse(int argc, char** argv, Options& options) {
    bool paceGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--quick") {
            options.Quick = true;
        } else if (arg == "--keep") {
            options.Keep = true;
        } else if (arg == "--pace-seconds" && i + 1 < argc) {
            options.PaceSeconds = std::atoi(argv[++i]);
            paceGiven = true;
        } else if (arg == "--eightx-seconds" && i + 1 < argc) {
            options.EightxSeconds = std::atoi(argv[++i]);
        } else if (!arg.empty() && arg[0] != '-') {
            options.Folder = arg;
        } else {
            return false;
        }
    }
    if (options.Quick && !paceGiven) options.PaceSeconds = 60;
    return options.PaceSeconds > 0 && options.EightxSeconds > 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!Parse(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: playback_bench [--quick] [--pace-seconds N] "
                     "[--eightx-seconds N] [--keep] [folder]\n");
        return 1;
    }
    bool madeFolder = false;
    if (options.Folder.empty()) {
        char pattern[] = "/tmp/orvex-playback-bench-XXXXXX";
        if (mkdtemp(pattern) == nullptr) return 1;
        options.Folder = pattern;
        madeFolder = true;
    }
    fs::create_directories(options.Folder);
    setenv("GST_REGISTRY", (options.Folder + "/gst-registry.bin").c_str(), 0);
    setenv("ORVEX_SIMULATED_CAMERAS", std::to_string(kCameras).c_str(), 1);
    if (!EnsureGstreamer()) return 1;

    // Enough steady recording for the pace and a 10-minute export: three 64 MiB files.
    CMemoryCatalog catalog;
    const std::string dir = options.Folder + "/synthetic";
    Recording steady{"steady", {}, {}, 0};
    const int steadyFiles = options.PaceSeconds > 600 ? 1 + options.PaceSeconds / 240 : 3;
    auto begin = Clock::now();
    const bool madeSteady = Record(catalog, dir, steady, steadyFiles, [](int64_t lastMs) {
        return CSyntheticRecorder::Times(lastMs + 33, 30, kChunkPictures);
    });
    // 60 s at 30 a second, 60 s at 7.5, and so on.
    Recording varying{"varying", {}, {}, 0};
    int minute = 0;
    const bool madeVarying = Record(catalog, dir, varying, 1, [&minute](int64_t lastMs) {
        const bool slow = (minute++ / 2) % 2 == 1;  // two chunks of 30 s a turn
        return slow ? CSyntheticRecorder::Times(lastMs + 133, 7.5, kChunkPictures / 4)
                    : CSyntheticRecorder::Times(lastMs + 33, 30, kChunkPictures);
    });
    if (!madeSteady || !madeVarying) {
        std::fprintf(stderr, "recording the synthetic cameras failed\n");
        return 1;
    }
    const int64_t firstFileEndMs = catalog.Files("steady", kStartMs, kStartMs + 1).front().EndMs;
    std::printf(
        "recorded in %.0f s: \"steady\" %zu files of %.1f MiB, %zu pictures at 30 a "
        "second, 640x480 at %d kbit/s (%.0f s); \"varying\" %.1f MiB, %zu pictures, 30 "
        "and 7.5 a second by turns of 60 s (%.0f s); under %s\n",
        Ms(Clock::now() - begin) / 1000.0, steady.Paths.size(),
        steady.Bytes / double(steady.Paths.size()) / (1 << 20), steady.TimesMs.size(), kBitrateKbps,
        (steady.TimesMs.back() - kStartMs) / 1000.0, varying.Bytes / double(1 << 20),
        varying.TimesMs.size(), (varying.TimesMs.back() - kStartMs) / 1000.0,
        options.Folder.c_str());
    std::fflush(stdout);

    BenchSeek(catalog, steady, firstFileEndMs);
    std::fflush(stdout);
    BenchTime(catalog, steady, kStartMs, firstFileEndMs, "the first 64 MiB file, 30 a second");
    BenchTime(catalog, varying, kStartMs, varying.TimesMs.back(),
              "a 64 MiB file at 30 and 7.5 a second by turns");
    std::fflush(stdout);
    BenchPace(catalog, steady, options.PaceSeconds, options.Quick);
    std::fflush(stdout);
    BenchExport(catalog, steady, options.Folder);
    std::fflush(stdout);
    BenchEightx(catalog, steady, firstFileEndMs, options.Folder, options.EightxSeconds);

    double load[3] = {0, 0, 0};
    if (getloadavg(load, 3) == 3)
        std::printf("load average at the end: %.2f %.2f %.2f\n", load[0], load[1], load[2]);
    if (madeFolder && !options.Keep) {
        std::error_code ignored;
        fs::remove_all(options.Folder, ignored);
    }
    return 0;
}
