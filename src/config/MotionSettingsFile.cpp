#include "config/MotionSettingsFile.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "config/XmlElements.h"
#include "config/XmlInputGuard.h"
#include "platform/FileSystem.h"

namespace {
constexpr const char* kFileName = "MotionSettings.xml";
constexpr const char* kRootName = "MotionSettings";
constexpr const char* kEntryName = "Camera";

std::string MaskText(const MotionSettings& settings) {
    std::string text;
    for (int row = 0; row < MotionSettings::kMaskRows; ++row) {
        if (row > 0) text += ' ';
        for (int column = 0; column < MotionSettings::kMaskColumns; ++column) {
            text += settings.Excluded.test(MotionSettings::Cell(column, row)) ? '1' : '0';
        }
    }
    return text;
}

// Only a whole mask of 192 cells counts: anything else keeps every cell watched.
void ReadMask(const char* text, MotionSettings* settings) {
    std::string cells;
    for (const char* c = text; *c != '\0'; ++c) {
        if (*c == '0' || *c == '1') {
            cells += *c;
        } else if (*c != ' ' && *c != '\n' && *c != '\t' && *c != '\r') {
            return;
        }
    }
    if (cells.size() != MotionSettings::kMaskCells) return;
    for (size_t i = 0; i < cells.size(); ++i) settings->Excluded.set(i, cells[i] == '1');
}

MotionSettings ReadEntry(const TiXmlElement* entry) {
    MotionSettings settings;
    if (const char* enabled = ChildText(entry, "Enabled")) {
        settings.Enabled = std::strcmp(enabled, "1") == 0;
    }
    if (const char* area = ChildText(entry, "MinAreaPct")) {
        char* end = nullptr;
        const double value = std::strtod(area, &end);
        if (end != area && *end == '\0' && std::isfinite(value) &&
            value >= MotionSettings::kMinAreaLowestPct &&
            value <= MotionSettings::kMinAreaHighestPct) {
            settings.MinAreaPct = value;
        }
    }
    if (const char* recording = ChildText(entry, "Recording")) {
        settings.MotionOnlyRecording = std::strcmp(recording, "motion") == 0;
    }
    if (const char* mask = ChildText(entry, "Excluded")) ReadMask(mask, &settings);
    return settings;
}
}  // namespace

std::string MotionSettingsPath(const std::string& cameraListPath) {
    const size_t slash = cameraListPath.rfind('/');
    return (slash == std::string::npos ? std::string() : cameraListPath.substr(0, slash + 1)) +
           kFileName;
}

std::string MotionSettingsKey(const DeviceInfo& record) {
    if (!HasCameraIdentity(record)) {
        return "name:" + std::string(record.DeviceName, strnlen(record.DeviceName, 256));
    }
    char hex[32];
    std::snprintf(hex, sizeof hex, "%08x%08x%08x", record.Reserved1, record.Reserved2,
                  record.Reserved3);
    return std::string("id:") + hex;
}

MotionSettings MotionSettingsFor(const MotionSettingsTable& table, const DeviceInfo& record) {
    const auto found = table.find(MotionSettingsKey(record));
    return found != table.end() ? found->second : MotionSettings{};
}

bool SaveMotionSettings(const std::string& path, const MotionSettingsTable& table) {
    TiXmlDocument document;
    TiXmlNode* root = StartXmlDocument(&document, kRootName);
    if (root == nullptr) return false;
    for (const auto& [key, settings] : table) {
        TiXmlNode* entry = root->InsertEndChild(TiXmlElement(kEntryName));
        if (entry == nullptr) return false;
        char area[32];
        std::snprintf(area, sizeof area, "%.1f", settings.MinAreaPct);
        AppendTextElement(entry, "Key", key);
        AppendTextElement(entry, "Enabled", settings.Enabled ? "1" : "0");
        AppendTextElement(entry, "MinAreaPct", area);
        AppendTextElement(entry, "Recording",
                          settings.MotionOnlyRecording ? "motion" : "continuous");
        AppendTextElement(entry, "Excluded", MaskText(settings));
    }
    std::string text;
    return PrintXml(document, &text) && ReplaceFile(path, text);
}

MotionSettingsTable LoadMotionSettings(const std::string& path) {
    MotionSettingsTable table;
    std::string text;
    if (ReadXmlInput(path, &text) != XmlInputResult::kOk) return table;
    TiXmlDocument document;
    const TiXmlElement* root = ParseXmlRoot(text, &document);
    if (root == nullptr) return table;
    for (const TiXmlElement* entry = root->FirstChildElement(kEntryName); entry != nullptr;
         entry = entry->NextSiblingElement(kEntryName)) {
        const char* key = ChildText(entry, "Key");
        if (key == nullptr || key[0] == '\0') continue;
        table[key] = ReadEntry(entry);
    }
    return table;
}
