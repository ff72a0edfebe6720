// The key-frame index of a file as the catalog stores it: one blob per file, each key
// frame as the differences of its offset and time from the previous one in variable-
// length integers. About 4 bytes a key frame instead of a row of its own, so a month
// of four cameras' index stays a few megabytes and a file's index is one read.
//
// Pure functions: any thread.
#pragma once

#include <cstdint>
#include <vector>

#include "catalog/CatalogReader.h"

std::vector<uint8_t> PackKeyFrames(const std::vector<CatalogKeyFrame>& keyFrames);
// False (and what could be read) for a blob that is cut short or malformed.
bool UnpackKeyFrames(const std::vector<uint8_t>& blob, std::vector<CatalogKeyFrame>* keyFrames);
