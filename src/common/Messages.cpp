#include "common/Messages.h"

#include <cstring>
#include <new>

#include "common/DeviceInfo.h"
#include "platform/Text.h"

char* NewMessageText(const char* text, size_t blockBytes) {
    if (blockBytes == 0) return nullptr;
    char* block = new (std::nothrow) char[blockBytes];
    if (block == nullptr) return nullptr;
    std::memset(block, 0, blockBytes);
    CopyTextCut(block, blockBytes, text);
    return block;
}

char* NewMessageText(const char* text) {
    return NewMessageText(text, (text != nullptr ? std::strlen(text) : 0) + 1);
}

void FreeMessageText(char* text) {
    delete[] text;
}

void FreeMessagePayload(unsigned message, WPARAM wParam, LPARAM) {
    if (wParam == 0) return;
    switch (message) {
        case WM_LOG_TEXT:
            FreeMessageText(reinterpret_cast<char*>(wParam));
            break;
        case WM_CAMERA_LIST:
            FreeCameraTable(reinterpret_cast<DeviceInfo*>(wParam));
            break;
        default:
            break;
    }
}

bool PostLogText(HWND window, char* text, LPARAM source) {
    if (text == nullptr) return false;
    if (window != nullptr && window->IsAlive() &&
        window->Post(WM_LOG_TEXT, reinterpret_cast<WPARAM>(text), source)) {
        return true;
    }
    FreeMessageText(text);
    return false;
}
