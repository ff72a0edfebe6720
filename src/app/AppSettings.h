// The four settings of OrvexCfg.ini, section [CFG], as one value: each key, its
// default and its parsing live here, and Write stores all four at once. The
// application holds the current value; whoever needs a setting is handed it (or a
// way to read the current one) by the program's assembly.
//
// A plain value: copied whole, any thread.
#pragma once

#include <string>

struct AppSettings {
    static constexpr const char* kSection = "CFG";
    static constexpr int kDefaultRecordSaveDay = 30;
    // What 0, a negative value or a text that is no number becomes.
    static constexpr int kFallbackRecordSaveDay = 10;

    std::string RecordDir;  // recordings go below it
    int RecordSaveDay = kDefaultRecordSaveDay;
    // The switches stay text, as the file holds them: on exactly when "1".
    std::string SupportRecord = "1";
    std::string OpenVideoAfterStart = "1";

    bool IsSupportRecord() const { return SupportRecord == "1"; }
    bool IsOpenVideoAfterStart() const { return OpenVideoAfterStart == "1"; }

    // The values of a missing file: the user's videos folder followed by "/录像", 30
    // days, both switches on.
    static AppSettings Defaults();
    // The file at configPath, each missing key at its default.
    static AppSettings Read(const std::string& configPath);
    // Writes the four keys in their order in one replacement of the file, keeping
    // whatever else it holds. False, with the file untouched and reason (may be null)
    // saying why, when it cannot be written.
    bool Write(const std::string& configPath, std::string* reason) const;
};
