#include "CaptureTestSupport.h"

#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <thread>

#include "capture/Recorder.h"
#include "common/Messages.h"

namespace fs = std::filesystem;

std::vector<std::string> LogLines(const testsupport::FakeWindow& window) {
    std::vector<std::string> lines;
    for (const auto& message : window.Messages()) {
        if (message.Message == WM_LOG_TEXT) lines.push_back(message.Text);
    }
    return lines;
}

int CountLines(const testsupport::FakeWindow& window, const std::string& text) {
    const auto lines = LogLines(window);
    return static_cast<int>(std::count(lines.begin(), lines.end(), text));
}

int CountLinesStartingWith(const testsupport::FakeWindow& window, const std::string& prefix) {
    int n = 0;
    for (const auto& line : LogLines(window)) n += line.rfind(prefix, 0) == 0 ? 1 : 0;
    return n;
}

CTestApp::CTestApp() {
    app_ = std::make_unique<CMonitorApp>(tmp_.Path() + "/bin/OrvexClient");
    SetRecordDir(RecordDir());
    app_->SetMainWindow(&log_);
}

RecordDirFn CTestApp::Dir() {
    return [this] { return app_->Settings().RecordDir; };
}

void CTestApp::SetRecordDir(const std::string& folder) {
    AppSettings settings = app_->Settings();
    settings.RecordDir = folder;
    app_->SetSettings(settings);
}

void CTestApp::SetRecordSaveDay(int days) {
    AppSettings settings = app_->Settings();
    settings.RecordSaveDay = days;
    app_->SetSettings(settings);
}

CRetention::PolicyFn CTestApp::Policy() {
    return [this] {
        const AppSettings settings = app_->Settings();
        return CRetention::Policy{settings.RecordDir, settings.RecordSaveDay};
    };
}

CTestApp::~CTestApp() {
    app_->SetMainWindow(nullptr);
    app_.reset();
}

std::vector<std::string> CTestApp::LogFileTexts() const {
    std::vector<std::string> texts;
    for (const auto& path : testsupport::ListFiles(Tmp() + "/bin/Log")) {
        std::ifstream in(path, std::ios::binary);
        std::string line;
        while (std::getline(in, line)) {
            // "yyyy-mm-dd hh:mm:ss mmm" then two spaces.
            texts.push_back(line.size() >= 25 ? line.substr(25) : std::string());
        }
    }
    return texts;
}

uint64_t PatternWord(uint64_t index) {
    uint64_t x = index + 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

std::vector<uint8_t> PatternBytes(uint64_t offset, size_t length) {
    std::vector<uint8_t> bytes(length);
    size_t i = 0;
    // Whole words at once: the tests move hundreds of MB, also in sanitizer builds
    // where every byte access is checked.
    for (; i < length && ((offset + i) & 7) != 0; ++i) bytes[i] = PatternByte(offset + i);
    for (; i + 8 <= length; i += 8) {
        const uint64_t word = PatternWord((offset + i) >> 3);
        for (int k = 0; k < 8; ++k) bytes[i + k] = static_cast<uint8_t>(word >> (k * 8));
    }
    for (; i < length; ++i) bytes[i] = PatternByte(offset + i);
    return bytes;
}

std::vector<uint8_t> AccessUnit(int index, bool keyFrame, size_t size) {
    std::vector<uint8_t> unit = {0, 0, 0, 1, 0x09, 0xF0};
    const std::vector<uint8_t> head =
        keyFrame
            ? std::vector<uint8_t>{0, 0, 0, 1, 0x67, 0x42, 0, 0, 0, 1, 0x68, 0xCE, 0, 0, 1, 0x65}
            : std::vector<uint8_t>{0, 0, 1, 0x41};
    unit.insert(unit.end(), head.begin(), head.end());
    for (size_t i = unit.size(); i < size; ++i)
        unit.push_back(static_cast<uint8_t>(1 + (index * 7 + i) % 255));
    return unit;
}

bool PushPaced(CRecorder& recorder, uint64_t offset, uint64_t count, uint32_t runBytes) {
    const uint32_t room = CRecorder::kRingBytes - 1;
    std::vector<uint8_t> run;
    for (uint64_t done = 0; done < count;) {
        const uint32_t length = static_cast<uint32_t>(std::min<uint64_t>(runBytes, count - done));
        const bool roomCame = WaitUntil([&] { return recorder.BufferedBytes() + length <= room; },
                                        std::chrono::seconds(30));
        if (!roomCame) return false;
        run = PatternBytes(offset + done, length);
        recorder.Push(run.data(), static_cast<int32_t>(length));
        done += length;
    }
    return true;
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::seconds bound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

uint64_t FileSize(const std::string& path) {
    std::error_code error;
    const auto size = fs::file_size(path, error);
    return error ? 0 : size;
}

int64_t FirstPatternMismatch(const std::vector<std::string>& files) {
    uint64_t offset = 0;
    std::vector<uint8_t> block(1 << 20);
    for (const auto& path : files) {
        std::FILE* in = std::fopen(path.c_str(), "rb");
        if (in == nullptr) return static_cast<int64_t>(offset);
        size_t n;
        while ((n = std::fread(block.data(), 1, block.size(), in)) > 0) {
            const std::vector<uint8_t> expected = PatternBytes(offset, n);
            if (std::memcmp(block.data(), expected.data(), n) != 0) {
                size_t i = 0;
                while (block[i] == expected[i]) ++i;
                std::fclose(in);
                return static_cast<int64_t>(offset + i);
            }
            offset += n;
        }
        std::fclose(in);
    }
    return -1;
}

ClockFn FixedClock(const LocalTime& time) {
    return [time] { return time; };
}

ClockFn SteppingClock(const LocalTime& start) {
    auto calls = std::make_shared<std::atomic<int>>(0);
    return [start, calls] {
        std::tm tm{};
        tm.tm_year = start.Year - 1900;
        tm.tm_mon = start.Month - 1;
        tm.tm_mday = start.Day;
        tm.tm_hour = start.Hour;
        tm.tm_min = start.Minute;
        tm.tm_sec = start.Second + calls->fetch_add(1);
        const std::time_t seconds = timegm(&tm);  // normalizes past minute, hour and day
        gmtime_r(&seconds, &tm);
        return MakeLocalTime(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                             tm.tm_sec);
    };
}
