// Where the program keeps its files, decided once at start-up. A portable copy (a
// build folder, an unpacked archive) keeps the settings, the camera list and Log/
// beside the executable; an installed copy keeps them in the user's folders,
// $XDG_CONFIG_HOME/OrvexClient/ and $XDG_STATE_HOME/OrvexClient/, because its own
// folder is read-only, or shared by every user when root can write it. No Qt.
//
// Threads: DecideAppPaths is pure; GatherAppPathInputs reads the environment and the
// file system, so it runs once, on the main thread, before other threads start.
#pragma once

#include <string>

// The desktop entry that an install puts beside the executable's folder, relative to
// that folder. Its presence marks an installed copy wherever its prefix is, so that
// root running an installed program (root may write /usr/bin) still counts as installed.
extern const char* const kInstalledMarker;

// What the decision looks at.
struct AppPathInputs {
    std::string ExeDir;           // the executable's folder ending with "/"; "" when unknown
    bool ExeDirWritable = false;  // the folder, or the nearest existing folder above it
    bool InstalledMarkerFound = false;
    std::string InstallBinDir;  // the configured install bindir
    std::string XdgConfigHome;  // the variables as set, possibly empty or relative
    std::string XdgStateHome;
    std::string Home;
};

struct AppPaths {
    bool Installed = false;        // the executable counts as installed
    std::string ExeDir;            // the executable's folder, ends with "/"
    std::string ConfigDir;         // holds the settings and the camera list, ends with "/"
    std::string ConfigPath;        // <ConfigDir>OrvexCfg.ini
    std::string CameraListPath;    // <ConfigDir>CameraList.xml
    std::string LogBase;           // the folder that holds Log/, no trailing "/"
    bool UsesUserFolders = false;  // ConfigDir and LogBase are the user's, to be created 0700

    std::string LogDir() const { return LogBase + "/Log"; }
};

// Installed when the marker is found, when ExeDir is the install bindir, or when
// ExeDir cannot be written. An installed copy uses the user's folders: the XDG
// variables when they hold absolute paths, else $HOME/.config and $HOME/.local/state;
// with no usable home at all it falls back to the executable's folder.
AppPaths DecideAppPaths(const AppPathInputs& inputs);

// The inputs for the executable at modulePath, from the environment and the disk.
AppPathInputs GatherAppPathInputs(const std::string& modulePath);

// The paths for the executable at modulePath: the one decision both the application
// object and --paths use.
AppPaths ResolveAppPaths(const std::string& modulePath);

// Creates path and every missing folder above it with the given mode. True when the
// folder exists afterwards.
bool CreateFolderTree(const std::string& path, unsigned mode);
