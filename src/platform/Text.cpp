#include "platform/Text.h"

#include <cstring>

size_t Utf8PrefixLength(const char* text, size_t length, size_t maxBytes) {
    if (length <= maxBytes) return length;
    size_t cut = maxBytes;
    // Step back over continuation bytes (10xxxxxx) to the start of the split character.
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    return cut;
}

size_t CopyTextCut(char* dest, size_t size, const char* text) {
    if (dest == nullptr || size == 0) return 0;
    if (text == nullptr) {
        dest[0] = '\0';
        return 0;
    }
    const size_t n = Utf8PrefixLength(text, std::strlen(text), size - 1);
    std::memcpy(dest, text, n);
    dest[n] = '\0';
    return n;
}
