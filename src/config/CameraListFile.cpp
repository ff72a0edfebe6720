#include "config/CameraListFile.h"

#include <tinyxml.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "app/MonitorApp.h"
#include "common/Messages.h"
#include "config/XmlInputGuard.h"
#include "platform/FileSystem.h"
#include "platform/ProfileIni.h"

namespace {

constexpr const char* kFileName = "CameraList.xml";
constexpr const char* kRootName = "CameraList";
constexpr const char* kItemName = "Item";

// The text of the first child element of element named name, when that child's first
// node is a text; null otherwise.
const char* GetChildText(const TiXmlElement* element, const char* name) {
    if (element == nullptr || name == nullptr) return nullptr;
    const TiXmlElement* child = element->FirstChildElement(name);
    if (child == nullptr) return nullptr;
    const TiXmlNode* first = child->FirstChild();
    const TiXmlText* text = first != nullptr ? first->ToText() : nullptr;
    return text != nullptr ? text->Value() : nullptr;
}

// Stores the child's text into the record when it is present and not empty.
void ReadNumber(const TiXmlElement* item, const char* name, int32_t* field) {
    const char* text = GetChildText(item, name);
    if (text != nullptr && text[0] != '\0') *field = ParseLeadingInt(text);
}

void ReadName(const TiXmlElement* item, const char* name, char (&field)[256]) {
    const char* text = GetChildText(item, name);
    if (text != nullptr && text[0] != '\0') SetDeviceName(field, text);
}

void AppendText(TiXmlElement* parent, const char* name, const std::string& text) {
    TiXmlNode* element = parent->InsertEndChild(TiXmlElement(name));
    if (element != nullptr) element->InsertEndChild(TiXmlText(text));
}

std::string FieldText(const char (&field)[256]) {
    return std::string(field, strnlen(field, sizeof field));
}

// The document exactly as TiXmlDocument::SaveFile prints it to a file.
bool Print(const TiXmlDocument& document, std::string* text) {
    char* buffer = nullptr;
    size_t size = 0;
    FILE* memory = ::open_memstream(&buffer, &size);
    if (memory == nullptr) return false;
    const bool printed = document.SaveFile(memory);
    const bool closed = std::fclose(memory) == 0;  // sets buffer and size
    if (printed && closed && buffer != nullptr) text->assign(buffer, size);
    std::free(buffer);
    return printed && closed;
}

}  // namespace

std::string CameraListPath() {
    CMonitorApp* app = TheApp();
    return app != nullptr ? app->CameraListPath() : std::string("./") + kFileName;
}

bool SaveCameraList(const DeviceInfo* table, int count, const std::string& path) {
    if (count < 0 || count > kCameraTableRecords || (table == nullptr && count > 0)) return false;
    TiXmlDocument document;
    document.InsertEndChild(TiXmlDeclaration("1.0", "", ""));
    TiXmlNode* root = document.InsertEndChild(TiXmlElement(kRootName));
    if (root == nullptr) return false;
    for (int i = 0; i < count; ++i) {
        const DeviceInfo& record = table[i];
        TiXmlNode* item = root->InsertEndChild(TiXmlElement(kItemName));
        if (item == nullptr) return false;
        TiXmlElement* element = item->ToElement();
        AppendText(element, "DeviceIndex", std::to_string(record.DeviceIndex));
        AppendText(element, "DeviceName", FieldText(record.DeviceName));
        AppendText(element, "CustomDeviceName", FieldText(record.CustomDeviceName));
        AppendText(element, "Width", std::to_string(record.Width));
        AppendText(element, "Height", std::to_string(record.Height));
        AppendText(element, "FrameRate", std::to_string(record.FrameRate));
    }
    std::string text;
    return Print(document, &text) && ReplaceFile(path, text);
}

bool SaveCameraList(const DeviceInfo* table, int count) {
    return SaveCameraList(table, count, CameraListPath());
}

int ReadCameraList(const std::string& path, DeviceInfo* table, int* count, bool supportRecord) {
    if (count != nullptr) *count = 0;
    if (table == nullptr || count == nullptr) return kCameraListNotLoaded;

    std::string text;
    const XmlInputResult input = ReadXmlInput(path, &text);
    if (input == XmlInputResult::kUnreadable) return kCameraListNotLoaded;
    if (input != XmlInputResult::kOk) return kCameraListRefused;

    TiXmlDocument document;
    document.Parse(text.c_str(), nullptr, TIXML_DEFAULT_ENCODING);
    if (document.Error()) return kCameraListNotLoaded;
    const TiXmlElement* root = document.RootElement();
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
    return kCameraListRead;
}

int LoadCameraList(HWND window) {
    CMonitorApp* app = TheApp();
    const bool supportRecord = app != nullptr && app->IsSupportRecord();
    std::unique_ptr<DeviceInfo[], void (*)(DeviceInfo*)> table(NewCameraTable(), &FreeCameraTable);
    if (!table) return 0;
    int count = 0;
    const int result = ReadCameraList(CameraListPath(), table.get(), &count, supportRecord);
    if (result == kCameraListNoRoot) AppLog("解析xml错误");
    if (result != kCameraListRead) return 0;
    // From a successful post on the table belongs to the window.
    if (window != nullptr &&
        window->Post(WM_CAMERA_LIST, reinterpret_cast<WPARAM>(table.get()), count)) {
        table.release();
    }
    return count;
}
