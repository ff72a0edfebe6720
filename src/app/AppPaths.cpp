#include "app/AppPaths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

#include "platform/FileSystem.h"

#ifndef ORVEX_INSTALL_BINDIR
#define ORVEX_INSTALL_BINDIR "/usr/local/bin"
#endif
#ifndef ORVEX_INSTALLED_MARKER
#define ORVEX_INSTALLED_MARKER "../share/applications/orvexclient.desktop"
#endif

const char* const kInstalledMarker = ORVEX_INSTALLED_MARKER;

namespace {

constexpr const char* kUserFolderName = "OrvexClient";
constexpr const char* kConfigFileName = "OrvexCfg.ini";
constexpr const char* kCameraListFileName = "CameraList.xml";

std::string WithoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

// An XDG base folder: the variable when it holds an absolute path (relative ones are
// invalid and ignored), else home + fallback; "" without a usable home.
std::string XdgFolder(const std::string& variable, const std::string& home, const char* fallback) {
    if (!variable.empty() && variable[0] == '/') return WithoutTrailingSlashes(variable);
    if (home.empty() || home[0] != '/') return {};
    const std::string base = WithoutTrailingSlashes(home);
    return (base == "/" ? "" : base) + "/" + fallback;
}

bool Writable(std::string folder) {
    // A folder that does not exist yet is writable when it can be created.
    folder = WithoutTrailingSlashes(folder.empty() ? "." : folder);
    for (;;) {
        if (IsDirectory(folder)) return ::access(folder.c_str(), W_OK) == 0;
        const auto slash = folder.rfind('/');
        if (slash == std::string::npos) return ::access(".", W_OK) == 0;
        folder = slash == 0 ? "/" : folder.substr(0, slash);
    }
}

std::string RealPathOr(const std::string& path) {
    std::vector<char> buffer(PATH_MAX + 1, '\0');
    return ::realpath(path.c_str(), buffer.data()) != nullptr ? std::string(buffer.data()) : path;
}

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

}  // namespace

AppPaths DecideAppPaths(const AppPathInputs& inputs) {
    AppPaths paths;
    paths.ExeDir = inputs.ExeDir.empty() ? "./" : inputs.ExeDir;
    const bool inBinDir =
        !inputs.InstallBinDir.empty() &&
        WithoutTrailingSlashes(paths.ExeDir) == WithoutTrailingSlashes(inputs.InstallBinDir);
    paths.Installed = inputs.InstalledMarkerFound || inBinDir || !inputs.ExeDirWritable;

    const std::string configHome = XdgFolder(inputs.XdgConfigHome, inputs.Home, ".config");
    const std::string stateHome = XdgFolder(inputs.XdgStateHome, inputs.Home, ".local/state");
    paths.UsesUserFolders = paths.Installed && !configHome.empty() && !stateHome.empty();
    if (paths.UsesUserFolders) {
        paths.ConfigDir = configHome + "/" + kUserFolderName + "/";
        paths.LogBase = stateHome + "/" + kUserFolderName;
    } else {
        paths.ConfigDir = paths.ExeDir;
        // As the event log always had it: the folder without its "/", "." for none.
        paths.LogBase = inputs.ExeDir.empty() ? "." : WithoutTrailingSlashes(inputs.ExeDir);
    }
    paths.ConfigPath = paths.ConfigDir + kConfigFileName;
    paths.CameraListPath = paths.ConfigDir + kCameraListFileName;
    return paths;
}

AppPathInputs GatherAppPathInputs(const std::string& modulePath) {
    AppPathInputs inputs;
    inputs.ExeDir = FolderOf(modulePath);
    inputs.ExeDirWritable = Writable(inputs.ExeDir);
    struct stat st {};
    inputs.InstalledMarkerFound =
        ::stat((inputs.ExeDir + kInstalledMarker).c_str(), &st) == 0 && S_ISREG(st.st_mode);
    // The executable's path is resolved (/proc/self/exe), so resolve the bindir too.
    inputs.InstallBinDir = RealPathOr(ORVEX_INSTALL_BINDIR);
    inputs.XdgConfigHome = Environment("XDG_CONFIG_HOME");
    inputs.XdgStateHome = Environment("XDG_STATE_HOME");
    inputs.Home = Environment("HOME");
    if (inputs.Home.empty()) {
        // A service or a cron job may run without $HOME; the account still has one.
        std::vector<char> buffer(16384);
        passwd entry{};
        passwd* found = nullptr;
        if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
            found != nullptr && found->pw_dir != nullptr) {
            inputs.Home = found->pw_dir;
        }
    }
    return inputs;
}

AppPaths ResolveAppPaths(const std::string& modulePath) {
    return DecideAppPaths(GatherAppPathInputs(modulePath));
}

bool CreateFolderTree(const std::string& path, unsigned mode) {
    const std::string target = WithoutTrailingSlashes(path);
    if (target.empty()) return false;
    for (size_t slash = target.find('/', 1);; slash = target.find('/', slash + 1)) {
        const std::string folder = target.substr(0, slash);
        if (::mkdir(folder.c_str(), static_cast<mode_t>(mode)) != 0 && errno != EEXIST) {
            return false;
        }
        if (slash == std::string::npos) break;
    }
    return IsDirectory(target);
}
