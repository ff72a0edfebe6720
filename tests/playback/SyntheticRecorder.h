// A camera recorded without a camera, faster than real time: pictures of a test
// pattern encoded by x264 as the capture library encodes them (SPS and PPS before each
// key frame, a key frame whenever the next picture would come more than 2 s after the
// last one), written to a .264 file, and told to an in-memory catalog as the recorder
// tells the real one. Each picture gets the wall-clock time the test gives it, so a
// camera can slow down, pause or record in the past. Pictures may carry their index
// among all this recorder has made (PictureStamp.h), so a reader knows their true time.
// Threads: one at a time.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "MemoryCatalog.h"

class CSyntheticRecorder {
public:
    static constexpr int64_t kKeyFrameMs = 2000;

    // What the pictures show and how they are encoded.
    struct Look {
        std::string Pattern = "pattern=ball";  // videotestsrc's properties
        int BitrateKbps = 0;                   // 0: the encoder's constant quality
        bool Stamped = false;                  // each picture carries its index
    };

    CSyntheticRecorder(CMemoryCatalog& catalog, std::string recordDir, std::string camera,
                       int width = 320, int height = 240);
    ~CSyntheticRecorder();

    // Appends pictures at these times to the current file, a new one when none is open.
    // tellCatalog false: the catalog hears nothing of them yet, as between two of the
    // recorder's reports. False when encoding or writing failed.
    bool Record(const std::vector<int64_t>& timesMs, bool tellCatalog = true);
    // Tells the catalog all that was written.
    void TellCatalog();
    // Closes the file; the catalog hears it is finished. The next Record starts a new one.
    void Finish();

    // For the pictures recorded from now on.
    void SetLook(Look look) { look_ = std::move(look); }
    // Pictures recorded so far, in all files: the index the next one is stamped with.
    uint64_t PicturesRecorded() const { return recorded_; }

    int64_t FileId() const { return file_.Id; }
    const std::string& Path() const { return file_.Path; }
    uint64_t Bytes() const { return file_.Bytes; }
    // Every key frame written to the current file, told or not.
    const std::vector<CatalogKeyFrame>& KeyFrames() const { return keys_; }

    // count pictures from startMs on, perSecond a second.
    static std::vector<int64_t> Times(int64_t startMs, double perSecond, int count);

private:
    bool Encode(const std::vector<int64_t>& timesMs, std::vector<std::vector<uint8_t>>& units,
                std::vector<bool>& keys);

    CMemoryCatalog& catalog_;
    const std::string recordDir_;
    const std::string camera_;
    const int width_;
    const int height_;
    std::FILE* out_ = nullptr;
    CatalogFile file_;  // as written
    std::vector<CatalogKeyFrame> keys_;
    size_t toldKeys_ = 0;
    int64_t lastKeyMs_ = 0;
    int64_t lastMs_ = 0;
    Look look_;
    uint64_t recorded_ = 0;
};
