#include "restream/MountPath.h"

std::string PercentEncode(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        const bool unreserved = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                                (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' ||
                                byte == '_' || byte == '~';
        if (unreserved) {
            out += c;
        } else {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
        }
    }
    return out;
}

std::string CameraNumberPath(int cameraIndex1Based) {
    return "/cam" + std::to_string(cameraIndex1Based);
}

std::string CameraNamePath(std::string_view customName) {
    return customName.empty() ? std::string() : "/" + PercentEncode(customName);
}
