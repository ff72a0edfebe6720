#include "app/MonitorApp.h"

#include <atomic>

#include "common/Messages.h"
#include "platform/FileSystem.h"

namespace {
std::atomic<CMonitorApp*> gApp{nullptr};  // set and cleared by the application object
}  // namespace

CMonitorApp* TheApp() {
    return gApp.load();
}

void AppLog(const char* text) {
    if (CMonitorApp* app = TheApp()) app->AppLog(text);
}

namespace {
// The user's folders hold an operator's settings and logs: private, as XDG asks.
constexpr unsigned kUserFolderMode = 0700;
}  // namespace

CMonitorApp::CMonitorApp(std::string modulePath, ClockFn clock)
    : modulePath_(modulePath.empty() ? ::ModulePath() : std::move(modulePath)),
      paths_(ResolveAppPaths(modulePath_)) {
    if (paths_.UsesUserFolders) {
        // Failures show later as a missing log file or an unsaved setting.
        CreateFolderTree(paths_.ConfigDir, kUserFolderMode);
        CreateFolderTree(paths_.LogBase, kUserFolderMode);
    }
    eventLog_ = std::make_unique<CEventLog>(paths_.LogBase, std::move(clock));
    eventLog_->SetLogName(kLogName);
    gApp.store(this);
}

CMonitorApp::~CMonitorApp() {
    CMonitorApp* self = this;
    gApp.compare_exchange_strong(self, nullptr);
    ExitInstance();
}

void CMonitorApp::InitPaths() {
    std::lock_guard<std::mutex> guard(settingsLock_);
    exeDir_ = paths_.ExeDir;
    configPath_ = paths_.ConfigPath;
    cameraListPath_ = paths_.CameraListPath;
}

void CMonitorApp::LoadSettings() {
    SetSettings(AppSettings::Read(ConfigPath()));
}

bool CMonitorApp::InitInstance(const std::function<void(CMonitorApp&)>& runMainWindow) {
    InitPaths();
    LoadSettings();
    if (runMainWindow) runMainWindow(*this);
    return false;
}

int CMonitorApp::ExitInstance() {
    std::lock_guard<std::recursive_mutex> guard(logLock_);
    eventLog_.reset();
    mainWindow_ = nullptr;
    return 0;
}

void CMonitorApp::AppLog(const char* text) {
    if (text == nullptr) return;
    std::lock_guard<std::recursive_mutex> guard(logLock_);
    if (eventLog_) eventLog_->AddLine(text);
    // Posting under the lock keeps the panel's order the same as the file's.
    if (mainWindow_ != nullptr && mainWindow_->IsAlive()) {
        PostLogText(mainWindow_, NewMessageText(text, kLogTextBytes), 0);
    }
}

void CMonitorApp::LogFileOnly(const char* text) {
    if (text == nullptr) return;
    std::lock_guard<std::recursive_mutex> guard(logLock_);
    if (eventLog_) eventLog_->AddLine(text);
}

void CMonitorApp::SetMainWindow(HWND window) {
    std::lock_guard<std::recursive_mutex> guard(logLock_);
    mainWindow_ = window;
}

bool CMonitorApp::PostToMainWindow(unsigned message, WPARAM wParam, LPARAM lParam) {
    std::lock_guard<std::recursive_mutex> guard(logLock_);
    return mainWindow_ != nullptr && mainWindow_->IsAlive() &&
           mainWindow_->Post(message, wParam, lParam);
}

std::string CMonitorApp::ExeDir() const {
    std::lock_guard<std::mutex> guard(settingsLock_);
    return exeDir_;
}

std::string CMonitorApp::ConfigPath() const {
    std::lock_guard<std::mutex> guard(settingsLock_);
    return configPath_;
}

std::string CMonitorApp::CameraListPath() const {
    std::lock_guard<std::mutex> guard(settingsLock_);
    return cameraListPath_;
}

AppSettings CMonitorApp::Settings() const {
    std::lock_guard<std::mutex> guard(settingsLock_);
    return settings_;
}

void CMonitorApp::SetSettings(const AppSettings& settings) {
    std::function<void(const AppSettings&)> listener;
    {
        std::lock_guard<std::mutex> guard(settingsLock_);
        settings_ = settings;
        listener = settingsListener_;
    }
    if (listener) listener(settings);
}

void CMonitorApp::SetSettingsListener(std::function<void(const AppSettings&)> listener) {
    std::lock_guard<std::mutex> guard(settingsLock_);
    settingsListener_ = std::move(listener);
}
