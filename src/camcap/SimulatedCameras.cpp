#include "camcap/SimulatedCameras.h"

#include <gst/video/video.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

#include "camcap/GstDebug.h"
#include "camcap/GstRef.h"
#include "camcap/ScenePainter.h"
#include "camcap/SimulatedEnvironment.h"
#include "camcap/SimulatedProfiles.h"

namespace {

constexpr const char* kCountVariable = "ORVEX_SIMULATED_CAMERAS";
constexpr const char* kExclusiveVariable = "ORVEX_SIMULATED_EXCLUSIVE";
constexpr const char* kProfilesVariable = "ORVEX_SIMULATED_PROFILES";
constexpr const char* kFaultsVariable = "ORVEX_SIMULATED_FAULTS";
constexpr const char* kScenesVariable = "ORVEX_SIMULATED_SCENES";
constexpr const char* kNamePrefix = "Simulated Camera ";
constexpr const char* kKeyPrefix = "simulated:";
// A camera's own encoder keys at least every 2 s, as the library's does.
constexpr int kCameraKeyFrameSeconds = 2;

// Timed faults count from here: the library's static initialisation.
const std::chrono::steady_clock::time_point gLibraryStart = std::chrono::steady_clock::now();

// Each camera its own picture. Patterns that do not animate by themselves scroll
// sideways so that the picture visibly moves.
constexpr const char* kLooks[SimulatedCameras::kMaxCameras] = {
    "pattern=smpte horizontal-speed=2",
    "pattern=ball motion=wavy",
    "pattern=pinwheel horizontal-speed=3",
    "pattern=spokes horizontal-speed=2",
    "pattern=circular horizontal-speed=2",
    "pattern=colors horizontal-speed=4",
    "pattern=checkers-8 horizontal-speed=1",
    "pattern=zone-plate kx2=20 ky2=20 kt2=1",
    "pattern=ball motion=sweep foreground-color=0xffff8000",
    "pattern=smpte75 horizontal-speed=3",
};

struct DeviceState {
    bool Unplugged = false;
    bool Stalled = false;
    bool NoBandwidth = false;
    int RateDivisor = 1;
    int Streams = 0;                  // sources made and not yet released
    int SourcesMade = 0;              // sources made in all
    const void* Streaming = nullptr;  // the source that holds the device in exclusive mode
};

// One stream of a simulated camera; owned by its probe, touched by its streaming thread.
struct SourceStream {
    int Index = 0;
    bool Exclusive = false;              // read from the environment when the source was made
    bool FailsAtStart = false;           // its mode is listed but cannot stream
    std::vector<SimulatedFault> Faults;  // this camera's, from the environment
    unsigned long Frames = 0;
};

// The scene one stream paints; owned by its probe, touched by its streaming thread.
struct ScenePaint {
    SceneScript Script;
    std::unique_ptr<CScenePainter> Painter;  // made for the size of the first picture
    GstVideoInfo Info{};                     // of the pictures painted
};

// What the environment says beyond the count, parsed again only when it changes.
struct EnvironmentView {
    bool Read = false;
    std::string ProfilesText;
    std::string FaultsText;
    std::string ScenesText;
    std::map<int, const SimulatedProfile*> Profiles;
    std::vector<SimulatedFault> Faults;
    std::map<int, SceneScript> Scenes;
};

std::mutex& StateMutex() {
    static std::mutex mutex;
    return mutex;
}

DeviceState& State(int index) {
    static DeviceState states[SimulatedCameras::kMaxCameras];  // guarded by StateMutex()
    return states[index];
}

// Guarded by StateMutex(); 0 means the default profile's own size.
int gPictureWidth = 0;
int gPictureHeight = 0;
std::vector<int> gPlugOrder;   // guarded by StateMutex(); empty: by number
EnvironmentView gEnvironment;  // guarded by StateMutex()

std::string Variable(const char* name) {
    const char* text = std::getenv(name);
    return text != nullptr ? text : "";
}

// The parsed environment; StateMutex() must be held. Entries that cannot be read are
// reported once, when the variable takes that value.
const EnvironmentView& Environment() {
    std::string profiles = Variable(kProfilesVariable);
    std::string faults = Variable(kFaultsVariable);
    std::string scenes = Variable(kScenesVariable);
    EnvironmentView& view = gEnvironment;
    if (view.Read && view.ProfilesText == profiles && view.FaultsText == faults &&
        view.ScenesText == scenes) {
        return view;
    }
    std::vector<std::string> rejected;
    view.Profiles =
        SimulatedEnvironment::ParseProfiles(profiles, SimulatedCameras::kMaxCameras, rejected);
    for (const std::string& entry : rejected) {
        GST_WARNING("%s: ignoring \"%s\"", kProfilesVariable, entry.c_str());
    }
    rejected.clear();
    view.Faults =
        SimulatedEnvironment::ParseFaults(faults, SimulatedCameras::kMaxCameras, rejected);
    for (const std::string& entry : rejected) {
        GST_WARNING("%s: ignoring \"%s\"", kFaultsVariable, entry.c_str());
    }
    rejected.clear();
    view.Scenes =
        SimulatedEnvironment::ParseScenes(scenes, SimulatedCameras::kMaxCameras, rejected);
    for (const std::string& entry : rejected) {
        GST_WARNING("%s: ignoring \"%s\"", kScenesVariable, entry.c_str());
    }
    view.ProfilesText = std::move(profiles);
    view.FaultsText = std::move(faults);
    view.ScenesText = std::move(scenes);
    view.Read = true;
    return view;
}

double SecondsSinceStart() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - gLibraryStart).count();
}

