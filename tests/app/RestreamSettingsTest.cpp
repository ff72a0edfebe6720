#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <string>
#include <vector>

#include "app/AppSettings.h"
#include "app/RestreamSettings.h"
#include "support/TestSupport.h"

using testsupport::TempDir;

namespace {

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(0, ::stat(path.c_str(), &st)) << path;
    return st.st_mode & 0777;
}

TEST(RestreamSettingsTest, WhatCanBeSavedAndWhy) {
    struct Case {
        const char* name;
        RestreamSettings settings;
        std::string problem;  // a part of it; empty: none
    };
    auto with = [](auto change) {
        RestreamSettings settings;
        settings.Enabled = "1";
        settings.User = "viewer";
        settings.Password = "s3cret";
        change(settings);
        return settings;
    };
    const std::vector<Case> cases = {
        {"defaults (off)", RestreamSettings(), ""},
        {"on with a login", with([](auto&) {}), ""},
        {"on without password", with([](auto& s) { s.Password.clear(); }), "需要密码"},
        {"on without user", with([](auto& s) { s.User.clear(); }), "需要用户名"},
        {"off without password", with([](auto& s) { s.Enabled = "0", s.Password.clear(); }), ""},
        {"port 0", with([](auto& s) { s.Port = 0; }), "端口"},
        {"port 65536", with([](auto& s) { s.Port = 65536; }), "端口"},
        {"no clients", with([](auto& s) { s.MaxClients = 0; }), "最大客户端数"},
        {"no address", with([](auto& s) { s.Address.clear(); }), "监听地址"},
    };
    for (const Case& c : cases) {
        const std::string problem = c.settings.Problem();
        if (c.problem.empty()) {
            EXPECT_EQ("", problem) << c.name;
        } else {
            EXPECT_NE(std::string::npos, problem.find(c.problem)) << c.name << ": " << problem;
        }
    }
}

// The password is readable by the user alone from its first write on, also after the
// [CFG] keys are saved again, and the two sections keep each other's keys.
TEST(RestreamSettingsTest, TheFileKeepsBothSectionsAndStaysPrivate) {
    TempDir dir;
    const std::string path = dir.Path() + "/OrvexCfg.ini";
    std::ofstream(path) << "[CFG]\nRecordDir=/srv/rec\n[RTSP]\nPort=abc\nMaxClients=-3\n";
    ::chmod(path.c_str(), 0644);
    const RestreamSettings unusable = RestreamSettings::Read(path);
    EXPECT_EQ(RestreamSettings::kDefaultPort, unusable.Port);
    EXPECT_EQ(RestreamSettings::kDefaultMaxClients, unusable.MaxClients);
    EXPECT_FALSE(unusable.IsEnabled());

    RestreamSettings settings;
    settings.Enabled = "1";
    settings.Port = 9554;
    settings.Address = "127.0.0.1";
    settings.User = "viewer";
    settings.Password = "p=w;d #1";
    settings.MaxClients = 4;
    std::string reason;
    ASSERT_TRUE(settings.Write(path, &reason)) << reason;
    EXPECT_EQ(0600u, ModeOf(path));
    AppSettings app = AppSettings::Read(path);
    EXPECT_EQ("/srv/rec", app.RecordDir);
    app.RecordSaveDay = 7;
    ASSERT_TRUE(app.Write(path, &reason)) << reason;
    EXPECT_EQ(0600u, ModeOf(path));

    const RestreamSettings read = RestreamSettings::Read(path);
    EXPECT_TRUE(read.IsEnabled());
    EXPECT_EQ(9554, read.Port);
    EXPECT_EQ("127.0.0.1", read.Address);
    EXPECT_EQ("viewer", read.User);
    EXPECT_EQ("p=w;d #1", read.Password);
    EXPECT_EQ(4, read.MaxClients);

    const std::string fresh = dir.Path() + "/new.ini";
    ASSERT_TRUE(settings.Write(fresh, &reason)) << reason;
    EXPECT_EQ(0600u, ModeOf(fresh));
}

}  // namespace
