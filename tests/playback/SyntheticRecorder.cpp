#include "SyntheticRecorder.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <ctime>
#include <filesystem>

#include "PictureStamp.h"
#include "PlaybackTestSupport.h"
#include "common/RecordingName.h"
#include "playback/GstSupport.h"

namespace {

struct CForcedKeys {
    const std::vector<bool>* Keys = nullptr;
    size_t Next = 0;  // the encoder's streaming thread only
};

struct CStamps {
    uint64_t Next = 0;  // the encoder's streaming thread only
    GstVideoInfo Info;  // of the pictures, once their caps are known
    bool HasInfo = false;
};

GstPadProbeReturn StampPicture(GstPad* pad, GstPadProbeInfo* info, gpointer user) {
    auto* stamps = static_cast<CStamps*>(user);
    if (!stamps->HasInfo) {
        GstCaps* caps = gst_pad_get_current_caps(pad);
        stamps->HasInfo = caps != nullptr && gst_video_info_from_caps(&stamps->Info, caps);
        if (caps != nullptr) gst_caps_unref(caps);
    }
    GstBuffer* buffer = gst_buffer_make_writable(GST_PAD_PROBE_INFO_BUFFER(info));
    GST_PAD_PROBE_INFO_DATA(info) = buffer;
    GstVideoFrame frame;
    if (stamps->HasInfo && gst_video_frame_map(&frame, &stamps->Info, buffer, GST_MAP_WRITE)) {
        PictureStamp::Draw(frame, static_cast<uint32_t>(stamps->Next));
        gst_video_frame_unmap(&frame);
    }
    ++stamps->Next;
    return GST_PAD_PROBE_OK;
}

GstPadProbeReturn ForceKeyFrames(GstPad* pad, GstPadProbeInfo*, gpointer user) {
    auto* forced = static_cast<CForcedKeys*>(user);
    const size_t index = forced->Next++;
    if (index < forced->Keys->size() && (*forced->Keys)[index]) {
        gst_pad_send_event(
            pad, gst_video_event_new_downstream_force_key_unit(
                     GST_CLOCK_TIME_NONE, GST_CLOCK_TIME_NONE, GST_CLOCK_TIME_NONE, TRUE, 0));
    }
    return GST_PAD_PROBE_OK;
}

}  // namespace

CSyntheticRecorder::CSyntheticRecorder(CMemoryCatalog& catalog, std::string recordDir,
                                       std::string camera, int width, int height)
    : catalog_(catalog),
      recordDir_(std::move(recordDir)),
      camera_(std::move(camera)),
      width_(width),
      height_(height) {}

CSyntheticRecorder::~CSyntheticRecorder() {
    Finish();
}

std::vector<int64_t> CSyntheticRecorder::Times(int64_t startMs, double perSecond, int count) {
    std::vector<int64_t> times;
    for (int i = 0; i < count; ++i)
        times.push_back(startMs + static_cast<int64_t>(i * 1000.0 / perSecond));
    return times;
}

