#include "platform/ProfileIni.h"

#include <SimpleIni.h>

#include <cctype>
#include <climits>

namespace {
// Multi-key on, so that of duplicate keys the first is read, as Windows does.
void Load(CSimpleIniA& ini, const std::string& path) {
    ini.SetUnicode(true);
    ini.SetMultiKey(true);
    ini.SetMultiLine(false);
    ini.LoadFile(path.c_str());  // A missing or unreadable file leaves it empty.
}
}  // namespace

int ParseLeadingInt(const char* text) {
    if (text == nullptr) return 0;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    while (*p != '\0' && std::isspace(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    long long value = 0;
    while (*p >= '0' && *p <= '9') {
        value = value * 10 + (*p - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;
        ++p;
    }
    if (negative) value = -value;
    if (value > INT_MAX) value = INT_MAX;
    if (value < INT_MIN) value = INT_MIN;
    return static_cast<int>(value);
}

std::string GetProfileString(const std::string& path, const char* section, const char* key,
                             const char* defaultValue) {
    CSimpleIniA ini;
    Load(ini, path);
    const char* value = ini.GetValue(section, key, nullptr);
    return value != nullptr ? value : (defaultValue != nullptr ? defaultValue : "");
}

int GetProfileInt(const std::string& path, const char* section, const char* key, int defaultValue) {
    CSimpleIniA ini;
    Load(ini, path);
    const char* value = ini.GetValue(section, key, nullptr);
    return value != nullptr ? ParseLeadingInt(value) : defaultValue;
}

bool WriteProfileString(const std::string& path, const char* section, const char* key,
                        const char* value) {
    CSimpleIniA ini;
    Load(ini, path);
    if (ini.SetValue(section, key, value != nullptr ? value : "", nullptr, true) < 0) return false;
    return ini.SaveFile(path.c_str(), false) >= 0;
}
