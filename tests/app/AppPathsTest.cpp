#include <gtest/gtest.h>

#include "app/AppPaths.h"

namespace {

struct Case {
    const char* Name;
    AppPathInputs Inputs;
    const char* ConfigDir;
    const char* LogBase;
    bool Installed;
};

AppPathInputs Inputs(const char* exeDir, bool writable, bool marker = false,
                     const char* configHome = "", const char* stateHome = "",
                     const char* home = "/home/op") {
    return AppPathInputs{exeDir, writable, marker, "/usr/local/bin", configHome, stateHome, home};
}

}  // namespace

TEST(AppPathsTest, PortableCopiesKeepFilesBesideTheExecutableInstalledOnesInTheUsersFolders) {
    const Case cases[] = {
        {"build folder", Inputs("/src/build/default/bin/", true), "/src/build/default/bin/",
         "/src/build/default/bin", false},
        {"read-only folder", Inputs("/opt/orvex/", false), "/home/op/.config/OrvexClient/",
         "/home/op/.local/state/OrvexClient", true},
        {"root in the install bindir", Inputs("/usr/local/bin/", true),
         "/home/op/.config/OrvexClient/", "/home/op/.local/state/OrvexClient", true},
        {"root beside the installed desktop entry", Inputs("/usr/bin/", true, true),
         "/home/op/.config/OrvexClient/", "/home/op/.local/state/OrvexClient", true},
        {"XDG folders set", Inputs("/usr/bin/", false, true, "/cfg/", "/state//"),
         "/cfg/OrvexClient/", "/state/OrvexClient", true},
        {"relative XDG folders are ignored", Inputs("/usr/bin/", false, true, "cfg", "state"),
         "/home/op/.config/OrvexClient/", "/home/op/.local/state/OrvexClient", true},
        {"root's home is /", Inputs("/usr/bin/", false, true, "", "", "/"), "/.config/OrvexClient/",
         "/.local/state/OrvexClient", true},
        {"no home at all", Inputs("/usr/bin/", false, true, "", "", ""), "/usr/bin/", "/usr/bin",
         true},
        {"no folder in the module path", Inputs("", true), "./", ".", false},
    };
    for (const Case& c : cases) {
        const AppPaths paths = DecideAppPaths(c.Inputs);
        EXPECT_EQ(paths.Installed, c.Installed) << c.Name;
        EXPECT_EQ(paths.ExeDir, c.Inputs.ExeDir.empty() ? "./" : c.Inputs.ExeDir) << c.Name;
        EXPECT_EQ(paths.ConfigDir, c.ConfigDir) << c.Name;
        EXPECT_EQ(paths.ConfigPath, std::string(c.ConfigDir) + "OrvexCfg.ini") << c.Name;
        EXPECT_EQ(paths.CameraListPath, std::string(c.ConfigDir) + "CameraList.xml") << c.Name;
        EXPECT_EQ(paths.LogDir(), std::string(c.LogBase) + "/Log") << c.Name;
    }
}
