#include "playback/JpegFile.h"

#include <gst/video/video.h>

#include <cstdio>

#include "playback/GstSupport.h"

namespace {

constexpr GstClockTime kConvertTimeoutNs = 5 * GST_SECOND;

}  // namespace

bool JpegFile::Write(GstSample* sample, const std::string& path) {
    if (sample == nullptr || path.empty()) return false;
    PlaybackCapsRef jpegCaps(gst_caps_new_empty_simple("image/jpeg"));
    GError* error = nullptr;
    PlaybackSampleRef jpeg(
        gst_video_convert_sample(sample, jpegCaps.get(), kConvertTimeoutNs, &error));
    PlaybackErrorRef errorRef(error);
    GstBuffer* buffer = jpeg ? gst_sample_get_buffer(jpeg.get()) : nullptr;
    GstMapInfo map;
    if (buffer == nullptr || !gst_buffer_map(buffer, &map, GST_MAP_READ)) return false;
    bool written = false;
    if (std::FILE* file = std::fopen(path.c_str(), "wb")) {
        written = std::fwrite(map.data, 1, map.size, file) == map.size;
        // fclose flushes: a full disk shows only here.
        written = std::fclose(file) == 0 && written;
    }
    gst_buffer_unmap(buffer, &map);
    return written;
}
