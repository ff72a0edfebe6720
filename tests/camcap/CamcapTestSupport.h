// Helpers for the capture library's tests: a temporary folder per test process
// (GStreamer's registry goes there too, never under $HOME), a notice window that
// collects texts, a frame target and a stream collector that count what arrives
// and can be waited on, and a reader of H.264 Annex B access units.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "capture/CameraCap.h"
#include "common/WindowHandle.h"
#include "support/TestSupport.h"

// The temporary folder of this test process, created before the first test.
const std::string& TestFolder();

// Sets ORVEX_SIMULATED_CAMERAS for the calls that follow.
void UseSimulatedCameras(int count);

// Puts every simulated device back as it was (plugged in, delivering every picture)
// when it goes out of scope, so that a failing test leaves no state behind.
class CSimulatedDevices {
public:
    CSimulatedDevices() = default;
    ~CSimulatedDevices();
    CSimulatedDevices(const CSimulatedDevices&) = delete;
    CSimulatedDevices& operator=(const CSimulatedDevices&) = delete;
};

// A record as the camera list file rebuilds it: names, index and size only.
DeviceInfo RecordFor(const char* deviceName, const char* customName, int index);

// The notice window of these tests: keeps what is posted and frees the blocks.
using CCollectingWindow = testsupport::FakeWindow;

// Posts other than library texts (WM_LOG_TEXT with lParam 1).
int UnexpectedMessages(const CCollectingWindow& window);

// A frame target that copies each frame as a widget would and counts them.
class CCopyingTarget : public IFrameTarget {
public:
    void OnFrame(const VideoFrame& frame) override;

    // Waits until at least count frames have arrived; false after timeout.
    bool WaitForFrames(int count, std::chrono::milliseconds timeout);
    // Waits up to timeout for a frame beyond count; true when one came.
    bool FrameAfter(int count, std::chrono::milliseconds timeout);
    int Frames() const;
    int LastWidth() const;
    int LastHeight() const;
    int LastStride() const;
    bool SawBadFrame() const;

    std::chrono::milliseconds Delay{0};  // set before use: time each frame takes

private:
    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    int frames_ = 0;                           // guarded by mutex_
    int width_ = 0, height_ = 0, stride_ = 0;  // guarded by mutex_
    bool badFrame_ = false;                    // guarded by mutex_
    std::vector<uint8_t> copy_;                // the delivering thread only
};

// One access unit as delivered: the types of its NAL units in order.
using NalTypes = std::vector<int>;

// The NAL unit types of an Annex B run of bytes, in order.
NalTypes ParseNalTypes(const uint8_t* data, size_t length);

// Collects the stream of one opening; its StreamProc is the library's callback.
class CStreamCollector {
public:
    static void StreamProc(int32_t, int32_t, const uint8_t* data, int32_t length, void* user);

    // Waits until at least count callbacks have arrived; false after timeout.
    bool WaitForCallbacks(int count, std::chrono::milliseconds timeout);
    // Waits until count access units containing an IDR slice have arrived.
    bool WaitForKeyFrames(int count, std::chrono::milliseconds timeout);
    // Waits up to timeout for a callback beyond count; true when one came.
    bool CallbackAfter(int count, std::chrono::milliseconds timeout);
    // Waits until no callback has come for a whole quiet period; false when callbacks
    // still come at the end of bound.
    bool FallsQuiet(std::chrono::milliseconds quiet, std::chrono::milliseconds bound);
    int Callbacks() const;
    int KeyFrames() const;
    std::vector<NalTypes> AccessUnits() const;
    // Every byte delivered, in order.
    std::vector<uint8_t> Bytes() const;
    // The longest time between two callbacks so far.
    std::chrono::milliseconds LongestPause() const;

    // Set when a callback arrives after MarkClosed.
    void MarkClosed() { closed_.store(true); }
    bool CalledAfterClose() const { return calledAfterClose_.load(); }

private:
    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<NalTypes> units_;                   // guarded by mutex_
    std::vector<uint8_t> bytes_;                    // guarded by mutex_
    int keyFrames_ = 0;                             // guarded by mutex_
    std::chrono::steady_clock::time_point last_{};  // guarded by mutex_
    std::chrono::milliseconds longestPause_{0};     // guarded by mutex_
    std::atomic<bool> closed_{false};
    std::atomic<bool> calledAfterClose_{false};
};

constexpr int kNalIdr = 5;
constexpr int kNalSei = 6;
constexpr int kNalSps = 7;
constexpr int kNalPps = 8;

// The type of the first slice (NAL types 1 to 5) of the stream, or 0 when none.
int FirstSliceType(const std::vector<NalTypes>& units);
// Whether the access unit carries an IDR slice.
bool HasIdr(const NalTypes& unit);
// How many access units carry an IDR slice without SPS and PPS in front of it.
int IdrsWithoutParameterSets(const std::vector<NalTypes>& units);

// Bytes of a file; empty when it cannot be read.
std::vector<uint8_t> ReadFileBytes(const std::string& path);

// Decodes an H.264 Annex B file to its end; the number of frames, with the size of
// the last. -1 when the pipeline cannot be built or stalls.
int DecodeH264File(const std::string& path, int& width, int& height);

// Writes bytes to a file; false when it cannot be written.
bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);

// Decodes a JPEG file with GStreamer; true with its size when it decodes.
bool DecodeJpeg(const std::string& path, int& width, int& height);
