// The arithmetic of finding a time in a camera's recordings: which file to play a
// time from, which key frame of it decoding starts at, and the times of the pictures
// between two key frames. A .264 file carries no time: the catalog knows when each key
// frame arrived, and the pictures between two key frames are spread evenly, so a
// camera that slows down in the dark still plays at the pace it recorded.
// Pure functions: any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "catalog/CatalogReader.h"

namespace SeekIndex {

// The file (index into files, oldest first) that holds targetMs: the last one started
// at or before it when it ends at or after it, or is still growing; for a time in a
// hole between two files the later one; before the first file the first one, after the
// last file the last one. -1 without files.
int FileFor(const std::vector<CatalogFile>& files, int64_t targetMs);

// The last key frame at or before targetMs (the first when all are later); -1 without
// key frames.
int KeyFrameAtOrBefore(const std::vector<CatalogKeyFrame>& keys, int64_t targetMs);

// The key frame closest to targetMs, the earlier one on a tie; -1 without key frames.
int KeyFrameNearest(const std::vector<CatalogKeyFrame>& keys, int64_t targetMs);

// The times of count pictures from fromMs on, spread evenly: up to the next key frame
// at toMs (lastAtTo false: the next key frame is not one of them), or ending with the
// last picture at toMs (lastAtTo true: the end of a finished file). Never decreasing,
// also when toMs is before fromMs.
std::vector<int64_t> SpreadTimes(int64_t fromMs, int64_t toMs, size_t count, bool lastAtTo);

}  // namespace SeekIndex
