#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>
#include <thread>
#include <vector>

#include "app/MonitorApp.h"
#include "common/Messages.h"
#include "support/TestSupport.h"

using testsupport::FakeWindow;
using testsupport::ListFiles;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

std::vector<std::string> LogTexts(const std::string& folder) {
    std::vector<std::string> texts;
    for (const auto& file : ListFiles(folder + "/bin/Log")) {
        std::istringstream in(ReadFile(file));
        for (std::string line; std::getline(in, line);) texts.push_back(line.substr(25));
    }
    return texts;
}

// Sets or unsets an environment variable for a scope, then restores it.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        Set(name, value);
    }
    ~ScopedEnv() { Set(name_, old_); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    static void Set(const char* name, const std::optional<std::string>& value) {
        if (value) {
            setenv(name, value->c_str(), 1);
        } else {
            unsetenv(name);
        }
    }

    const char* name_;
    std::optional<std::string> old_;
};

class MonitorAppTest : public ::testing::Test {
protected:
    void SetUp() override { setenv("XDG_VIDEOS_DIR", (dir_ / "videos").c_str(), 1); }
    void TearDown() override { unsetenv("XDG_VIDEOS_DIR"); }

    std::string Module() const { return dir_ / "bin/OrvexClient"; }
    std::string Ini() const { return dir_ / "bin/OrvexCfg.ini"; }

    TempDir dir_;
};

}  // namespace

TEST_F(MonitorAppTest, ConstructionStartsTheLogAndPathsLieBesideTheExecutable) {
    CMonitorApp app(Module());
    EXPECT_EQ(TheApp(), &app);
    EXPECT_EQ(ListFiles(dir_ / "bin/Log").size(), 1u) << "the first log file exists at once";
    app.InitPaths();
    EXPECT_EQ(app.ExeDir(), dir_ / "bin/");
    EXPECT_EQ(app.ConfigPath(), Ini());
    EXPECT_EQ(app.CameraListPath(), dir_ / "bin/CameraList.xml");
}

TEST_F(MonitorAppTest, InstalledCopyKeepsSettingsAndLogsInTheUsersPrivateFolders) {
    // Installed: its desktop entry lies where an install puts it beside bin/.
    const std::string module = dir_ / "usr/bin/OrvexClient";
    const auto marker = std::filesystem::path(dir_ / "usr/bin/" + kInstalledMarker);
    std::filesystem::create_directories(dir_ / "usr/bin");
    std::filesystem::create_directories(marker.lexically_normal().parent_path());
    WriteFile(marker.lexically_normal(), "[Desktop Entry]\n");
    const ScopedEnv home("HOME", dir_ / "home");
    const ScopedEnv state("XDG_STATE_HOME", dir_ / "state");
    const ScopedEnv config("XDG_CONFIG_HOME", std::nullopt);
    // Two starts a second apart: each starts a log file of its own.
    const auto at = [](int second) {
        return [second] { return testsupport::MakeLocalTime(2026, 12, 7, 9, 0, second); };
    };
    {
        CMonitorApp app(module, at(0));
        app.InitPaths();
        EXPECT_EQ(app.ExeDir(), dir_ / "usr/bin/");
        EXPECT_EQ(app.ConfigPath(), dir_ / "home/.config/OrvexClient/OrvexCfg.ini");
        EXPECT_EQ(app.CameraListPath(), dir_ / "home/.config/OrvexClient/CameraList.xml");
        EXPECT_EQ(ListFiles(dir_ / "state/OrvexClient/Log").size(), 1u);
    }
    for (const char* folder : {"home/.config/OrvexClient", "state/OrvexClient"}) {
        const auto perms = std::filesystem::status(dir_ / folder).permissions();
        EXPECT_EQ(perms, std::filesystem::perms::owner_all) << folder;
    }
    EXPECT_FALSE(std::filesystem::exists(dir_ / "usr/bin/Log"));

    WriteFile(dir_ / "home/.config/OrvexClient/OrvexCfg.ini", "[CFG]\nRecordSaveDay=7\n");
    CMonitorApp again(module, at(1));  // a later start, as after a reinstall
    again.InitInstance();
    EXPECT_EQ(again.Settings().RecordSaveDay, 7);
    EXPECT_EQ(ListFiles(dir_ / "state/OrvexClient/Log").size(), 2u);
}

TEST_F(MonitorAppTest, MissingFileGivesTheDefaults) {
    CMonitorApp app(Module());
    app.InitInstance();
    EXPECT_EQ(app.Settings().RecordDir, dir_ / "videos/录像");
    EXPECT_EQ(app.Settings().RecordSaveDay, 30);
    EXPECT_TRUE(app.Settings().IsSupportRecord());
    EXPECT_TRUE(app.Settings().IsOpenVideoAfterStart());
}

TEST_F(MonitorAppTest, SettingsRules) {
    struct Case {
        std::string saveDay;
        int expected;
    };
    for (const Case& c :
         {Case{"0", 10}, Case{"-3", 10}, Case{"abc", 10}, Case{"7", 7}, Case{"12days", 12}}) {
        std::filesystem::create_directories(dir_ / "bin");
        WriteFile(Ini(), "[CFG]\nRecordSaveDay=" + c.saveDay +
                             "\nSupportRecord=yes\nOpenVideoAfterStart=2\nRecordDir=/rec\n");
        CMonitorApp app(Module());
        app.InitInstance();
        EXPECT_EQ(app.Settings().RecordSaveDay, c.expected) << c.saveDay;
        EXPECT_EQ(app.Settings().RecordDir, "/rec");
        EXPECT_EQ(app.Settings().SupportRecord, "yes");
        EXPECT_FALSE(app.Settings().IsSupportRecord()) << "only the exact text 1 is on";
        EXPECT_FALSE(app.Settings().IsOpenVideoAfterStart());
    }
}

