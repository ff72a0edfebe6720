// The program's command line. It is parsed before QApplication exists, so that
// --help, --version, --paths, --catalog-check and --verify work without a display. Qt's own options
// (-platform, -style, -geometry, ...) are accepted here and left in argv for QApplication.
//
// Threads: the main thread, before any other starts.
#pragma once

#include <string>
#include <vector>

#include "app/AppPaths.h"

struct CommandLine {
    enum class Action { Run, Help, Version, Paths, CatalogCheck, Verify, Export, Playback, Error };

    // Exit code for a command line that cannot be understood, as shells use it.
    static constexpr int kUsageExitCode = 2;
    static constexpr int kMaxSimulatedCameras = 10;

    Action What = Action::Run;
    std::string Text;          // Help, Version: what to print; Error: the message
    int Simulated = -1;        // --simulated N; -1 when not given
    std::string VerifyCamera;  // --verify [CAMERA] [DAY]; empty when not given
    std::string VerifyDay;
    std::vector<std::string> ExportArguments;  // Export: CAMERA FROM TO FILE.mp4
};

CommandLine ParseCommandLine(int argc, char** argv);

// The four locations --paths prints, one "label: path" line each.
std::string PathsText(const AppPaths& paths, const std::string& recordDir);
