#include "camcap/NoticeText.h"

#include <cstring>

#include "camcap/GstRef.h"

namespace {

bool Contains(const char* text, const char* part) {
    return text != nullptr && std::strstr(text, part) != nullptr;
}

// v4l2 reports a vanished device as a read or poll error with ENODEV, and a camera
// that does not get its USB bandwidth as a failed stream start with ENOSPC, which
// surfaces as a buffer pool that cannot be activated.
NoticeKind ClassifyError(const GError* error, const char* debug) {
    if (error == nullptr || error->domain != GST_RESOURCE_ERROR) return NoticeKind::Failure;
    const char* message = error->message;
    if (error->code == GST_RESOURCE_ERROR_NO_SPACE_LEFT ||
        Contains(debug, "No space left on device") || Contains(debug, "bandwidth") ||
        Contains(message, "bandwidth") ||
        (error->code == GST_RESOURCE_ERROR_SETTINGS &&
         Contains(debug, "Buffer pool activation failed"))) {
        return NoticeKind::Bandwidth;
    }
    if (Contains(debug, "No such device") || error->code == GST_RESOURCE_ERROR_READ ||
        error->code == GST_RESOURCE_ERROR_NOT_FOUND ||
        error->code == GST_RESOURCE_ERROR_OPEN_READ ||
        error->code == GST_RESOURCE_ERROR_OPEN_READ_WRITE) {
        return NoticeKind::Unplugged;
    }
    return NoticeKind::Failure;
}

}  // namespace

NoticeKind ClassifyBusMessage(GstMessage* message) {
    if (message == nullptr) return NoticeKind::None;
    switch (GST_MESSAGE_TYPE(message)) {
        case GST_MESSAGE_EOS:
            return NoticeKind::StreamEnded;
        case GST_MESSAGE_ERROR: {
            GError* error = nullptr;
            gchar* debug = nullptr;
            gst_message_parse_error(message, &error, &debug);
            GErrorRef errorRef(error);
            GCharRef debugRef(debug);
            return ClassifyError(error, debug);
        }
        default:
            return NoticeKind::None;
    }
}

bool BlamesTheMode(GstMessage* error) {
    if (error == nullptr || GST_MESSAGE_TYPE(error) != GST_MESSAGE_ERROR) return false;
    if (ClassifyBusMessage(error) == NoticeKind::Bandwidth) return true;
    GError* parsed = nullptr;
    gchar* debug = nullptr;
    gst_message_parse_error(error, &parsed, &debug);
    GErrorRef parsedRef(parsed);
    GCharRef debugRef(debug);
    if (parsed == nullptr) return false;
    return (parsed->domain == GST_RESOURCE_ERROR && parsed->code == GST_RESOURCE_ERROR_SETTINGS) ||
           (parsed->domain == GST_CORE_ERROR && parsed->code == GST_CORE_ERROR_NEGOTIATION) ||
           (parsed->domain == GST_STREAM_ERROR && parsed->code == GST_STREAM_ERROR_FORMAT) ||
           Contains(debug, "not-negotiated");
}

std::string NoticeTextFor(GstMessage* message, const std::string& cameraName) {
    switch (ClassifyBusMessage(message)) {
        case NoticeKind::None:
            return {};
        case NoticeKind::Unplugged:
            return "摄像头 " + cameraName + " 已断开";
        case NoticeKind::Bandwidth:
            return "摄像头 " + cameraName + " USB 带宽不足";
        case NoticeKind::StreamEnded:
            return "摄像头 " + cameraName + " 视频流已结束";
        case NoticeKind::Failure:
            break;
    }
    GError* error = nullptr;
    gst_message_parse_error(message, &error, nullptr);
    GErrorRef errorRef(error);
    std::string text = "摄像头 " + cameraName + " 出错";
    if (error != nullptr && error->message != nullptr) text += std::string(": ") + error->message;
    return text;
}

std::string OpenFailedText(const std::string& cameraName, const char* reason) {
    std::string text = "摄像头 " + cameraName + " 打开失败";
    if (reason != nullptr && reason[0] != '\0') text += std::string(": ") + reason;
    return text;
}

std::string StartFailedText(GstMessage* error, const std::string& cameraName,
                            const std::string& reason) {
    if (error == nullptr || GST_MESSAGE_TYPE(error) != GST_MESSAGE_ERROR) {
        return OpenFailedText(cameraName, reason.c_str());
    }
    if (ClassifyBusMessage(error) == NoticeKind::Failure) {
        GError* parsed = nullptr;
        gst_message_parse_error(error, &parsed, nullptr);
        GErrorRef parsedRef(parsed);
        return OpenFailedText(cameraName, parsed != nullptr ? parsed->message : nullptr);
    }
    return NoticeTextFor(error, cameraName);
}

std::string NoPictureText(const std::string& cameraName) {
    return "摄像头 " + cameraName + " 无画面";
}

std::string ReconnectedText(const std::string& cameraName) {
    return "摄像头 " + cameraName + " 已重新连接";
}
