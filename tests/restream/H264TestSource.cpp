#include "H264TestSource.h"

#include <gst/app/gstappsink.h>

#include <chrono>

CH264TestSource::CH264TestSource(IStreamTap* tap) : tap_(tap) {
    gst_init(nullptr, nullptr);
    pipeline_ = gst_parse_launch(
        "videotestsrc is-live=true pattern=ball ! video/x-raw,width=320,height=240,framerate=15/1 "
        "! x264enc tune=zerolatency speed-preset=ultrafast key-int-max=15 "
        "! h264parse config-interval=-1 "
        "! video/x-h264,stream-format=byte-stream,alignment=au ! appsink name=sink sync=false",
        nullptr);
    sink_ = gst_bin_get_by_name(GST_BIN(pipeline_), "sink");
    gst_element_set_state(pipeline_, GST_STATE_PLAYING);
    thread_ = std::thread([this] { Run(); });
}

CH264TestSource::~CH264TestSource() {
    stop_ = true;
    thread_.join();
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    gst_object_unref(sink_);
    gst_object_unref(pipeline_);
}

void CH264TestSource::Run() {
    while (!stop_) {
        GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink_), 100 * GST_MSECOND);
        if (sample == nullptr) continue;
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        GstMapInfo map;
        if (buffer != nullptr && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
            const auto now = std::chrono::system_clock::now().time_since_epoch();
            tap_->OnAccessUnit(map.data, static_cast<int32_t>(map.size),
                               std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
            gst_buffer_unmap(buffer, &map);
            ++delivered_;
        }
        gst_sample_unref(sample);
    }
}
