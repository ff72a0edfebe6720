// Helpers shared by the capture tests: an application object whose log lands in a
// temporary folder and whose panel posts are collected, a verifiable byte pattern,
// and test clocks.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/MonitorApp.h"
#include "capture/Recorder.h"
#include "capture/Retention.h"
#include "common/WindowHandle.h"
#include "platform/LocalTime.h"
#include "support/TestSupport.h"

// The texts of the WM_LOG_TEXT messages a window received, in order.
std::vector<std::string> LogLines(const testsupport::FakeWindow& window);
int CountLines(const testsupport::FakeWindow& window, const std::string& text);
int CountLinesStartingWith(const testsupport::FakeWindow& window, const std::string& prefix);

// The application object of a test: executable path "<tmp>/bin/OrvexClient" (so
// the log goes to "<tmp>/bin/Log"), RecordDir "<tmp>/rec", panel posts collected.
class CTestApp {
public:
    CTestApp();
    ~CTestApp();

    const std::string& Tmp() const { return tmp_.Path(); }
    // The folder RecordDir starts as.
    std::string RecordDir() const { return Tmp() + "/rec"; }
    // The current RecordDir, as recorders are handed it; SetRecordDir changes it.
    RecordDirFn Dir();
    void SetRecordDir(const std::string& folder);
    void SetRecordSaveDay(int days);
    // The current RecordDir and RecordSaveDay, as the retention is handed them.
    CRetention::PolicyFn Policy();
    const testsupport::FakeWindow& Log() const { return log_; }
    testsupport::FakeWindow& Log() { return log_; }
    // Every line of the log files, text only (the stamp and its two spaces removed).
    std::vector<std::string> LogFileTexts() const;

private:
    testsupport::TempDir tmp_;
    testsupport::FakeWindow log_;
    std::unique_ptr<CMonitorApp> app_;
};

// The byte at offset i of the test stream: a hash of i / 8 mixed with i % 8, so that
// a lost, repeated or moved run of bytes shows.
uint64_t PatternWord(uint64_t index);
inline uint8_t PatternByte(uint64_t offset) {
    return static_cast<uint8_t>(PatternWord(offset >> 3) >> ((offset & 7) * 8));
}
std::vector<uint8_t> PatternBytes(uint64_t offset, size_t length);

// One H.264 Annex B access unit of size bytes (at least 32): an access unit
// delimiter, then SPS, PPS and an IDR slice for a key frame, else a P slice. Its
// payload holds no zero byte, so no start code hides in it, and differs per index.
std::vector<uint8_t> AccessUnit(int index, bool keyFrame, size_t size);

// Pushes count pattern bytes starting at offset in runs of runBytes, waiting
// before each run until the ring has room, so nothing is dropped. False when the
// recorder made no progress for 30 s.
bool PushPaced(CRecorder& recorder, uint64_t offset, uint64_t count, uint32_t runBytes = 65536);

// Polls condition every millisecond for up to bound; false when it never held.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::seconds bound);

uint64_t FileSize(const std::string& path);
// Offset in the pattern stream of the first byte of the files (joined in order)
// that differs, or -1 when they all match, starting at stream offset 0.
int64_t FirstPatternMismatch(const std::vector<std::string>& files);

// A clock that always gives time.
ClockFn FixedClock(const LocalTime& time);
// A clock that gives start, then one second later at each further call (any thread).
ClockFn SteppingClock(const LocalTime& start);
using testsupport::MakeLocalTime;
