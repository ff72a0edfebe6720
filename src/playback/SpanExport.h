// Writes a span of one camera's recordings to an MP4 file without re-encoding
//
//   source (appsrc, access units timed from the catalog) -> parser -> mp4mux -> file
//
// and a ".sha256" file beside it (FileDigest.h). Without re-encoding the span can only
// begin at a key frame: the one nearest its start, so that with a key frame at least
// every 2 s the file starts within 1 s of it. Pictures run up to the span's end; the
// file's picture times are those of the recording, starting from 0.
//
// Threads: Export runs on the caller's thread (a command line, or a window's worker)
// for as long as it takes; cancel, when given, may be set from any thread. The catalog
// is read on the caller's thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "catalog/CatalogReader.h"

struct SpanExportRequest {
    std::string Camera;
    int64_t FromMs = 0;
    int64_t ToMs = 0;
    std::string Path;  // the MP4 file; "<Path>.sha256" goes beside it
};

enum class SpanExportStatus {
    Written,
    UnknownCamera,  // the catalog has no recording of that camera at all
    EmptySpan,      // to is not after from
    NoRecording,    // no picture of the camera in the span
    NotWritable,    // the file cannot be made
    Cancelled,
    Failed,  // reading or muxing went wrong
};

struct SpanExportResult {
    SpanExportStatus Status = SpanExportStatus::Failed;
    std::string Reason;   // for the operator, when not written
    int64_t FirstMs = 0;  // wall-clock time of the first picture written
    int64_t EndMs = 0;    // ... and of the end of the last one
    uint64_t Pictures = 0;
    std::string Sha256;  // of the MP4 file, in hex
};

namespace SpanExport {

SpanExportResult Export(const ICatalogReader& catalog, const SpanExportRequest& request,
                        const std::atomic<bool>* cancel = nullptr);

}  // namespace SpanExport
