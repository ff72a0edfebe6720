#include "camcap/GstRuntime.h"

#include <gst/gst.h>

#include <mutex>

#include "camcap/GstDebug.h"

GST_DEBUG_CATEGORY(orvex_camcap_debug);

namespace GstRuntime {

bool EnsureInitialised() {
    static std::once_flag once;
    static bool initialised = false;  // written once inside call_once, read after it
    std::call_once(once, [] {
        GError* error = nullptr;
        initialised = gst_init_check(nullptr, nullptr, &error) == TRUE;
        if (error != nullptr) g_error_free(error);
        if (initialised) {
            GST_DEBUG_CATEGORY_INIT(orvex_camcap_debug, "orvexcamcap", 0,
                                    "OrvexClient capture library");
        }
    });
    return initialised;
}

}  // namespace GstRuntime
