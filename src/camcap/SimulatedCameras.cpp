#include "camcap/SimulatedCameras.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

#include "camcap/GstRef.h"

namespace {

constexpr const char* kCountVariable = "ORVEX_SIMULATED_CAMERAS";
constexpr const char* kExclusiveVariable = "ORVEX_SIMULATED_EXCLUSIVE";
constexpr const char* kNamePrefix = "Simulated Camera ";

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
    const void* Streaming = nullptr;  // the source that holds the device in exclusive mode
};

// One stream of a simulated camera; owned by its probe, touched by its streaming thread.
struct SourceStream {
    int Index = 0;
    bool Exclusive = false;  // read from the environment when the source was made
    unsigned long Frames = 0;
};

std::mutex& StateMutex() {
    static std::mutex mutex;
    return mutex;
}

DeviceState& State(int index) {
    static DeviceState states[SimulatedCameras::kMaxCameras];  // guarded by StateMutex()
    return states[index];
}

// Guarded by StateMutex(); 0 means the simulated capture mode's own size.
int gPictureWidth = 0;
int gPictureHeight = 0;

bool Exclusive() {
    const char* text = std::getenv(kExclusiveVariable);
    return text != nullptr && std::strcmp(text, "1") == 0;
}

bool ValidIndex(int index) {
    return index >= 0 && index < SimulatedCameras::kMaxCameras;
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
    const unsigned long frame = stream->Frames++;
    if (busy) {
        return Fail(pad, info, GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_BUSY, "Device is busy.",
                    "error with STREAMON 16 (Device or resource busy)");
    }
    if (state.Unplugged) {
        return Fail(pad, info, GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_READ,
                    "Could not read from resource.", "poll error: No such device");
    }
    if (state.NoBandwidth && frame == 0) {
        return Fail(pad, info, GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_SETTINGS,
                    "Failed to allocate required memory.", "Buffer pool activation failed");
    }
    if (state.Stalled) return GST_PAD_PROBE_DROP;
    if (state.RateDivisor > 1 && frame % unsigned(state.RateDivisor) != 0) {
        return GST_PAD_PROBE_DROP;
    }
    return GST_PAD_PROBE_OK;
}

// Runs when the source's pad goes away with its pipeline: the device is free again.
void ReleaseStream(gpointer user) {
    auto* stream = static_cast<SourceStream*>(user);
    {
        std::lock_guard<std::mutex> lock(StateMutex());
        DeviceState& shared = State(stream->Index);
        if (shared.Streaming == stream) shared.Streaming = nullptr;
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

}  // namespace

int SimulatedCameras::Count() {
    const char* text = std::getenv(kCountVariable);
    if (text == nullptr) return 0;
    const int n = std::atoi(text);
    if (n < 0) return 0;
    return n > kMaxCameras ? kMaxCameras : n;
}

std::string SimulatedCameras::Name(int index) {
    return kNamePrefix + std::to_string(index + 1);
}

bool SimulatedCameras::IsPresent(int index) {
    if (!ValidIndex(index) || index >= Count()) return false;
    std::lock_guard<std::mutex> lock(StateMutex());
    return !State(index).Unplugged;
}

int SimulatedCameras::IndexOfName(const char* name) {
    if (name == nullptr) return -1;
    const int count = Count();
    for (int i = 0; i < count; ++i) {
        if (Name(i) == name) return i;
    }
    return -1;
}

CaptureMode SimulatedCameras::Mode() {
    CaptureMode mode = SimulatedCaptureMode();
    std::lock_guard<std::mutex> lock(StateMutex());
    if (gPictureWidth > 0 && gPictureHeight > 0) {
        mode.Width = gPictureWidth;
        mode.Height = gPictureHeight;
    }
    return mode;
}

std::string SimulatedCameras::SourceDescription(int index) {
    return std::string("videotestsrc is-live=true ") + kLooks[index % kMaxCameras];
}

GstElement* SimulatedCameras::CreateSource(int index) {
    if (!ValidIndex(index) || !IsPresent(index)) return nullptr;
    const std::string description = SourceDescription(index) + " ! capsfilter name=mode";
    GError* error = nullptr;
    GstElement* bin = gst_parse_bin_from_description(description.c_str(), TRUE, &error);
    GErrorRef errorRef(error);
    if (bin == nullptr) return nullptr;
    GstElementRef owned(GST_ELEMENT(gst_object_ref_sink(bin)));
    if (error != nullptr) return nullptr;
    GstElementRef modeFilter(gst_bin_get_by_name(GST_BIN(bin), "mode"));
    if (!modeFilter) return nullptr;
    GstCapsRef caps(NewCaptureModeCaps(Mode()));
    g_object_set(modeFilter.get(), "caps", caps.get(), nullptr);
    // Inside the bin, so that what the library sees on the bin's pad is what the
    // device delivers.
    GstPadRef pad(gst_element_get_static_pad(modeFilter.get(), "src"));
    if (!pad) return nullptr;
    gst_pad_add_probe(pad.get(), GST_PAD_PROBE_TYPE_BUFFER, &OnSourceBuffer,
                      new SourceStream{index, Exclusive(), 0}, &ReleaseStream);
    return owned.release();
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

void SimulatedCameras::ResetDevices() {
    for (int i = 0; i < kMaxCameras; ++i) {
        ChangeState(i, [](DeviceState& s) {
            s.Unplugged = false;
            s.Stalled = false;
            s.NoBandwidth = false;
            s.RateDivisor = 1;
        });
    }
}

void SimulatedCameras::SetPictureSize(int width, int height) {
    std::lock_guard<std::mutex> lock(StateMutex());
    gPictureWidth = width;
    gPictureHeight = height;
}
