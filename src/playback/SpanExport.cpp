#include "playback/SpanExport.h"

#include <gst/app/gstappsrc.h>
#include <gst/gst.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "playback/FileDigest.h"
#include "playback/GstSupport.h"
#include "playback/RecordingCursor.h"

namespace {

constexpr guint64 kQueuedBytes = 4 * 1024 * 1024;
// The muxer writes its index after the last picture; a slow disk gets this long.
constexpr GstClockTime kFinishTimeoutNs = 120 * GST_SECOND;
constexpr int64_t kFallbackIntervalMs = 33;

SpanExportResult Failure(SpanExportStatus status, std::string reason) {
    SpanExportResult result;
    result.Status = status;
    result.Reason = std::move(reason);
    return result;
}

// The muxing pipeline of one export; released on every path.
class CMuxPipeline {
public:
    ~CMuxPipeline() {
        if (!pipeline_) return;
        gst_element_set_state(pipeline_.get(), GST_STATE_NULL);
        PlaybackBusRef bus(gst_element_get_bus(pipeline_.get()));
        gst_bus_set_sync_handler(bus.get(), nullptr, nullptr, nullptr);
    }

    bool Build(const std::string& path, std::string& reason) {
        pipeline_.reset(GST_ELEMENT(gst_object_ref_sink(gst_pipeline_new("export"))));
        GstElement* source = Add("appsrc", "source");
        GstElement* parser = Add("h264parse", "parser");
        GstElement* muxer = Add("mp4mux", "muxer");
        GstElement* sink = Add("filesink", "file");
        if (source == nullptr || parser == nullptr || muxer == nullptr || sink == nullptr) {
            reason = "missing GStreamer element " + missing_;
            return false;
        }
        PlaybackCapsRef h264(gst_caps_new_simple("video/x-h264", "stream-format", G_TYPE_STRING,
                                                 "byte-stream", "alignment", G_TYPE_STRING, "au",
                                                 nullptr));
        g_object_set(source, "caps", h264.get(), "format", GST_FORMAT_TIME, "block", TRUE,
                     "max-bytes", kQueuedBytes, nullptr);
        g_object_set(sink, "location", path.c_str(), nullptr);
        if (!gst_element_link_many(source, parser, muxer, sink, nullptr)) {
            reason = "cannot link the export pipeline";
            return false;
        }
        source_ = GST_APP_SRC(source);
        PlaybackBusRef bus(gst_element_get_bus(pipeline_.get()));
        gst_bus_set_sync_handler(bus.get(), &CMuxPipeline::OnMessage, this, nullptr);
        if (gst_element_set_state(pipeline_.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
            reason = Error();
            if (reason.empty()) reason = "the export pipeline does not start";
            return false;
        }
        return true;
    }

    bool Push(const std::vector<uint8_t>& unit, GstClockTime pts, GstClockTime duration) {
        if (failed_.load()) return false;
        GstBuffer* buffer = gst_buffer_new_memdup(unit.data(), unit.size());
        GST_BUFFER_PTS(buffer) = pts;
        GST_BUFFER_DTS(buffer) = pts;
        GST_BUFFER_DURATION(buffer) = duration;
        return gst_app_src_push_buffer(source_, buffer) == GST_FLOW_OK;
    }

    // Ends the stream and waits until the muxer has written the file's index.
    bool Finish(std::string& reason) {
        gst_app_src_end_of_stream(source_);
        PlaybackBusRef bus(gst_element_get_bus(pipeline_.get()));
        PlaybackMessageRef message(gst_bus_timed_pop_filtered(
            bus.get(), kFinishTimeoutNs,
            static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
        if (message && GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_EOS) return true;
        reason = message ? ErrorText(message.get()) : "the file was not finished in time";
        return false;
    }

    std::string Error() const {
        PlaybackBusRef bus(gst_element_get_bus(pipeline_.get()));
        PlaybackMessageRef message(gst_bus_pop_filtered(bus.get(), GST_MESSAGE_ERROR));
        return ErrorText(message.get());
    }

private:
    // On the thread that failed. A failed muxer or file takes no more data, and a push
    // blocked for room would wait for ever: lifting the limit wakes it.
    static GstBusSyncReply OnMessage(GstBus*, GstMessage* message, gpointer user) {
        auto* self = static_cast<CMuxPipeline*>(user);
        if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR && !self->failed_.exchange(true)) {
            gst_app_src_set_max_bytes(self->source_, 0);
        }
        return GST_BUS_PASS;
    }

    GstElement* Add(const char* factory, const char* role) {
        GstElement* element = gst_element_factory_make(factory, role);
        if (element == nullptr) {
            if (missing_.empty()) missing_ = factory;
            return nullptr;
        }
        gst_bin_add(GST_BIN(pipeline_.get()), element);
        return element;
    }

    PlaybackElementRef pipeline_;
    GstAppSrc* source_ = nullptr;  // owned by the pipeline
    std::string missing_;
    std::atomic<bool> failed_{false};  // set by a streaming thread that failed
};

bool Writable(const std::string& path, std::string& reason) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        reason = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    std::fclose(file);
    return true;
}

}  // namespace

SpanExportResult SpanExport::Export(const ICatalogReader& catalog, const SpanExportRequest& request,
                                    const std::atomic<bool>* cancel) {
    const std::vector<std::string> cameras = catalog.Cameras();
    if (std::find(cameras.begin(), cameras.end(), request.Camera) == cameras.end()) {
        return Failure(SpanExportStatus::UnknownCamera,
                       "no recording of a camera named \"" + request.Camera + "\"");
    }
    if (request.ToMs <= request.FromMs) {
        return Failure(SpanExportStatus::EmptySpan, "the span ends before it begins");
    }
    CRecordingCursor cursor(catalog, request.Camera);
    TimedUnit unit;
    const bool found = !catalog.Files(request.Camera, request.FromMs, request.ToMs).empty() &&
                       cursor.Seek(request.FromMs, CRecordingCursor::StartAt::NearestKeyFrame) &&
                       cursor.Next(unit) && unit.TimeMs < request.ToMs;
    if (!found) return Failure(SpanExportStatus::NoRecording, "no recording in that span");
    std::string reason;
    if (!Writable(request.Path, reason)) return Failure(SpanExportStatus::NotWritable, reason);
    if (!EnsureGstreamer()) return Failure(SpanExportStatus::Failed, "GStreamer cannot start");

    SpanExportResult result;
    result.FirstMs = unit.TimeMs;
    {
        CMuxPipeline mux;
        bool ok = mux.Build(request.Path, reason);
        // Each unit waits for the next one, whose time gives its duration.
        std::vector<uint8_t> pending(unit.Data, unit.Data + unit.Length);
        int64_t pendingMs = unit.TimeMs;
        int64_t lastIntervalMs = kFallbackIntervalMs;
        bool more = true;
        while (ok && more) {
            if (cancel != nullptr && cancel->load()) {
                result.Status = SpanExportStatus::Cancelled;
                reason = "cancelled";
                ok = false;
                break;
            }
            more = cursor.Next(unit) && unit.TimeMs < request.ToMs;
            const int64_t endMs =
                more ? unit.TimeMs : std::min(request.ToMs, pendingMs + lastIntervalMs);
            if (more && unit.TimeMs > pendingMs) lastIntervalMs = unit.TimeMs - pendingMs;
            ok = mux.Push(pending, (pendingMs - result.FirstMs) * GST_MSECOND,
                          std::max<int64_t>(1, endMs - pendingMs) * GST_MSECOND);
            ++result.Pictures;
            result.EndMs = endMs;
            if (more) {
                pending.assign(unit.Data, unit.Data + unit.Length);
                pendingMs = unit.TimeMs;
            }
        }
        if (!ok && reason.empty()) reason = mux.Error();
        ok = ok && mux.Finish(reason);
        if (!ok) {
            std::remove(request.Path.c_str());
            if (result.Status != SpanExportStatus::Cancelled)
                result.Status = SpanExportStatus::Failed;
            result.Reason = reason.empty() ? "the export failed" : reason;
            return result;
        }
    }
    if (!FileDigest::WriteSha256File(request.Path, &result.Sha256)) {
        result.Status = SpanExportStatus::Failed;
        result.Reason = "cannot write " + request.Path + ".sha256";
        return result;
    }
    result.Status = SpanExportStatus::Written;
    return result;
}
