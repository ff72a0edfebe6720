#include "config/CameraListFile.h"

#include <tinyxml.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "app/MonitorApp.h"
#include "common/Messages.h"
#include "config/CameraKeyFile.h"
#include "config/XmlElements.h"
#include "config/XmlInputGuard.h"
#include "platform/FileSystem.h"
#include "platform/ProfileIni.h"

namespace {

constexpr const char* kRootName = "CameraList";
constexpr const char* kItemName = "Item";

// Stores the child's text into the record when it is present and not empty.
void ReadNumber(const TiXmlElement* item, const char* name, int32_t* field) {
    const char* text = ChildText(item, name);
    if (text != nullptr && text[0] != '\0') *field = ParseLeadingInt(text);
}

void ReadName(const TiXmlElement* item, const char* name, char (&field)[256]) {
    const char* text = ChildText(item, name);
    if (text != nullptr && text[0] != '\0') SetDeviceName(field, text);
}

std::string FieldText(const char (&field)[256]) {
    return std::string(field, strnlen(field, sizeof field));
}

}  // namespace

bool SaveCameraList(const DeviceInfo* table, int count, const std::string& path,
                    const std::vector<std::string>& keys) {
    if (count < 0 || count > kCameraTableRecords || (table == nullptr && count > 0)) return false;
    TiXmlDocument document;
    TiXmlNode* root = StartXmlDocument(&document, kRootName);
    if (root == nullptr) return false;
    for (int i = 0; i < count; ++i) {
        const DeviceInfo& record = table[i];
        TiXmlNode* item = root->InsertEndChild(TiXmlElement(kItemName));
        if (item == nullptr) return false;
        TiXmlElement* element = item->ToElement();
        AppendTextElement(element, "DeviceIndex", std::to_string(record.DeviceIndex));
        AppendTextElement(element, "DeviceName", FieldText(record.DeviceName));
        AppendTextElement(element, "CustomDeviceName", FieldText(record.CustomDeviceName));
        AppendTextElement(element, "Width", std::to_string(record.Width));
        AppendTextElement(element, "Height", std::to_string(record.Height));
        AppendTextElement(element, "FrameRate", std::to_string(record.FrameRate));
    }
    std::string text;
    // The list first: keys beside a list they no longer fit are ignored by name.
    return PrintXml(document, &text) && ReplaceFile(path, text) &&
           SaveCameraKeys(CameraKeysPath(path), table, keys, count);
}

int ReadCameraList(const std::string& path, DeviceInfo* table, int* count, bool supportRecord) {
    if (count != nullptr) *count = 0;
    if (table == nullptr || count == nullptr) return kCameraListNotLoaded;

    std::string text;
    const XmlInputResult input = ReadXmlInput(path, &text);
    if (input == XmlInputResult::kUnreadable) return kCameraListNotLoaded;
    if (input != XmlInputResult::kOk) return kCameraListRefused;

    TiXmlDocument document;
    const TiXmlElement* root = ParseXmlRoot(text, &document);
    if (document.Error()) return kCameraListNotLoaded;
    if (root == nullptr) return kCameraListNoRoot;

    int read = 0;
    for (const TiXmlElement* item = root->FirstChildElement(kItemName);
         item != nullptr && read < kCameraTableRecords; item = item->NextSiblingElement()) {
        DeviceInfo& record = table[read++];
        ZeroDeviceInfo(record);
        record.RecordFlag = supportRecord ? 1 : 0;
        ReadNumber(item, "DeviceIndex", &record.DeviceIndex);
        ReadName(item, "DeviceName", record.DeviceName);
        ReadName(item, "CustomDeviceName", record.CustomDeviceName);
        ReadNumber(item, "Width", &record.Width);
        ReadNumber(item, "Height", &record.Height);
    }
    *count = read;
    ApplyCameraKeys(CameraKeysPath(path), table, read);
    return kCameraListRead;
}

int LoadCameraList(HWND window, const std::string& path, bool supportRecord) {
    std::unique_ptr<DeviceInfo[], void (*)(DeviceInfo*)> table(NewCameraTable(), &FreeCameraTable);
    if (!table) return 0;
    int count = 0;
    const int result = ReadCameraList(path, table.get(), &count, supportRecord);
    if (result == kCameraListNoRoot) AppLog("解析xml错误");
    if (result != kCameraListRead) return 0;
    // From a successful post on the table belongs to the window.
    if (window != nullptr &&
        window->Post(WM_CAMERA_LIST, reinterpret_cast<WPARAM>(table.get()), count)) {
        table.release();
    }
    return count;
}
