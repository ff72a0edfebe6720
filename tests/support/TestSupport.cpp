#include "support/TestSupport.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "common/Messages.h"

namespace testsupport {

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") + "/orvex-test-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = buffer.data();
}

TempDir::~TempDir() {
    std::error_code ec;
    // Restore write permission so that read-only test folders can be removed.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
    }
    std::filesystem::remove_all(path_, ec);
}

bool FakeWindow::Post(unsigned message, WPARAM wParam, LPARAM lParam) {
    std::lock_guard<std::mutex> guard(lock_);
    if (!alive_ || refuse_) return false;
    PostedMessage posted{message, wParam, lParam, {}};
    if (message == WM_LOG_TEXT && wParam != 0) posted.Text = reinterpret_cast<const char*>(wParam);
    FreeMessagePayload(message, wParam, lParam);
    messages_.push_back(std::move(posted));
    arrived_.notify_all();
    return true;
}

void FakeWindow::SetRefusePosts(bool refuse) {
    std::lock_guard<std::mutex> guard(lock_);
    refuse_ = refuse;
}

std::vector<PostedMessage> FakeWindow::Messages() const {
    std::lock_guard<std::mutex> guard(lock_);
    return messages_;
}

size_t FakeWindow::PostCount() const {
    std::lock_guard<std::mutex> guard(lock_);
    return messages_.size();
}

std::vector<std::string> FakeWindow::Texts() const {
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<std::string> texts;
    for (const PostedMessage& posted : messages_) {
        if (posted.Message == WM_LOG_TEXT) texts.push_back(posted.Text);
    }
    return texts;
}

bool FakeWindow::WaitForText(const std::string& part, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> guard(lock_);
    return arrived_.wait_for(guard, timeout, [&] {
        for (const PostedMessage& posted : messages_) {
            if (posted.Message == WM_LOG_TEXT && posted.Text.find(part) != std::string::npos) {
                return true;
            }
        }
        return false;
    });
}

bool FakeWindow::WaitForMessages(size_t count, int timeoutMs) {
    std::unique_lock<std::mutex> guard(lock_);
    return arrived_.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                             [&] { return messages_.size() >= count; });
}

LocalTime MakeLocalTime(int year, int month, int day, int hour, int minute, int second,
                        int milliseconds) {
    LocalTime t;
    t.Year = year;
    t.Month = month;
    t.Day = day;
    t.Hour = hour;
    t.Minute = minute;
    t.Second = second;
    t.Milliseconds = milliseconds;
    return t;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

bool Exists(const std::string& path) {
    return std::filesystem::exists(path);
}

std::vector<std::string> ListFiles(const std::string& folder) {
    std::vector<std::string> files;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(folder, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_regular_file()) files.push_back(it->path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace testsupport