bool FaultActive(const std::vector<SimulatedFault>& faults, int index, SimulatedFaultKind kind,
                 double seconds) {
    return std::any_of(faults.begin(), faults.end(), [&](const SimulatedFault& f) {
        return f.Index == index && f.Kind == kind && f.ActiveAt(seconds);
    });
}

bool Exclusive() {
    const char* text = std::getenv(kExclusiveVariable);
    return text != nullptr && std::strcmp(text, "1") == 0;
}

bool ValidIndex(int index) {
    return index >= 0 && index < SimulatedCameras::kMaxCameras;
}

// The modes camera index lists; StateMutex() must be held.
std::vector<SimulatedMode> ListedModes(int index) {
    const auto& profiles = Environment().Profiles;
    const auto it = profiles.find(index);
    if (it != profiles.end()) return it->second->Modes;
    std::vector<SimulatedMode> modes = SimulatedProfiles::Default().Modes;
    if (gPictureWidth > 0 && gPictureHeight > 0) {
        modes.front().Width = gPictureWidth;
        modes.front().Height = gPictureHeight;
    }
    return modes;
}

// Fails the stream as the element does: an error on the bus, then a flow error.
GstPadProbeReturn Fail(GstPad* pad, GstPadProbeInfo* info, GQuark domain, int code,
                       const char* text, const char* debug) {
    GstElementRef element(gst_pad_get_parent_element(pad));
    if (element) {
        GError* error = g_error_new_literal(domain, code, text);
        gst_element_post_message(element.get(),
                                 gst_message_new_error(GST_OBJECT(element.get()), error, debug));
        g_error_free(error);
    }
    GST_PAD_PROBE_INFO_FLOW_RETURN(info) = GST_FLOW_ERROR;
    return GST_PAD_PROBE_HANDLED;
}

GstPadProbeReturn OnSourceBuffer(GstPad* pad, GstPadProbeInfo* info, gpointer user) {
    auto* stream = static_cast<SourceStream*>(user);
    DeviceState state;
    bool busy = false;
    {
        std::lock_guard<std::mutex> lock(StateMutex());
        DeviceState& shared = State(stream->Index);
        if (stream->Exclusive) {
            if (shared.Streaming == nullptr) shared.Streaming = stream;
            busy = shared.Streaming != stream;
        }
        state = shared;
    }
    if (!stream->Faults.empty()) {
        const double now = SecondsSinceStart();
        using Kind = SimulatedFaultKind;
        state.Unplugged |= FaultActive(stream->Faults, stream->Index, Kind::Unplug, now);
        state.Stalled |= FaultActive(stream->Faults, stream->Index, Kind::Stall, now);
        state.NoBandwidth |= FaultActive(stream->Faults, stream->Index, Kind::NoBandwidth, now);
    }
    const unsigned long frame = stream->Frames++;
    if (busy) {
        return Fail(pad, info, GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_BUSY, "Device is busy.",
                    "error with STREAMON 16 (Device or resource busy)");
    }
    if (state.Unplugged) {
        return Fail(pad, info, GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_READ,
                    "Could not read from resource.", "poll error: No such device");
    }
    if ((state.NoBandwidth || stream->FailsAtStart) && frame == 0) {
        return Fail(pad, info, GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_SETTINGS,
                    "Failed to allocate required memory.", "Buffer pool activation failed");
    }
    if (state.Stalled) return GST_PAD_PROBE_DROP;
    if (state.RateDivisor > 1 && frame % unsigned(state.RateDivisor) != 0) {
        return GST_PAD_PROBE_DROP;
    }
    return GST_PAD_PROBE_OK;
}

