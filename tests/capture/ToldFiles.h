// A recording observer for tests that keeps whole what a recorder told: the recorder's
// worker calls it, the test reads it after Stop.
#pragma once

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "common/RecordingObserver.h"

class CToldFiles : public IRecordingObserver {
public:
    struct File {
        std::string Camera;
        std::string Path;
        int64_t StartMs = 0;
        int64_t EndMs = 0;
        uint64_t Bytes = 0;
        uint32_t Pictures = 0;
        std::vector<RecordedKeyFrame> KeyFrames;
        bool Finished = false;
    };
    struct Gap {
        int64_t FromMs, ToMs;
        RecordingGapCause Cause;
    };

    void FileStarted(const std::string& camera, const std::string& path, int64_t startMs) override {
        std::lock_guard<std::mutex> lock(lock_);
        files_.push_back({camera, path, startMs, startMs, 0, 0, {}, false});
    }
    void FileGrew(const std::string& path, uint64_t bytes, uint32_t pictures, int64_t endMs,
                  const std::vector<RecordedKeyFrame>& keyFrames) override {
        Update(path, bytes, pictures, endMs, keyFrames, false);
    }
    void FileFinished(const std::string& path, uint64_t bytes, uint32_t pictures, int64_t endMs,
                      const std::vector<RecordedKeyFrame>& keyFrames) override {
        Update(path, bytes, pictures, endMs, keyFrames, true);
    }
    void GapNoted(const std::string&, int64_t fromMs, int64_t toMs,
                  RecordingGapCause cause) override {
        std::lock_guard<std::mutex> lock(lock_);
        gaps_.push_back({fromMs, toMs, cause});
    }
    void FileDeleted(const std::string&) override {}

    std::vector<File> Files() const {
        std::lock_guard<std::mutex> lock(lock_);
        return files_;
    }
    std::vector<Gap> Gaps() const {
        std::lock_guard<std::mutex> lock(lock_);
        return gaps_;
    }

private:
    void Update(const std::string& path, uint64_t bytes, uint32_t pictures, int64_t endMs,
                const std::vector<RecordedKeyFrame>& keyFrames, bool finished) {
        std::lock_guard<std::mutex> lock(lock_);
        for (File& file : files_) {
            if (file.Path != path || file.Finished) continue;
            file.Bytes = bytes;
            file.Pictures = pictures;
            file.EndMs = endMs;
            file.KeyFrames.insert(file.KeyFrames.end(), keyFrames.begin(), keyFrames.end());
            file.Finished = finished;
            return;
        }
        ADD_FAILURE() << "told of " << path << " before it was started";
    }

    mutable std::mutex lock_;  // guards both
    std::vector<File> files_;
    std::vector<Gap> gaps_;
};
