#include "platform/ProfileIni.h"

#include <SimpleIni.h>
#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <system_error>
#include <utility>

#include "platform/FileSystem.h"

namespace {

// Multi-key on, so that of duplicate keys the first is read, as Windows does.
SI_Error Load(CSimpleIniA& ini, const std::string& path) {
    ini.SetUnicode(true);
    ini.SetMultiKey(true);
    ini.SetMultiLine(false);
    // SimpleIni sizes its buffer by seeking to the end, which a folder or a device in
    // the file's place answers with a huge size: only a regular file is read.
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return SI_FILE;
    }
    return ini.LoadFile(path.c_str());  // A missing or unreadable file leaves it empty.
}

bool Fail(std::string* reason, const std::string& what, int error) {
    if (reason != nullptr) *reason = what + ": " + std::generic_category().message(error);
    return false;
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
    return WriteProfileStrings(path, section, {{key, value != nullptr ? value : ""}});
}

bool WriteProfileStrings(const std::string& path, const char* section,
                         const std::vector<std::pair<std::string, std::string>>& keysAndValues,
                         std::string* reason) {
    CSimpleIniA ini;
    errno = 0;
    const SI_Error loaded = Load(ini, path);
    if (loaded == SI_FILE && errno != ENOENT) return Fail(reason, "read " + path, errno);
    if (loaded < 0 && loaded != SI_FILE) return Fail(reason, "read " + path, EILSEQ);
    for (const auto& [key, value] : keysAndValues) {
        if (ini.SetValue(section, key.c_str(), value.c_str(), nullptr, true) < 0) {
            return Fail(reason, "set " + key, ENOMEM);
        }
    }
    std::string content;
    if (ini.Save(content, false) < 0) return Fail(reason, "format " + path, ENOMEM);
    return ReplaceFile(path, content, reason);
}
