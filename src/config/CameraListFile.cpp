#include "config/CameraListFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <tinyxml.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
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
constexpr mode_t kFallbackUmask = 022;

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

mode_t CurrentUmask() {
    // umask() would have to change the mask to read it, racing other threads.
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("Umask:", 0) == 0) {
            return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8) & 0777);
        }
    }
    return kFallbackUmask;
}

// What fopen(path, "w") would leave: the old file's permissions, or a new file's.
mode_t ModeFor(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return st.st_mode & 07777;
    return 0666 & ~CurrentUmask();
}

// Removes the temporary file unless it was renamed into place.
class TempFileGuard {
public:
    explicit TempFileGuard(std::string path) : path_(std::move(path)) {}
    ~TempFileGuard() {
        if (!path_.empty()) ::unlink(path_.c_str());
    }
    TempFileGuard(const TempFileGuard&) = delete;
    TempFileGuard& operator=(const TempFileGuard&) = delete;
    void Keep() { path_.clear(); }

private:
    std::string path_;
};

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};

void SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);  // best effort: some file systems refuse it, and the data is already safe
    ::close(fd);
}

// Prints document into a fresh file beside path and renames it over path.
bool WriteAtomically(const TiXmlDocument& document, const std::string& path) {
    const std::string folder = FolderOf(path);
    std::string tempPath = folder + "." + path.substr(folder.size()) + ".XXXXXX";
    const int fd = ::mkostemp(tempPath.data(), O_CLOEXEC);
    if (fd < 0) return false;
    TempFileGuard tempGuard(tempPath);
    ::fchmod(fd, ModeFor(path));  // best effort: mkostemp leaves 0600
    std::unique_ptr<FILE, FileCloser> file(::fdopen(fd, "w"));
    if (!file) {
        ::close(fd);
        return false;
    }
    bool ok = document.SaveFile(file.get());
    ok = std::fflush(file.get()) == 0 && ok;
    ok = ::fsync(fd) == 0 && ok;
    ok = std::fclose(file.release()) == 0 && ok;
    if (!ok || std::rename(tempPath.c_str(), path.c_str()) != 0) return false;
    tempGuard.Keep();
    SyncFolder(folder.empty() ? "." : folder);
    return true;
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
    return WriteAtomically(document, path);
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
