// What the program's playback and export read recordings through: the catalog of the
// recordings of RecordDir, and the two commands that need nothing else, --export and
// --playback. Neither takes the single-instance lock: both run beside a copy that
// records, and only read its files.
//
// Threads: the main thread.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "catalog/CatalogReader.h"

// The catalog of the recordings below recordDir, reconciled, or null when there is none
// to read; indexInBackground: files found without rows are scanned while it is open.
std::unique_ptr<ICatalogReader> OpenRecordings(const std::string& recordDir,
                                               bool indexInBackground);

// --export CAMERA FROM TO FILE.mp4, without a display; the exit status.
int RunExport(const std::vector<std::string>& arguments);

// --playback: the playback window alone, until it is closed; the exit status.
int RunPlaybackWindow(int& argc, char** argv);
