#include "config/CameraKeyFile.h"

#include <cstring>

#include "config/XmlElements.h"
#include "config/XmlInputGuard.h"
#include "platform/FileSystem.h"

namespace {
constexpr const char* kFileName = "CameraKeys.xml";
constexpr const char* kRootName = "CameraKeys";
constexpr const char* kEntryName = "Camera";
}  // namespace

std::string CameraKeysPath(const std::string& cameraListPath) {
    const size_t slash = cameraListPath.rfind('/');
    return (slash == std::string::npos ? std::string() : cameraListPath.substr(0, slash + 1)) +
           kFileName;
}

bool SaveCameraKeys(const std::string& path, const DeviceInfo* table,
                    const std::vector<std::string>& keys, int count) {
    if (count < 0 || count > kCameraTableRecords || (table == nullptr && count > 0)) return false;
    TiXmlDocument document;
    TiXmlNode* root = StartXmlDocument(&document, kRootName);
    if (root == nullptr) return false;
    for (int i = 0; i < count; ++i) {
        TiXmlNode* entry = root->InsertEndChild(TiXmlElement(kEntryName));
        if (entry == nullptr) return false;
        const char* name = table[i].DeviceName;
        AppendTextElement(entry, "DeviceName", std::string(name, strnlen(name, 256)));
        AppendTextElement(entry, "Key", i < static_cast<int>(keys.size()) ? keys[i] : "");
    }
    std::string text;
    return PrintXml(document, &text) && ReplaceFile(path, text);
}

int ApplyCameraKeys(const std::string& path, DeviceInfo* table, int count) {
    std::string text;
    if (table == nullptr || ReadXmlInput(path, &text) != XmlInputResult::kOk) return 0;
    TiXmlDocument document;
    const TiXmlElement* root = ParseXmlRoot(text, &document);
    if (root == nullptr) return 0;
    int applied = 0;
    int position = 0;
    for (const TiXmlElement* entry = root->FirstChildElement(kEntryName);
         entry != nullptr && position < count;
         entry = entry->NextSiblingElement(kEntryName), ++position) {
        DeviceInfo& record = table[position];
        const char* name = ChildText(entry, "DeviceName");
        const char* key = ChildText(entry, "Key");
        if (name == nullptr || key == nullptr || key[0] == '\0') continue;
        if (std::strncmp(name, record.DeviceName, sizeof record.DeviceName) != 0) continue;
        SetCameraIdentity(record, key);
        ++applied;
    }
    return applied;
}
