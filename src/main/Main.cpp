// OrvexClient: the command line, then the application object, the catalog of recordings
// and the main window, run modally for the life of the process.
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "CommandLine.h"
#include "RecordingsAccess.h"
#include "SingleInstance.h"
#include "Termination.h"
#include "app/MonitorApp.h"
#include "capture/Retention.h"
#include "catalog/Catalog.h"
#include "catalog/CatalogCheck.h"
#include "catalog/CatalogVerifier.h"
#include "platform/FileSystem.h"
#include "restream/RestreamService.h"
#include "ui/LiveView.h"
#include "ui/MonitorDlg.h"

namespace {

// The RecordDir of the settings file, for the commands that run without the window.
std::string RecordDirOfSettings() {
    return AppSettings::Read(ResolveAppPaths(ModulePath()).ConfigPath).RecordDir;
}

}  // namespace

int main(int argc, char** argv) {
    // Before the application object: --help, --version, --paths and the catalog's
    // commands start no log file, and before QApplication: they need no display. The
    // catalog's commands run beside a recording copy and never start a window.
    const CommandLine command = ParseCommandLine(argc, argv);
    switch (command.What) {
        case CommandLine::Action::Help:
        case CommandLine::Action::Version:
            std::fputs(command.Text.c_str(), stdout);
            return 0;
        case CommandLine::Action::Error:
            std::fputs(command.Text.c_str(), stderr);
            return CommandLine::kUsageExitCode;
        case CommandLine::Action::Paths: {
            const AppPaths paths = ResolveAppPaths(ModulePath());
            std::fputs(PathsText(paths, AppSettings::Read(paths.ConfigPath).RecordDir).c_str(),
                       stdout);
            return 0;
        }
        case CommandLine::Action::CatalogCheck: {
            std::string report;
            const int code = RunCatalogCheck(RecordDirOfSettings(), WallClockMs(), &report);
            std::fputs(report.c_str(), stdout);
            return code;
        }
        case CommandLine::Action::Verify: {
            std::string report;
            const int code =
                RunVerify({RecordDirOfSettings(), command.VerifyCamera, command.VerifyDay},
                          WallClockMs(), &report);
            std::fputs(report.c_str(), stdout);
            return code;
        }
        case CommandLine::Action::Export:
            return RunExport(command.ExportArguments);
        case CommandLine::Action::Playback:
        case CommandLine::Action::Run:
            break;
    }
    if (command.Simulated >= 0) {
        // The capture library reads the variable whenever it lists the devices.
        setenv("ORVEX_SIMULATED_CAMERAS", std::to_string(command.Simulated).c_str(), 1);
    }

    if (command.What == CommandLine::Action::Playback) return RunPlaybackWindow(argc, argv);

    // A second start of the same copy raises the running window instead, before a log starts.
    CSingleInstance instance(ResolveAppPaths(ModulePath()).ConfigDir);
    if (const std::optional<int> exitCode = instance.HandToRunningCopy(argc, argv))
        return *exitCode;

    CMonitorApp app;  // starts the day's first log file at once
    QApplication qt(argc, argv);
    // Ties the window to the installed desktop entry: its icon and name in the task bar.
    QGuiApplication::setDesktopFileName(QStringLiteral(ORVEX_DESKTOP_ID));
    app.InitInstance([&instance](CMonitorApp& monitor) {
        // The catalog of the RecordDir in the settings, reconciled with its files before
        // any camera records; it follows RecordDir when the settings dialog changes it.
        CCatalog::Options catalogOptions;
        catalogOptions.Log = [](const std::string& line) { AppLog(line.c_str()); };
        CCatalog catalog(catalogOptions);
        catalog.Open(monitor.Settings().RecordDir);
        monitor.SetSettingsListener(
            [&catalog](const AppSettings& settings) { catalog.SwitchTo(settings.RecordDir); });
        // Offers the open cameras over RTSP when [RTSP] says so; it outlives every
        // opening, so it ends after them.
        CRestreamService restream([](const std::string& line) { AppLog(line.c_str()); });
        const RestreamSettings restreamSettings = RestreamSettings::Read(monitor.ConfigPath());
        // A password written into the file by hand is kept from other users too.
        if (!restreamSettings.Password.empty()) {
            RestreamSettings::MakePrivate(monitor.ConfigPath(), nullptr);
        }
        restream.Apply(restreamSettings);
        {
            // Ages recordings out for as long as the window runs, with the settings of
            // the moment, and tells the catalog of each deletion.
            CRetention::Options options;
            options.Policy = [&monitor] {
                const AppSettings settings = monitor.Settings();
                return CRetention::Policy{settings.RecordDir, settings.RecordSaveDay};
            };
            options.Recordings = &catalog;
            CRetention retention(std::move(options));
            retention.Start();
            CMonitorDlg window(monitor, &catalog, &catalog);
            window.SetMotionEvents(&catalog);
            window.SetRestream(&restream);
            const CTermination termination([&window] { window.reject(); });
            instance.Listen(&window, [&window] {
                // Keeps a maximized window maximized, as showNormal would not.
                window.setWindowState((window.windowState() & ~Qt::WindowMinimized) |
                                      Qt::WindowActive);
                window.raise();
                window.activateWindow();
            });
            window.Start();
            window.exec();
        }
        // Recordings still closing on cancelled openings tell the catalog of their last
        // files: they end before it does.
        COpeningThreads::Instance().JoinAll();
        monitor.SetSettingsListener({});
        catalog.Close();
    });
    // Openings cancelled at the end close what they opened, recordings included, on
    // their own threads: the log and the capture library must outlive them.
    COpeningThreads::Instance().JoinAll();
    app.ExitInstance();
    return 0;
}