// Paints the scene over the black picture of the scene's videotestsrc.
GstPadProbeReturn OnScenePicture(GstPad* pad, GstPadProbeInfo* info, gpointer user) {
    auto* scene = static_cast<ScenePaint*>(user);
    if (!scene->Painter) {
        GstCapsRef caps(gst_pad_get_current_caps(pad));
        if (!caps || !gst_video_info_from_caps(&scene->Info, caps.get()) ||
            GST_VIDEO_INFO_FORMAT(&scene->Info) != GST_VIDEO_FORMAT_I420) {
            return GST_PAD_PROBE_OK;
        }
        scene->Painter = std::make_unique<CScenePainter>(GST_VIDEO_INFO_WIDTH(&scene->Info),
                                                         GST_VIDEO_INFO_HEIGHT(&scene->Info));
    }
    GstBuffer* buffer = gst_buffer_make_writable(GST_PAD_PROBE_INFO_BUFFER(info));
    GST_PAD_PROBE_INFO_DATA(info) = buffer;
    GstVideoFrame frame;
    if (!gst_video_frame_map(&frame, &scene->Info, buffer, GST_MAP_WRITE)) return GST_PAD_PROBE_OK;
    scene->Painter->Paint(scene->Script, SecondsSinceStart(),
                          static_cast<uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0)),
                          GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0));
    gst_video_frame_unmap(&frame);
    return GST_PAD_PROBE_OK;
}

void ReleaseScene(gpointer user) {
    delete static_cast<ScenePaint*>(user);
}

// Runs when the source's pad goes away with its pipeline: the device is free again.
void ReleaseStream(gpointer user) {
    auto* stream = static_cast<SourceStream*>(user);
    {
        std::lock_guard<std::mutex> lock(StateMutex());
        DeviceState& shared = State(stream->Index);
        if (shared.Streaming == stream) shared.Streaming = nullptr;
        --shared.Streams;
    }
    delete stream;
}

template <typename Change>
bool ChangeState(int index, Change change) {
    if (!ValidIndex(index)) return false;
    std::lock_guard<std::mutex> lock(StateMutex());
    change(State(index));
    return true;
}

std::string Fraction(int fps) {
    return std::to_string(fps) + "/1";
}

// source, then what makes its pictures the mode's. A source that paints I420 is
// converted to the mode's raw format; otherwise it makes that format itself.
std::string ModeDescription(const std::string& source, const CaptureMode& mode, bool paintsI420) {
    const std::string size = ",width=" + std::to_string(mode.Width) +
                             ",height=" + std::to_string(mode.Height) +
                             ",framerate=" + Fraction(mode.FrameRate());
    const std::string i420 = source + " ! video/x-raw,format=I420" + size;
    const std::string raw = mode.RawFormat.empty() ? std::string("I420") : mode.RawFormat;
    switch (mode.Encoding) {
        case CaptureEncoding::Raw:
            if (!paintsI420) return source + " ! video/x-raw,format=" + raw + size;
            if (raw == "I420") return i420;
            return i420 + " ! videoconvert ! video/x-raw,format=" + raw + size;
        case CaptureEncoding::Mjpeg:
            return i420 + " ! jpegenc";
        case CaptureEncoding::H264:
            return i420 + " ! x264enc tune=zerolatency speed-preset=ultrafast key-int-max=" +
                   std::to_string(std::max(1, mode.FrameRate()) * kCameraKeyFrameSeconds) +
                   " ! h264parse ! video/x-h264,stream-format=byte-stream,alignment=au";
    }
    return source;
}

