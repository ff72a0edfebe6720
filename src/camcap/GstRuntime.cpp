#include "camcap/GstRuntime.h"

#include <gst/gst.h>

#include <mutex>

bool CGstRuntime::EnsureInitialised() {
    static std::once_flag once;
    static bool initialised = false;  // written once inside call_once, read after it
    std::call_once(once, [] {
        GError* error = nullptr;
        initialised = gst_init_check(nullptr, nullptr, &error) == TRUE;
        if (error != nullptr) g_error_free(error);
    });
    return initialised;
}