bool CSyntheticRecorder::Encode(const std::vector<int64_t>& timesMs,
                                std::vector<std::vector<uint8_t>>& units, std::vector<bool>& keys) {
    if (!EnsureGstreamer()) return false;
    // The capture library's rule: a key frame when the next picture, coming after the
    // same interval, would be more than 2 s after the last one.
    int64_t lastKey = out_ != nullptr ? lastKeyMs_ : timesMs.front();
    for (size_t i = 0; i < timesMs.size(); ++i) {
        const int64_t previous = i > 0 ? timesMs[i - 1] : (out_ != nullptr ? lastMs_ : timesMs[0]);
        const int64_t interval = timesMs[i] - previous;
        const bool key = i == 0 || timesMs[i] - lastKey + interval > kKeyFrameMs;
        keys.push_back(key);
        if (key) lastKey = timesMs[i];
    }
    const std::string description =
        "videotestsrc num-buffers=" + std::to_string(timesMs.size()) + " " + look_.Pattern +
        " ! video/x-raw,format=I420,width=" + std::to_string(width_) +
        ",height=" + std::to_string(height_) +
        ",framerate=30/1 ! x264enc name=encoder speed-preset=ultrafast tune=zerolatency " +
        (look_.BitrateKbps > 0 ? "bitrate=" + std::to_string(look_.BitrateKbps) + " " : "") +
        "key-int-max=100000 option-string=scenecut=0 ! h264parse config-interval=-1 ! "
        "video/x-h264,stream-format=byte-stream,alignment=au ! appsink name=sink sync=false";
    GError* error = nullptr;
    PlaybackElementRef pipeline(gst_parse_launch(description.c_str(), &error));
    PlaybackErrorRef errorRef(error);
    if (!pipeline) return false;
    gst_object_ref_sink(pipeline.get());
    PlaybackElementRef encoder(gst_bin_get_by_name(GST_BIN(pipeline.get()), "encoder"));
    PlaybackElementRef sink(gst_bin_get_by_name(GST_BIN(pipeline.get()), "sink"));
    GstPad* input = gst_element_get_static_pad(encoder.get(), "sink");
    CForcedKeys forced{&keys, 0};
    gst_pad_add_probe(input, GST_PAD_PROBE_TYPE_BUFFER, &ForceKeyFrames, &forced, nullptr);
    CStamps stamps;
    stamps.Next = recorded_;
    if (look_.Stamped)
        gst_pad_add_probe(input, GST_PAD_PROBE_TYPE_BUFFER, &StampPicture, &stamps, nullptr);
    gst_object_unref(input);
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    // Bounded: an encoder that fails posts an error and never an end of stream.
    while (GstSample* sample =
               gst_app_sink_try_pull_sample(GST_APP_SINK(sink.get()), PlaybackWaitNs())) {
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        GstMapInfo map;
        if (gst_buffer_map(buffer, &map, GST_MAP_READ)) {
            units.emplace_back(map.data, map.data + map.size);
            gst_buffer_unmap(buffer, &map);
        }
        gst_sample_unref(sample);
    }
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    return units.size() == timesMs.size();
}

bool CSyntheticRecorder::Record(const std::vector<int64_t>& timesMs, bool tellCatalog) {
    if (timesMs.empty()) return true;
    std::vector<std::vector<uint8_t>> units;
    std::vector<bool> keys;
    if (!Encode(timesMs, units, keys)) return false;
    if (out_ == nullptr) {
        file_ = CatalogFile{};
        file_.Camera = camera_;
        file_.Path = RecordingName::Path(recordDir_, camera_, LocalTimeAt(timesMs.front()));
        for (int suffix = 1; std::filesystem::exists(file_.Path); ++suffix) {
            file_.Path =
                RecordingName::Path(recordDir_, camera_, LocalTimeAt(timesMs.front()), suffix);
        }
        std::filesystem::create_directories(std::filesystem::path(file_.Path).parent_path());
        out_ = std::fopen(file_.Path.c_str(), "wb");
        if (out_ == nullptr) return false;
        file_.StartMs = timesMs.front();
        file_.Growing = true;
        keys_.clear();
        toldKeys_ = 0;
        file_.Id = catalog_.AddFile(file_, {});
    }
    for (size_t i = 0; i < units.size(); ++i) {
        if (keys[i]) {
            keys_.push_back({file_.Bytes, timesMs[i]});
            lastKeyMs_ = timesMs[i];
        }
        if (std::fwrite(units[i].data(), 1, units[i].size(), out_) != units[i].size()) return false;
        file_.Bytes += units[i].size();
        ++file_.Pictures;
        file_.EndMs = timesMs[i];
        lastMs_ = timesMs[i];
        ++recorded_;
    }
    std::fflush(out_);
    if (tellCatalog) TellCatalog();
    return true;
}

void CSyntheticRecorder::TellCatalog() {
    if (file_.Id == 0) return;
    catalog_.UpdateFile(file_,
                        std::vector<CatalogKeyFrame>(keys_.begin() + toldKeys_, keys_.end()));
    toldKeys_ = keys_.size();
}

void CSyntheticRecorder::Finish() {
    if (out_ == nullptr) return;
    std::fclose(out_);
    out_ = nullptr;
    file_.Growing = false;
    TellCatalog();
}
