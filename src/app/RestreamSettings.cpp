#include "app/RestreamSettings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/ProfileIni.h"

namespace {
constexpr const char* kEnabled = "Enabled";
constexpr const char* kPort = "Port";
constexpr const char* kAddress = "Address";
constexpr const char* kUser = "User";
constexpr const char* kPassword = "Password";
constexpr const char* kMaxClients = "MaxClients";
constexpr int kMaxPort = 65535;
constexpr int kMaxMaxClients = 256;

}  // namespace

// Before the password goes in: a new file is created so, and a replacement keeps the
// mode of the file it replaces.
bool RestreamSettings::MakePrivate(const std::string& path, std::string* reason) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0 || ::fchmod(fd, 0600) != 0) {
        if (reason != nullptr) *reason = "protect " + path + ": " + std::strerror(errno);
        if (fd >= 0) ::close(fd);
        return false;
    }
    ::close(fd);
    return true;
}

RestreamSettings RestreamSettings::Read(const std::string& configPath) {
    RestreamSettings settings;
    settings.Enabled = GetProfileString(configPath, kSection, kEnabled, settings.Enabled.c_str());
    const int port = GetProfileInt(configPath, kSection, kPort, kDefaultPort);
    settings.Port = port > 0 && port <= kMaxPort ? port : kDefaultPort;
    settings.Address = GetProfileString(configPath, kSection, kAddress, settings.Address.c_str());
    if (settings.Address.empty()) settings.Address = RestreamSettings().Address;
    settings.User = GetProfileString(configPath, kSection, kUser, "");
    settings.Password = GetProfileString(configPath, kSection, kPassword, "");
    const int clients = GetProfileInt(configPath, kSection, kMaxClients, kDefaultMaxClients);
    settings.MaxClients = clients > 0 && clients <= kMaxMaxClients ? clients : kDefaultMaxClients;
    return settings;
}

std::string RestreamSettings::Problem() const {
    if (Port < 1 || Port > kMaxPort) return "端口应在 1 到 65535 之间";
    if (MaxClients < 1 || MaxClients > kMaxMaxClients) return "最大客户端数应在 1 到 256 之间";
    if (Address.empty()) return "请输入监听地址";
    if (IsEnabled() && User.empty()) return "启用网络串流需要用户名";
    if (IsEnabled() && Password.empty()) return "启用网络串流需要密码";
    return {};
}

bool RestreamSettings::Write(const std::string& configPath, std::string* reason) const {
    if (!MakePrivate(configPath, reason)) return false;
    return WriteProfileStrings(configPath, kSection,
                               {{kEnabled, Enabled},
                                {kPort, std::to_string(Port)},
                                {kAddress, Address},
                                {kUser, User},
                                {kPassword, Password},
                                {kMaxClients, std::to_string(MaxClients)}},
                               reason);
}
