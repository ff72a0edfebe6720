// Helpers for the camera list tests: records, a window that keeps copies of the
// camera tables posted to it, and a bounded run for inputs that once hung a parser.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstring>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/DeviceInfo.h"
#include "common/Messages.h"
#include "support/TestSupport.h"

namespace configtest {

inline DeviceInfo MakeRecord(int index, const std::string& name, const std::string& custom,
                             int width = 640, int height = 480, int frameRate = 30) {
    DeviceInfo record;
    ZeroDeviceInfo(record);
    record.DeviceIndex = index;
    SetDeviceName(record.DeviceName, name.c_str());
    SetDeviceName(record.CustomDeviceName, custom.c_str());
    record.Width = width;
    record.Height = height;
    record.FrameRate = frameRate;
    return record;
}

// A FakeWindow that also keeps a copy of every camera table it accepted.
class ListWindow : public testsupport::FakeWindow {
public:
    bool Post(unsigned message, WPARAM wParam, LPARAM lParam) override {
        std::vector<DeviceInfo> copy;
        if (message == WM_CAMERA_LIST && wParam != 0) {
            // Still the sender's table until the post succeeds, so it may be read here.
            const auto* table = reinterpret_cast<const DeviceInfo*>(wParam);
            copy.assign(table, table + std::clamp<LPARAM>(lParam, 0, kCameraTableRecords));
        }
        if (!FakeWindow::Post(message, wParam, lParam)) return false;
        if (message == WM_CAMERA_LIST) {
            std::lock_guard<std::mutex> guard(lock_);
            tables_.push_back(std::move(copy));
        }
        return true;
    }

    std::vector<std::vector<DeviceInfo>> Tables() const {
        std::lock_guard<std::mutex> guard(lock_);
        return tables_;
    }

    std::vector<std::string> LogTexts() const {
        std::vector<std::string> texts;
        for (const auto& m : Messages()) {
            if (m.Message == WM_LOG_TEXT) texts.push_back(m.Text);
        }
        return texts;
    }

private:
    mutable std::mutex lock_;  // guards tables_
    std::vector<std::vector<DeviceInfo>> tables_;
};

// Runs work on a thread of its own and waits at most timeout for it, so that a parser
// caught in an endless loop fails the test instead of hanging the run. work must own
// everything it touches (capture by value): on a time-out its thread is left behind.
template <class Work>
bool FinishesWithin(std::chrono::seconds timeout, Work work) {
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    std::thread([done, work]() mutable {
        work();
        done->set_value();
    }).detach();
    return finished.wait_for(timeout) == std::future_status::ready;
}

// Every name of a record ends with a NUL inside its field.
inline bool NamesTerminated(const DeviceInfo& record) {
    return std::memchr(record.DeviceName, '\0', sizeof record.DeviceName) != nullptr &&
           std::memchr(record.CustomDeviceName, '\0', sizeof record.CustomDeviceName) != nullptr;
}

}  // namespace configtest
