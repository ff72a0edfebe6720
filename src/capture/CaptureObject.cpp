#include "capture/CaptureObject.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "app/MonitorApp.h"

namespace {
// Length of the bytes' UTF-8 sequence, judged by its lead byte.
size_t SequenceBytes(unsigned char lead) {
    if (lead >= 0xF0) return 4;
    if (lead >= 0xE0) return 3;
    if (lead >= 0xC0) return 2;
    return 1;
}

// vsnprintf cuts at a byte count and may split the last character; drop such a
// partial character so the text stays valid UTF-8.
void CutAtCharacter(char* text, int formattedLength, size_t bufferBytes) {
    if (formattedLength < 0) {
        text[0] = '\0';
        return;
    }
    if (static_cast<size_t>(formattedLength) < bufferBytes) return;
    const size_t kept = bufferBytes - 1;
    size_t start = kept;
    while (start > 0 && (static_cast<unsigned char>(text[start - 1]) & 0xC0) == 0x80) --start;
    if (start == 0) return;  // only continuation bytes: nothing sensible to keep apart
    --start;                 // the lead byte of the last character
    const size_t need = SequenceBytes(static_cast<unsigned char>(text[start]));
    if (kept - start < need) text[start] = '\0';
}
}  // namespace

void ComponentLog(const CCaptureObject* component, const char* format, ...) {
    if (format == nullptr) return;
    constexpr size_t kBufferBytes = kComponentLogMaxBytes + 1;

    char message[kBufferBytes];
    va_list args;
    va_start(args, format);
    const int messageLength = std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    CutAtCharacter(message, messageLength, sizeof message);

    // The component name is always empty, so every line begins with one space.
    (void)component;
    char text[kBufferBytes];
    const int textLength = std::snprintf(text, sizeof text, " %s", message);
    CutAtCharacter(text, textLength, sizeof text);

    AppLog(text);
}
