// The last stage of start-up, run once on the main window's loader worker: reads the
// camera list into the tree, opens the first four cameras when the settings say so,
// and hides the log panel.
//
// Threads: the loader runs on its worker and reaches the window only through its host,
// whose calls post to the window's thread and never wait for it; so the window may
// stop the loader and wait for it at any moment (its waits end at once on a stop).
#pragma once

#include <cstdint>
#include <string>

#include "app/AppSettings.h"
#include "common/WindowHandle.h"

class ILoaderHost {
public:
    virtual ~ILoaderHost() = default;
    // Disables or enables the settings button.
    virtual void PostSettingsEnabled(bool enabled) = 0;
    // The window that receives the camera list.
    virtual HWND ListWindow() = 0;
    virtual std::string CameraListPath() = 0;
    // The settings as they are now.
    virtual AppSettings Settings() = 0;
    // Opens cameras 0 to 3 of the tree in cells 0 to 3. Posted after the list, so the
    // window has rebuilt its tree from it when it gets there.
    virtual void PostOpenFirstCameras() = 0;
    virtual void PostToggleInfoBar() = 0;
    // Waits ms milliseconds; true at once when the window asks the loader to stop.
    virtual bool WaitOrStop(int ms) = 0;
    // Pauses the loader's own worker, so that it runs exactly once.
    virtual void PauseLoader() = 0;
};

constexpr int kLoaderDelayMs = 2000;

// The loader worker's thread function; user is the ILoaderHost. Does nothing for null.
int32_t CameraListLoader(void* user);