TEST_F(MonitorAppTest, OddFilesYieldDefaultsForWhatTheyLack) {
    std::filesystem::create_directories(dir_ / "bin");
    WriteFile(Ini(),
              "\xEF\xBB\xBF"
              "[CFG]\r\n"
              "=== garbage ===\r\n"
              "\x01\x02\x03\r\n"
              "SupportRecord=1\r\n"
              "SupportRecord=0\r\n"
              "RecordSaveDay=\r\n");
    CMonitorApp app(Module());
    app.InitInstance();
    EXPECT_TRUE(app.Settings().IsSupportRecord()) << "the first of duplicate keys counts";
    EXPECT_EQ(app.Settings().RecordSaveDay, 10) << "an empty value is not a number";
    EXPECT_EQ(app.Settings().RecordDir, dir_ / "videos/录像");
    EXPECT_TRUE(app.Settings().IsOpenVideoAfterStart());

    WriteFile(Ini(), std::string(100000, '\0') + "\n[CFG]\nRecordSaveDay=5\n");
    CMonitorApp binary(Module());
    binary.InitInstance();
    EXPECT_GE(binary.Settings().RecordSaveDay, 1);
}

TEST_F(MonitorAppTest, AppLogWritesTheFileThenPostsACutCopy) {
    CMonitorApp app(Module());
    FakeWindow window;
    app.AppLog("before any window");
    app.SetMainWindow(&window);

    // 300 bytes: 100 three-byte characters. The panel copy holds at most 259 bytes.
    std::string longText;
    for (int i = 0; i < 100; ++i) longText += "录";
    app.AppLog(longText.c_str());
    app.AppLog(std::string(1474, 'z').c_str());
    app.AppLog(std::string(100000, 'y').c_str());  // beyond the event log's limit

    const auto posted = window.Messages();
    ASSERT_EQ(posted.size(), 3u);
    EXPECT_EQ(posted[2].Text, std::string(259, 'y'));
    EXPECT_EQ(posted[0].Message, WM_LOG_TEXT);
    EXPECT_EQ(posted[0].LParam, 0);
    EXPECT_EQ(posted[0].Text, longText.substr(0, 258)) << "cut at a character boundary";
    EXPECT_EQ(posted[1].Text.size(), 259u);

    const auto texts = LogTexts(dir_.Path());
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0], "before any window");
    EXPECT_EQ(texts[1], longText) << "the file takes the whole text";
    EXPECT_EQ(texts[2].size(), 1474u);
}

TEST_F(MonitorAppTest, LinesWithoutALiveWindowGoToTheFileOnly) {
    CMonitorApp app(Module());
    FakeWindow window;
    app.SetMainWindow(&window);
    window.SetRefusePosts(true);
    app.AppLog("refused post");  // the copy is freed here; ASan would report a leak
    window.SetRefusePosts(false);
    window.SetAlive(false);
    app.AppLog("dead window");
    window.SetAlive(true);
    app.SetMainWindow(nullptr);
    app.AppLog("no window");
    EXPECT_TRUE(window.Messages().empty());
    EXPECT_EQ(LogTexts(dir_.Path()).size(), 3u);

    app.SetMainWindow(&window);
    app.ExitInstance();
    app.AppLog("after exit");
    EXPECT_TRUE(window.Messages().empty()) << "after exit nothing is posted";
    EXPECT_EQ(LogTexts(dir_.Path()).size(), 3u) << "after exit nothing is written";
}

TEST_F(MonitorAppTest, ConcurrentLinesKeepTheSameOrderInFileAndPanel) {
    CMonitorApp app(Module());
    FakeWindow window;
    app.SetMainWindow(&window);
    constexpr int kThreads = 4;
    constexpr int kLines = 300;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kLines; ++i) {
                AppLog(("t" + std::to_string(t) + " line " + std::to_string(i)).c_str());
            }
        });
    }
    for (auto& thread : threads) thread.join();

    const auto texts = LogTexts(dir_.Path());
    const auto posted = window.Messages();
    ASSERT_EQ(texts.size(), static_cast<size_t>(kThreads * kLines));
    ASSERT_EQ(posted.size(), texts.size());
    for (size_t i = 0; i < texts.size(); ++i) ASSERT_EQ(posted[i].Text, texts[i]) << i;
}

TEST_F(MonitorAppTest, SettingsAreNeverTornWhileReplaced) {
    CMonitorApp app(Module());
    const std::string a(200, 'a');
    const std::string b(30, 'b');
    // Both sides go on until each has done its share while the other ran, however the
    // machine schedules them; nothing ends the process while the writer is joinable.
    constexpr int kRounds = 20000;
    std::atomic<int> writes{0};
    std::atomic<int> reads{0};
    std::thread writer([&] {
        while (writes < kRounds || reads < kRounds) {
            AppSettings settings;
            settings.RecordDir = writes % 2 ? a : b;
            settings.SupportRecord = settings.RecordDir;
            app.SetSettings(settings);
            ++writes;
        }
    });
    std::string torn;
    while (reads < kRounds || writes < kRounds) {
        const bool written = writes > 0;  // before the first write it holds the defaults
        const AppSettings value = app.Settings();
        if (written && (value.RecordDir != value.SupportRecord ||
                        (value.RecordDir != a && value.RecordDir != b))) {
            torn = value.RecordDir + "|" + value.SupportRecord;
        }
        if (writes > 0) ++reads;
    }
    writer.join();
    EXPECT_EQ(torn, "");
}
