// Byte-exact text helpers for UTF-8, the narrow encoding of this platform.
// Text is copied, never converted; a cut never splits a character.
#pragma once

#include <cstddef>

// Length of the longest prefix of text[0..length) that is at most maxBytes long
// and does not end inside a multi-byte UTF-8 sequence.
size_t Utf8PrefixLength(const char* text, size_t length, size_t maxBytes);

// Copies text into dest (size bytes, size > 0), NUL-terminated, cut at a character
// boundary when it does not fit. Returns the number of text bytes copied.
size_t CopyTextCut(char* dest, size_t size, const char* text);
