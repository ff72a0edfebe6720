#include "PlaybackTestSupport.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <memory>

#include "PictureStamp.h"
#include "playback/GstSupport.h"

namespace {

class CFolderEnvironment : public testing::Environment {
public:
    void SetUp() override { Folder(); }
    void TearDown() override {
        std::error_code error;
        if (!folder_.empty()) std::filesystem::remove_all(folder_, error);
    }
    const std::string& Folder() {
        if (folder_.empty()) {
            const char* base = std::getenv("TMPDIR");
            std::string pattern = std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") +
                                  "/orvex-playback-XXXXXX";
            if (mkdtemp(pattern.data()) != nullptr) folder_ = pattern;
            if (!folder_.empty())
                setenv("GST_REGISTRY", (folder_ + "/gst-registry.bin").c_str(), 1);
        }
        return folder_;
    }

private:
    std::string folder_;
};

CFolderEnvironment* Environment() {
    // Owned by GoogleTest once registered.
    static CFolderEnvironment* environment =
        static_cast<CFolderEnvironment*>(testing::AddGlobalTestEnvironment(new CFolderEnvironment));
    return environment;
}

const bool kEnvironmentRegistered = Environment() != nullptr;

}  // namespace

const std::string& PlaybackTestFolder() {
    return Environment()->Folder();
}

void CShownPictures::OnFrame(const VideoFrame& frame) {
    const int64_t stamp = PictureStamp::Read(frame);
    std::lock_guard<std::mutex> lock(lock_);
    stamps_.push_back(stamp);
    ++frames_;
    width_ = frame.Width;
}

void CShownPictures::OnPicture(int64_t timeMs) {
    {
        std::lock_guard<std::mutex> lock(lock_);
        times_.push_back(timeMs);
    }
    changed_.notify_all();
}

bool CShownPictures::WaitFor(const std::function<bool(const std::vector<int64_t>&)>& done) {
    std::unique_lock<std::mutex> lock(lock_);
    return changed_.wait_for(lock, kPlaybackWait, [&] { return done(times_); });
}

std::vector<int64_t> CShownPictures::Times() const {
    std::lock_guard<std::mutex> lock(lock_);
    return times_;
}

std::vector<int64_t> CShownPictures::Stamps() const {
    std::lock_guard<std::mutex> lock(lock_);
    return stamps_;
}

int CShownPictures::Frames() const {
    std::lock_guard<std::mutex> lock(lock_);
    return frames_;
}

int CShownPictures::LastWidth() const {
    std::lock_guard<std::mutex> lock(lock_);
    return width_;
}

DecodedMovie DecodeMovie(const std::string& path) {
    DecodedMovie movie;
    if (!EnsureGstreamer()) return movie;
    const std::string description = "filesrc location=\"" + path +
                                    "\" ! qtdemux name=demux ! h264parse ! avdec_h264 ! "
                                    "appsink name=sink sync=false";
    GError* error = nullptr;
    PlaybackElementRef pipeline(gst_parse_launch(description.c_str(), &error));
    PlaybackErrorRef errorRef(error);
    if (!pipeline) return movie;
    gst_object_ref_sink(pipeline.get());
    PlaybackElementRef sink(gst_bin_get_by_name(GST_BIN(pipeline.get()), "sink"));
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    while (GstSample* sample =
               gst_app_sink_try_pull_sample(GST_APP_SINK(sink.get()), PlaybackWaitNs())) {
        ++movie.Pictures;
        gst_sample_unref(sample);
    }
    gint64 duration = -1;
    if (gst_element_query_duration(pipeline.get(), GST_FORMAT_TIME, &duration))
        movie.DurationMs = duration / static_cast<gint64>(GST_MSECOND);
    PlaybackBusRef bus(gst_element_get_bus(pipeline.get()));
    PlaybackMessageRef failure(gst_bus_pop_filtered(bus.get(), GST_MESSAGE_ERROR));
    movie.Decoded = !failure && gst_app_sink_is_eos(GST_APP_SINK(sink.get()));
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    return movie;
}

int RunCommand(const std::string& command, std::string& output) {
    output.clear();
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return -1;
    char buffer[512];
    while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
