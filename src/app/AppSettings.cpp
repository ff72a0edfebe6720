#include "app/AppSettings.h"

#include "platform/FileSystem.h"
#include "platform/ProfileIni.h"

namespace {
constexpr const char* kRecordDir = "RecordDir";
constexpr const char* kRecordSaveDay = "RecordSaveDay";
constexpr const char* kSupportRecord = "SupportRecord";
constexpr const char* kOpenVideoAfterStart = "OpenVideoAfterStart";
}  // namespace

AppSettings AppSettings::Defaults() {
    AppSettings settings;
    settings.RecordDir = UserVideosDir() + "/录像";
    return settings;
}

AppSettings AppSettings::Read(const std::string& configPath) {
    AppSettings settings = Defaults();
    settings.RecordDir =
        GetProfileString(configPath, kSection, kRecordDir, settings.RecordDir.c_str());
    const int days = GetProfileInt(configPath, kSection, kRecordSaveDay, kDefaultRecordSaveDay);
    settings.RecordSaveDay = days > 0 ? days : kFallbackRecordSaveDay;
    settings.SupportRecord =
        GetProfileString(configPath, kSection, kSupportRecord, settings.SupportRecord.c_str());
    settings.OpenVideoAfterStart = GetProfileString(configPath, kSection, kOpenVideoAfterStart,
                                                    settings.OpenVideoAfterStart.c_str());
    return settings;
}

bool AppSettings::Write(const std::string& configPath, std::string* reason) const {
    return WriteProfileStrings(configPath, kSection,
                               {{kRecordDir, RecordDir},
                                {kRecordSaveDay, std::to_string(RecordSaveDay)},
                                {kSupportRecord, SupportRecord},
                                {kOpenVideoAfterStart, OpenVideoAfterStart}},
                               reason);
}
