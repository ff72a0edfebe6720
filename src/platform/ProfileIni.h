// Private-profile (INI) reading and writing with the Windows semantics the
// configuration relies on: section and key names case-insensitive, values
// trimmed, the integer read takes an optional sign and the leading decimal digits
// ("abc" gives 0), a write creates the file and keeps every other section, key
// and comment. The first of duplicate keys is the one read.
#pragma once

#include <string>

std::string GetProfileString(const std::string& path, const char* section, const char* key,
                             const char* defaultValue);

// The default when the file or key is missing.
int GetProfileInt(const std::string& path, const char* section, const char* key, int defaultValue);

// True when the file was written.
bool WriteProfileString(const std::string& path, const char* section, const char* key,
                        const char* value);

// Decimal value of text: leading white space skipped, an optional sign, then
// digits up to the first other character; no digits give 0. Saturates at the
// limits of int.
int ParseLeadingInt(const char* text);