// A camera with a scene keeps videotestsrc for its live clock, timestamps and caps, as
// the other cameras have them, and paints over its black pictures in a probe: an appsrc
// would have to do all three itself.
constexpr const char* kSceneSource = "videotestsrc is-live=true pattern=black name=scene";

}  // namespace

int SimulatedCameras::Count() {
    const char* text = std::getenv(kCountVariable);
    if (text == nullptr) return 0;
    const int n = std::atoi(text);
    if (n < 0) return 0;
    return n > kMaxCameras ? kMaxCameras : n;
}

const SimulatedProfile& SimulatedCameras::Profile(int index) {
    std::lock_guard<std::mutex> lock(StateMutex());
    const auto& profiles = Environment().Profiles;
    const auto it = profiles.find(index);
    return it != profiles.end() ? *it->second : SimulatedProfiles::Default();
}

std::string SimulatedCameras::Name(int index) {
    const SimulatedProfile& profile = Profile(index);
    if (profile.DeviceName != nullptr) return profile.DeviceName;
    return kNamePrefix + std::to_string(index + 1);
}

std::string SimulatedCameras::Key(int index) {
    return kKeyPrefix + std::to_string(index + 1);
}

int SimulatedCameras::IndexOfKey(std::string_view key) {
    const int count = Count();
    for (int i = 0; i < count; ++i) {
        if (key == Key(i)) return i;
    }
    return -1;
}

int SimulatedCameras::IndexOfOwnName(const char* name) {
    if (name == nullptr) return -1;
    const int count = Count();
    for (int i = 0; i < count; ++i) {
        if (Profile(i).DeviceName == nullptr && Name(i) == name) return i;
    }
    return -1;
}

std::vector<int> SimulatedCameras::EnumerationOrder() {
    const int count = Count();
    std::vector<int> order;
    {
        std::lock_guard<std::mutex> lock(StateMutex());
        for (int index : gPlugOrder) {
            if (index < count) order.push_back(index);
        }
    }
    for (int i = 0; i < count; ++i) {
        if (std::find(order.begin(), order.end(), i) == order.end()) order.push_back(i);
    }
    return order;
}

bool SimulatedCameras::IsPresent(int index) {
    if (!ValidIndex(index) || index >= Count()) return false;
    std::lock_guard<std::mutex> lock(StateMutex());
    return !State(index).Unplugged && !FaultActive(Environment().Faults, index,
                                                   SimulatedFaultKind::Unplug, SecondsSinceStart());
}

std::vector<CaptureMode> SimulatedCameras::Modes(int index) {
    if (!ValidIndex(index)) return {};
    std::vector<SimulatedMode> listed;
    {
        std::lock_guard<std::mutex> lock(StateMutex());
        listed = ListedModes(index);
    }
    GstCapsRef caps(SimulatedProfiles::NewCaps(listed));
    return RankCaptureModes(caps.get());
}

std::string SimulatedCameras::SourceDescription(int index) {
    return std::string("videotestsrc is-live=true ") + kLooks[index % kMaxCameras];
}

std::string SimulatedCameras::SourceDescription(int index, const CaptureMode& mode) {
    return ModeDescription(SourceDescription(index), mode, false);
}

