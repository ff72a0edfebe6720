// Private-profile (INI) reading and writing with the Windows semantics the
// configuration relies on: section and key names case-insensitive, values
// trimmed, the integer read takes an optional sign and the leading decimal digits
// ("abc" gives 0), a write creates the file and keeps every other section, key
// and comment. The first of duplicate keys is the one read.
//
// A write replaces the file whole: the new content goes to a temporary file in the
// same folder, which is flushed and renamed over the old one, so the file is always
// the old content or the new one, never half of it.
#pragma once

#include <string>
#include <utility>
#include <vector>

std::string GetProfileString(const std::string& path, const char* section, const char* key,
                             const char* defaultValue);

// The default when the file or key is missing.
int GetProfileInt(const std::string& path, const char* section, const char* key, int defaultValue);

// True when the file was written.
bool WriteProfileString(const std::string& path, const char* section, const char* key,
                        const char* value);

// Sets the keys of section in the given order (new keys are appended in that order)
// and writes the file once: all of them or none. False when the file could not be
// written, also when an existing file cannot be read (writing it would lose what it
// holds); reason (may be null) then says why, and the old file is untouched.
bool WriteProfileStrings(const std::string& path, const char* section,
                         const std::vector<std::pair<std::string, std::string>>& keysAndValues,
                         std::string* reason = nullptr);

// Decimal value of text: leading white space skipped, an optional sign, then
// digits up to the first other character; no digits give 0. Saturates at the
// limits of int.
int ParseLeadingInt(const char* text);
