// The application object: where the files live (AppPaths), the current settings
// (AppSettings), the event log and the log routine AppLog. One exists per process;
// components log through the free AppLog(), and the program's assembly hands each
// part the settings it needs.
//
// Threads: AppLog may be called from any thread. The settings are written on the
// user-interface thread and read from any thread; each read returns a whole copy
// taken under the settings lock, never a torn value.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "app/AppPaths.h"
#include "app/AppSettings.h"
#include "app/EventLog.h"
#include "common/WindowHandle.h"
#include "platform/LocalTime.h"

class CMonitorApp {
public:
    static constexpr const char* kLogName = "OrvexClient";

    // modulePath: the executable's full path; empty means the running executable.
    // Decides where the files live (ResolveAppPaths), creates the user's folders when
    // they are used, then creates the event log and starts the first log file at
    // once. Becomes TheApp() until destroyed; constructing a second one while the
    // first lives replaces it.
    explicit CMonitorApp(std::string modulePath = {}, ClockFn clock = {});
    virtual ~CMonitorApp();

    CMonitorApp(const CMonitorApp&) = delete;
    CMonitorApp& operator=(const CMonitorApp&) = delete;

    // Resolves the paths and reads the four settings, then runs runMainWindow (the
    // main window's modal run) when given. Returns false, as the process ends after it.
    bool InitInstance(const std::function<void(CMonitorApp&)>& runMainWindow = {});
    // Deletes the event log; from then on AppLog writes nothing and posts nothing.
    int ExitInstance();

    // Publishes ExeDir, ConfigPath and CameraListPath from the paths decided at
    // construction.
    void InitPaths();
    // Reads the settings file.
    void LoadSettings();

    // Writes the text as a line of the event log, then posts a copy to the main
    // window's log panel as WM_LOG_TEXT with lParam 0.
    void AppLog(const char* text);

    // Writes the text as a line of the event log only, for a text the log panel
    // already shows (the capture library posts its texts to the window directly).
    void LogFileOnly(const char* text);

    // The window that receives the log panel's copies; null while there is none.
    void SetMainWindow(HWND window);

    // Posts to the main window, when there is one, under the same lock as
    // SetMainWindow, so a window that has gone is never posted to. True when posted:
    // a heap block carried then belongs to the window; otherwise it is the caller's.
    bool PostToMainWindow(unsigned message, WPARAM wParam, LPARAM lParam);

    std::string ModulePath() const { return modulePath_; }
    std::string ExeDir() const;  // the executable's folder, ends with "/"
    std::string ConfigPath() const;
    std::string CameraListPath() const;
    // Where the files live, as decided at construction; read-only, any thread.
    const AppPaths& Paths() const { return paths_; }
    AppSettings Settings() const;
    // Takes new values (the settings dialog has written them to the file), then tells
    // the listener, if any, on the calling thread.
    void SetSettings(const AppSettings& settings);
    // Who follows the settings as they change (the catalog follows RecordDir); set by
    // the program's assembly, empty to stop. Called outside the settings lock: it may
    // read the settings, and must return at once.
    void SetSettingsListener(std::function<void(const AppSettings&)> listener);

private:
    const std::string modulePath_;  // set at construction, read-only after
    const AppPaths paths_;          // set at construction, read-only after

    mutable std::mutex settingsLock_;  // guards the fields below it, for copies only
    std::string exeDir_;
    std::string configPath_;
    std::string cameraListPath_;
    AppSettings settings_;
    std::function<void(const AppSettings&)> settingsListener_;

    std::recursive_mutex logLock_;         // serializes AppLog; taken before the event log's lock
    std::unique_ptr<CEventLog> eventLog_;  // guarded by logLock_
    HWND mainWindow_ = nullptr;            // guarded by logLock_
};

// The application object, or null before it exists and after it is gone. Only the
// program's assembly and its windows reach for it.
CMonitorApp* TheApp();

// The application's log routine; does nothing when there is no application object.
void AppLog(const char* text);
