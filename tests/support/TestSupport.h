// Shared test helpers: a temporary folder removed with its contents, a window
// handle that collects posted messages, and small file helpers.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "common/WindowHandle.h"
#include "platform/LocalTime.h"

namespace testsupport {

// A fresh folder under $TMPDIR (or /tmp), removed recursively on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

struct PostedMessage {
    unsigned Message;
    WPARAM WParam;
    LPARAM LParam;
    std::string Text;  // for WM_LOG_TEXT: the text carried
};

// Records every post; takes ownership of payloads and frees them at once, keeping
// a copy of texts. Posts can be refused to test the sender's freeing path.
class FakeWindow : public IWindowHandle {
public:
    bool Post(unsigned message, WPARAM wParam, LPARAM lParam) override;
    bool IsAlive() const override { return alive_; }

    void SetAlive(bool alive) { alive_ = alive; }
    void SetRefusePosts(bool refuse);
    std::vector<PostedMessage> Messages() const;
    size_t PostCount() const;
    // The texts of the WM_LOG_TEXT posts, in arrival order.
    std::vector<std::string> Texts() const;
    // Waits (bounded) until a posted text contains part; false on time-out.
    bool WaitForText(const std::string& part, std::chrono::milliseconds timeout);
    // Waits (bounded) until at least count messages arrived; false on time-out.
    bool WaitForMessages(size_t count, int timeoutMs);

private:
    mutable std::mutex lock_;  // guards messages_ and refuse_
    std::condition_variable arrived_;
    std::vector<PostedMessage> messages_;
    bool refuse_ = false;
    bool alive_ = true;  // set before threads start
};

// A local time for clocks that tests move by hand.
LocalTime MakeLocalTime(int year, int month, int day, int hour, int minute, int second,
                        int milliseconds = 0);

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);
bool Exists(const std::string& path);
// Regular files below folder, recursively, sorted by path.
std::vector<std::string> ListFiles(const std::string& folder);

}  // namespace testsupport
