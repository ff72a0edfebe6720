#include "camcap/BusWatcher.h"

#include <cstring>
#include <system_error>

namespace {

constexpr const char* kWakeName = "orvex-bus-watcher-wake";
// A stop posted while the bus flushes is lost; the watcher then still sees the flag
// within this time.
constexpr GstClockTime kPollNs = 200 * GST_MSECOND;

}  // namespace

CBusWatcher::~CBusWatcher() {
    Stop();
}

bool CBusWatcher::Start(GstBus* bus, Handler handler) {
    if (bus == nullptr || thread_.joinable()) return false;
    bus_ = RefGstObject(bus);
    handler_ = std::move(handler);
    stopping_.store(false);
    try {
        thread_ = std::thread(&CBusWatcher::Run, this);
    } catch (const std::system_error&) {
        bus_.reset();
        handler_ = nullptr;
        return false;
    }
    return true;
}

void CBusWatcher::Stop() {
    if (!thread_.joinable()) return;
    stopping_.store(true);
    gst_bus_post(bus_.get(),
                 gst_message_new_application(nullptr, gst_structure_new_empty(kWakeName)));
    thread_.join();
    bus_.reset();
    handler_ = nullptr;
}

void CBusWatcher::Run() {
    const auto types =
        static_cast<GstMessageType>(GST_MESSAGE_ERROR | GST_MESSAGE_EOS | GST_MESSAGE_APPLICATION);
    while (!stopping_.load()) {
        // Messages of other types are popped and dropped, so the bus never fills up.
        GstMessageRef message(gst_bus_timed_pop_filtered(bus_.get(), kPollNs, types));
        if (!message || stopping_.load()) continue;
        if (GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_APPLICATION) continue;
        handler_(message.get());
    }
}
