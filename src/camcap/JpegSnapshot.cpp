#include "camcap/JpegSnapshot.h"

#include <gst/video/video.h>

#include <cstdio>
#include <memory>

#include "camcap/GstRef.h"

namespace {

constexpr GstClockTime kConvertTimeoutNs = 5 * GST_SECOND;
constexpr int32_t kFailed = -3;

struct FileClose {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

int32_t JpegSnapshot::Write(GstSample* sample, const char* path) {
    if (sample == nullptr || path == nullptr || path[0] == '\0') return kFailed;
    GstCapsRef jpegCaps(gst_caps_new_empty_simple("image/jpeg"));
    GError* error = nullptr;
    GstSampleRef jpeg(gst_video_convert_sample(sample, jpegCaps.get(), kConvertTimeoutNs, &error));
    GErrorRef errorRef(error);
    if (!jpeg) return kFailed;
    GstBuffer* buffer = gst_sample_get_buffer(jpeg.get());
    GstMapInfo map;
    if (buffer == nullptr || !gst_buffer_map(buffer, &map, GST_MAP_READ)) return kFailed;
    bool written = false;
    {
        std::unique_ptr<std::FILE, FileClose> file(std::fopen(path, "wb"));
        if (file) {
            written = std::fwrite(map.data, 1, map.size, file.get()) == map.size;
            // fclose flushes: a full disk shows only here.
            written = std::fclose(file.release()) == 0 && written;
        }
    }
    gst_buffer_unmap(buffer, &map);
    return written ? 0 : kFailed;
}
