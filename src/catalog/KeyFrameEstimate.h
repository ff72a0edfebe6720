// Times for key frames found by a scan. A .264 file carries no time, so its pictures
// are taken as evenly spaced between two known moments: the start in its name and its
// last change (or the last key frame the recorder told), and its end. Such times are
// marked estimated in the catalog.
//
// Pure functions: any thread.
#pragma once

#include <cstdint>
#include <vector>

#include "catalog/AnnexBScanner.h"
#include "catalog/CatalogReader.h"

// The scan's key frames with its pictures spaced evenly from startMs (the first
// picture) to endMs (the last).
std::vector<CatalogKeyFrame> EstimateKeyFrames(const ScannedStream& scan, int64_t startMs,
                                               int64_t endMs);

// The key frames the recorder told (known, exact) that the file still holds, then those
// the scan found after the last of them, spaced evenly from it to endMs. Without a
// known key frame in the file, as EstimateKeyFrames from startMs.
std::vector<CatalogKeyFrame> ExtendKeyFrames(const ScannedStream& scan,
                                             const std::vector<CatalogKeyFrame>& known,
                                             int64_t startMs, int64_t endMs);
