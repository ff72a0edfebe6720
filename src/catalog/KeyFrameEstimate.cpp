#include "catalog/KeyFrameEstimate.h"

#include <algorithm>

namespace {

// The time of picture between the anchor picture (at anchorMs) and the stream's last
// picture (at endMs).
int64_t Spaced(uint32_t picture, uint32_t anchorPicture, int64_t anchorMs, uint32_t lastPicture,
               int64_t endMs) {
    if (lastPicture <= anchorPicture) return anchorMs;
    const double share = static_cast<double>(picture - anchorPicture) /
                         static_cast<double>(lastPicture - anchorPicture);
    return anchorMs + static_cast<int64_t>(share * static_cast<double>(endMs - anchorMs));
}

}  // namespace

std::vector<CatalogKeyFrame> EstimateKeyFrames(const ScannedStream& scan, int64_t startMs,
                                               int64_t endMs) {
    endMs = std::max(endMs, startMs);
    const uint32_t last = scan.Pictures > 0 ? scan.Pictures - 1 : 0;
    std::vector<CatalogKeyFrame> frames;
    frames.reserve(scan.KeyFrames.size());
    for (const ScannedKeyFrame& key : scan.KeyFrames)
        frames.push_back({key.Offset, Spaced(key.Picture, 0, startMs, last, endMs)});
    return frames;
}

std::vector<CatalogKeyFrame> ExtendKeyFrames(const ScannedStream& scan,
                                             const std::vector<CatalogKeyFrame>& known,
                                             int64_t startMs, int64_t endMs) {
    std::vector<CatalogKeyFrame> frames;
    for (const CatalogKeyFrame& frame : known) {
        if (frame.Offset < scan.Bytes) frames.push_back(frame);
    }
    if (frames.empty()) return EstimateKeyFrames(scan, startMs, endMs);
    const CatalogKeyFrame anchor = frames.back();
    // The anchor's picture number: the scan finds the same key frame at the same offset.
    const auto found =
        std::find_if(scan.KeyFrames.begin(), scan.KeyFrames.end(),
                     [&](const ScannedKeyFrame& k) { return k.Offset == anchor.Offset; });
    if (found == scan.KeyFrames.end()) return frames;  // the file is not what the rows say
    const uint32_t last = scan.Pictures > 0 ? scan.Pictures - 1 : 0;
    endMs = std::max(endMs, anchor.TimeMs);
    for (auto it = found + 1; it != scan.KeyFrames.end(); ++it)
        frames.push_back(
            {it->Offset, Spaced(it->Picture, found->Picture, anchor.TimeMs, last, endMs)});
    return frames;
}