GstElement* SimulatedCameras::CreateSource(int index, const CaptureMode& requested) {
    if (!ValidIndex(index) || !IsPresent(index)) return nullptr;
    std::vector<SimulatedMode> listed;
    std::vector<SimulatedFault> faults;
    std::optional<SceneScript> scene;
    {
        std::lock_guard<std::mutex> lock(StateMutex());
        listed = ListedModes(index);
        for (const SimulatedFault& fault : Environment().Faults) {
            if (fault.Index == index) faults.push_back(fault);
        }
        const auto it = Environment().Scenes.find(index);
        if (it != Environment().Scenes.end()) scene = it->second;
    }
    const SimulatedMode* offered = SimulatedProfiles::Match(listed, requested);
    const SimulatedMode& delivered = offered != nullptr ? *offered : listed.front();
    const CaptureMode mode = delivered.Mode();
    const std::string description =
        (scene ? ModeDescription(kSceneSource, mode, true) : SourceDescription(index, mode)) +
        " ! capsfilter name=mode";
    GError* error = nullptr;
    GstElement* bin = gst_parse_bin_from_description(description.c_str(), TRUE, &error);
    GErrorRef errorRef(error);
    if (bin == nullptr) return nullptr;
    GstElementRef owned(GST_ELEMENT(gst_object_ref_sink(bin)));
    if (error != nullptr) return nullptr;
    GstElementRef modeFilter(gst_bin_get_by_name(GST_BIN(bin), "mode"));
    if (!modeFilter) return nullptr;
    GstCapsRef caps(NewCaptureModeCaps(mode));
    g_object_set(modeFilter.get(), "caps", caps.get(), nullptr);
    // Inside the bin, so that what the library sees on the bin's pad is what the
    // device delivers.
    GstPadRef pad(gst_element_get_static_pad(modeFilter.get(), "src"));
    if (!pad) return nullptr;
    if (scene) {
        GstElementRef painted(gst_bin_get_by_name(GST_BIN(bin), "scene"));
        GstPadRef paintedPad(painted ? gst_element_get_static_pad(painted.get(), "src") : nullptr);
        if (!paintedPad) return nullptr;
        gst_pad_add_probe(paintedPad.get(), GST_PAD_PROBE_TYPE_BUFFER, &OnScenePicture,
                          new ScenePaint{std::move(*scene), nullptr, {}}, &ReleaseScene);
    }
    auto* stream =
        new SourceStream{index, Exclusive(), delivered.FailsAtStart, std::move(faults), 0};
    ChangeState(index, [](DeviceState& s) {
        ++s.Streams;
        ++s.SourcesMade;
    });
    gst_pad_add_probe(pad.get(), GST_PAD_PROBE_TYPE_BUFFER, &OnSourceBuffer, stream,
                      &ReleaseStream);
    return owned.release();
}

int SimulatedCameras::Streams(int index) {
    if (!ValidIndex(index)) return 0;
    std::lock_guard<std::mutex> lock(StateMutex());
    return State(index).Streams;
}

int SimulatedCameras::SourcesMade(int index) {
    if (!ValidIndex(index)) return 0;
    std::lock_guard<std::mutex> lock(StateMutex());
    return State(index).SourcesMade;
}

bool SimulatedCameras::SetUnplugged(int index, bool unplugged) {
    return ChangeState(index, [&](DeviceState& s) { s.Unplugged = unplugged; });
}

bool SimulatedCameras::SetStalled(int index, bool stalled) {
    return ChangeState(index, [&](DeviceState& s) { s.Stalled = stalled; });
}

bool SimulatedCameras::SetRateDivisor(int index, int divisor) {
    return ChangeState(index, [&](DeviceState& s) { s.RateDivisor = divisor > 1 ? divisor : 1; });
}

bool SimulatedCameras::SetNoBandwidth(int index, bool noBandwidth) {
    return ChangeState(index, [&](DeviceState& s) { s.NoBandwidth = noBandwidth; });
}

void SimulatedCameras::SetPlugOrder(const std::vector<int>& order) {
    std::lock_guard<std::mutex> lock(StateMutex());
    gPlugOrder.clear();
    for (int index : order) {
        if (ValidIndex(index) &&
            std::find(gPlugOrder.begin(), gPlugOrder.end(), index) == gPlugOrder.end()) {
            gPlugOrder.push_back(index);
        }
    }
}

void SimulatedCameras::ResetDevices() {
    for (int i = 0; i < kMaxCameras; ++i) {
        ChangeState(i, [](DeviceState& s) {
            s.Unplugged = false;
            s.Stalled = false;
            s.NoBandwidth = false;
            s.RateDivisor = 1;
        });
    }
    SetPlugOrder({});
}

void SimulatedCameras::SetPictureSize(int width, int height) {
    std::lock_guard<std::mutex> lock(StateMutex());
    gPictureWidth = width;
    gPictureHeight = height;
}
