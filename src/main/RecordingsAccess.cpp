#include "RecordingsAccess.h"

#include <QApplication>
#include <cstdio>

#include "Termination.h"
#include "app/AppPaths.h"
#include "app/AppSettings.h"
#include "catalog/Catalog.h"
#include "platform/FileSystem.h"
#include "playback/ExportCommand.h"
#include "ui/PlaybackDlg.h"

namespace {

constexpr const char* kNoCatalog = "OrvexClient: the catalog of recordings of %s cannot be read.\n";

std::string RecordDir() {
    return AppSettings::Read(ResolveAppPaths(ModulePath()).ConfigPath).RecordDir;
}

}  // namespace

std::unique_ptr<ICatalogReader> OpenRecordings(const std::string& recordDir,
                                               bool indexInBackground) {
    // The catalog's faults (a damaged database moved aside, a read-only folder) go to
    // the terminal: these commands keep no log of their own.
    CCatalog::Options options;
    options.Log = [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); };
    options.IndexInBackground = indexInBackground;
    auto catalog = std::make_unique<CCatalog>(std::move(options));
    catalog->Open(recordDir);
    return catalog;
}

int RunExport(const std::vector<std::string>& arguments) {
    std::string output;
    // A mistake in the arguments is told before any catalog is opened.
    if (const int status = ExportCommand::Check(arguments, output); status != 0) {
        std::fputs(output.c_str(), stderr);
        return status;
    }
    const std::string recordDir = RecordDir();
    // An export reads what is catalogued and ends: nothing to index meanwhile.
    const std::unique_ptr<ICatalogReader> catalog = OpenRecordings(recordDir, false);
    if (!catalog) {
        std::fprintf(stderr, kNoCatalog, recordDir.c_str());
        return ExportCommand::kFailed;
    }
    const int status = ExportCommand::Run(*catalog, arguments, output);
    std::fputs(output.c_str(), status == ExportCommand::kWritten ? stdout : stderr);
    return status;
}

int RunPlaybackWindow(int& argc, char** argv) {
    const std::string recordDir = RecordDir();
    const std::unique_ptr<ICatalogReader> catalog = OpenRecordings(recordDir, true);
    if (!catalog) {
        std::fprintf(stderr, kNoCatalog, recordDir.c_str());
        return 1;
    }
    QApplication qt(argc, argv);
    CPlaybackDlg window(*catalog);
    // A logout or Ctrl+C closes the window, so that its player and export end in order.
    const CTermination termination([&window] { window.close(); });
    window.show();
    return qt.exec();
}
