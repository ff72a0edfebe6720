#include "CommandLine.h"

#include <QCommandLineParser>
#include <QStringList>
#include <initializer_list>

namespace {

constexpr const char* kProgram = "OrvexClient";

struct QtOption {
    const char* Name;
    bool TakesValue;
};

// QGuiApplication's and QApplication's own options: an operator may still pass them,
// and QApplication takes them out of argv itself.
constexpr QtOption kQtOptions[] = {
    {"platform", true},
    {"platformpluginpath", true},
    {"platformtheme", true},
    {"plugin", true},
    {"qwindowgeometry", true},
    {"geometry", true},
    {"qwindowtitle", true},
    {"title", true},
    {"qwindowicon", true},
    {"icon", true},
    {"session", true},
    {"display", true},
    {"name", true},
    {"style", true},
    {"stylesheet", true},
    {"reverse", false},
    {"widgetcount", false},
    {"nograb", false},
    {"dograb", false},
    {"sync", false},
};

CommandLine Failure(const QString& message) {
    CommandLine result;
    result.What = CommandLine::Action::Error;
    result.Text = std::string(kProgram) + ": " + message.toStdString() + "\nTry '" + kProgram +
                  " --help' for more information.\n";
    return result;
}

}  // namespace

CommandLine ParseCommandLine(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);

    QCommandLineParser parser;
    // Qt's options are single-dash words (-platform xcb); take ours the same way.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(QStringLiteral(
        "Shows up to four USB cameras live, records those marked for recording and keeps an "
        "event log."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption paths(
        QStringLiteral("paths"),
        QStringLiteral("Print where the settings file, the camera list, the log folder and the "
                       "recordings are, then exit."));
    const QCommandLineOption simulated(
        QStringLiteral("simulated"),
        QStringLiteral("Offer N simulated cameras (0 to 10) besides the real ones, as "
                       "ORVEX_SIMULATED_CAMERAS=N does."),
        QStringLiteral("N"));
    const QCommandLineOption exportSpan(
        QStringLiteral("export"),
        QStringLiteral("With CAMERA FROM TO FILE.mp4: write CAMERA's recordings from FROM to TO "
                       "(\"yyyy-mm-dd hh:mm:ss\", local time) to FILE.mp4 without re-encoding, "
                       "with its SHA-256 in FILE.mp4.sha256, then exit."));
    const QCommandLineOption playback(QStringLiteral("playback"),
                                      QStringLiteral("Open the playback window alone."));
    const QCommandLineOption catalogCheck(
        QStringLiteral("catalog-check"),
        QStringLiteral("Reconcile the catalog of recordings with the files, print per camera its "
                       "files, hours and gaps, then exit."));
    const QCommandLineOption verify(
        QStringLiteral("verify"),
        QStringLiteral("[CAMERA] [DAY]: check that the recordings (of CAMERA, of DAY yyyy-mm-dd) "
                       "are those sealed in the catalog; report each file altered, missing or "
                       "inserted and exit 0 only when all hold."));
    parser.addOption(paths);
    parser.addOption(simulated);
    parser.addOption(catalogCheck);
    parser.addOption(verify);
    parser.addOption(exportSpan);
    parser.addOption(playback);
    for (const QtOption& qt : kQtOptions) {
        QCommandLineOption option(QString::fromLatin1(qt.Name), QString(),
                                  qt.TakesValue ? QStringLiteral("value") : QString());
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }

    if (!parser.parse(arguments)) return Failure(parser.errorText());
    // --verify takes a camera and a day, --export a camera, two times and a file.
    const QStringList operands = parser.positionalArguments();
    if (parser.isSet(exportSpan) && operands.size() != 4) {
        return Failure(QStringLiteral("--export needs CAMERA FROM TO FILE.mp4."));
    }
    const qsizetype allowed = parser.isSet(exportSpan) ? 4 : parser.isSet(verify) ? 2 : 0;
    if (operands.size() > allowed) {
        return Failure(QStringLiteral("unexpected argument '%1'.").arg(operands.at(allowed)));
    }

    CommandLine result;
    // Qt's own options are hidden from the help, so --help-all shows the same.
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        result.What = CommandLine::Action::Help;
        // Without a QCoreApplication the parser does not know the program's name.
        result.Text =
            parser.helpText()
                .replace(QStringLiteral("<executable_name>"), QString::fromLatin1(kProgram))
                .toStdString();
        return result;
    }
    if (parser.isSet(version)) {
        result.What = CommandLine::Action::Version;
        result.Text = std::string(kProgram) + " " + ORVEX_VERSION + "\n";
        return result;
    }
    if (parser.isSet(simulated)) {
        const QString text = parser.value(simulated);
        bool ok = false;
        const int count = text.toInt(&ok);
        if (!ok || count < 0 || count > CommandLine::kMaxSimulatedCameras) {
            return Failure(QStringLiteral("--simulated needs a number from 0 to %1, not '%2'.")
                               .arg(CommandLine::kMaxSimulatedCameras)
                               .arg(text));
        }
        result.Simulated = count;
    }
    if (parser.isSet(paths)) result.What = CommandLine::Action::Paths;
    if (parser.isSet(catalogCheck)) result.What = CommandLine::Action::CatalogCheck;
    if (parser.isSet(verify)) {
        result.What = CommandLine::Action::Verify;
        if (!operands.isEmpty()) result.VerifyCamera = operands.at(0).toStdString();
        if (operands.size() > 1) result.VerifyDay = operands.at(1).toStdString();
    }
    if (parser.isSet(playback)) result.What = CommandLine::Action::Playback;
    if (parser.isSet(exportSpan)) {
        result.What = CommandLine::Action::Export;
        for (const QString& argument : operands)
            result.ExportArguments.push_back(argument.toStdString());
    }
    return result;
}

std::string PathsText(const AppPaths& paths, const std::string& recordDir) {
    return "settings file: " + paths.ConfigPath + "\ncamera list:   " + paths.CameraListPath +
           "\nlog folder:    " + paths.LogDir() + "\nrecordings:    " + recordDir + "\n";
}
