#include "playback/GstSupport.h"

#include <mutex>
#include <string>

bool EnsureGstreamer() {
    static std::once_flag once;
    static bool initialised = false;  // written once inside call_once, read after it
    std::call_once(once, [] {
        GError* error = nullptr;
        initialised = gst_init_check(nullptr, nullptr, &error) == TRUE;
        PlaybackErrorRef owned(error);
    });
    return initialised;
}

std::string ErrorText(GstMessage* message) {
    if (message == nullptr || GST_MESSAGE_TYPE(message) != GST_MESSAGE_ERROR) return {};
    GError* error = nullptr;
    gchar* debug = nullptr;
    gst_message_parse_error(message, &error, &debug);
    PlaybackErrorRef owned(error);
    g_free(debug);
    return error != nullptr && error->message != nullptr ? error->message : "unknown error";
}
