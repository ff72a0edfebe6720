// Finds the access units and key frames of an H.264 Annex B byte stream, for files the
// catalog has no rows for (or rows behind the file): an access unit begins at an access
// unit delimiter, at the parameter sets or SEI in front of a picture, or at the first
// slice of a new picture; a key frame is an IDR access unit. A file that begins in the
// middle of a picture (the recorder rolls over at any byte) counts from the first
// access unit that begins in it, as the recorder counts.
//
// Threads: an object on one thread at a time; ScanAnnexBFile on any.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct ScannedKeyFrame {
    uint64_t Offset = 0;   // of the access unit's first byte
    uint32_t Picture = 0;  // the access unit's index among the file's pictures
};

struct ScannedStream {
    uint64_t Bytes = 0;
    uint32_t Pictures = 0;
    std::vector<ScannedKeyFrame> KeyFrames;
};

class CAnnexBScanner {
public:
    // The next bytes of the stream, in order, in pieces of any size.
    void Feed(const uint8_t* data, size_t size);
    // Ends the stream: the last access unit counts even when cut short.
    ScannedStream Finish();

private:
    // Scans buffer_ from scanAt_ up to limit for start codes.
    void ScanBuffer(size_t limit);
    void OnNal(uint64_t offset, uint8_t header, int firstPayloadByte);
    void CloseAccessUnit();

    std::vector<uint8_t> buffer_;  // the unscanned tail of earlier pieces, then the new one
    uint64_t bufferOffset_ = 0;    // stream offset of buffer_[0]
    size_t scanAt_ = 0;            // first position of buffer_ not yet looked at
    ScannedStream result_;
    bool started_ = false;            // an access unit has begun in this stream
    bool hasPicture_ = false;         // the current access unit holds a slice
    bool idr_ = false;                // ... an IDR slice
    uint64_t unitStart_ = 0;          // offset of the current access unit
    std::optional<uint64_t> prefix_;  // where non-slice units after a picture began
};

// Scans the file whole; false when it cannot be read.
bool ScanAnnexBFile(const std::string& path, ScannedStream* stream);
