// Helpers shared by the capture tests: a temporary folder, an application object
// whose log lands in that folder and whose panel posts are collected, a verifiable
// byte pattern, and file listings.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/MonitorApp.h"
#include "platform/LocalTime.h"
#include "platform/WindowHandle.h"

class CRecorder;

// A folder made with mkdtemp under $TMPDIR (else /tmp), removed with its contents.
class CTempFolder {
public:
    CTempFolder();
    ~CTempFolder();
    CTempFolder(const CTempFolder&) = delete;
    CTempFolder& operator=(const CTempFolder&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// A main window stand-in that keeps the text of every WM_LOG_TEXT posted to it.
// Post runs on whichever thread logs; the texts are guarded by a mutex.
class CLogCollector : public IWindowHandle {
public:
    bool Post(unsigned message, WPARAM wParam, LPARAM lParam) override;
    bool IsAlive() const override { return true; }

    std::vector<std::string> Lines() const;
    int CountLines(const std::string& text) const;
    // Waits up to bound for a line equal to text; false when none came.
    bool WaitForLine(const std::string& text, std::chrono::seconds bound);

private:
    mutable std::mutex lock_;
    std::condition_variable changed_;
    std::vector<std::string> lines_;
};

// The application object of a test: executable path "<tmp>/bin/OrvexClient" (so
// the log goes to "<tmp>/bin/Log"), RecordDir "<tmp>/rec", panel posts collected.
class CTestApp {
public:
    CTestApp();
    ~CTestApp();

    const std::string& Tmp() const { return tmp_.Path(); }
    std::string RecordDir() const { return Tmp() + "/rec"; }
    void SetRecordDir(const std::string& folder) { app_->SetRecordDir(folder); }
    CLogCollector& Log() { return log_; }
    // Every line of the log files, text only (the stamp and its two spaces removed).
    std::vector<std::string> LogFileTexts() const;

private:
    CTempFolder tmp_;
    CLogCollector log_;
    std::unique_ptr<CMonitorApp> app_;
};

// The byte at offset i of the test stream: a hash of i / 8 mixed with i % 8, so that
// a lost, repeated or moved run of bytes shows.
uint64_t PatternWord(uint64_t index);
inline uint8_t PatternByte(uint64_t offset) {
    return static_cast<uint8_t>(PatternWord(offset >> 3) >> ((offset & 7) * 8));
}
std::vector<uint8_t> PatternBytes(uint64_t offset, size_t length);

// Pushes count pattern bytes starting at offset in runs of runBytes, waiting
// before each run until the ring has room, so nothing is dropped. False when the
// recorder made no progress for 30 s.
bool PushPaced(CRecorder& recorder, uint64_t offset, uint64_t count, uint32_t runBytes = 65536);

// Polls condition every millisecond for up to bound; false when it never held.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::seconds bound);

// Regular files below folder, sorted by path.
std::vector<std::string> FilesBelow(const std::string& folder);
uint64_t FileSize(const std::string& path);
// Offset in the pattern stream of the first byte of the files (joined in order)
// that differs, or -1 when they all match, starting at stream offset 0.
int64_t FirstPatternMismatch(const std::vector<std::string>& files);

// A clock that always gives time.
ClockFn FixedClock(const LocalTime& time);
// A clock that gives start, then one second later at each further call (any thread).
ClockFn SteppingClock(const LocalTime& start);
LocalTime MakeTime(int year, int month, int day, int hour, int minute, int second);
