// The RTSP restream's settings, section [RTSP] of OrvexCfg.ini, as one value: each
// key, its default and its parsing live here. The file holds a password, so a write
// leaves it readable by the user alone.
//
// A plain value: copied whole, any thread.
#pragma once

#include <string>

struct RestreamSettings {
    static constexpr const char* kSection = "RTSP";
    static constexpr int kDefaultPort = 8554;
    static constexpr int kDefaultMaxClients = 16;

    std::string Enabled = "0";  // on exactly when "1", as the file holds it
    int Port = kDefaultPort;
    std::string Address = "0.0.0.0";
    std::string User;
    std::string Password;
    int MaxClients = kDefaultMaxClients;

    bool IsEnabled() const { return Enabled == "1"; }

    // The file at configPath, each missing or unusable key at its default.
    static RestreamSettings Read(const std::string& configPath);
    // Why these settings cannot be saved (a port or a limit out of range, a server
    // switched on without user or password); empty when they can.
    std::string Problem() const;
    // Writes the six keys in one replacement of the file, after making it readable by
    // the user alone. False, with reason (may be null) saying why, when it cannot.
    bool Write(const std::string& configPath, std::string* reason) const;
    // Makes the file (created when missing) readable and writable by the user alone.
    static bool MakePrivate(const std::string& configPath, std::string* reason);
};
