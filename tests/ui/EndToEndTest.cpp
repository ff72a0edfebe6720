// The real program under Xvfb, as an operator starts it: four simulated cameras and a
// camera list with its keys beside a copy of the executable. Every cell of a camera
// that delivers must show a moving picture; after the window is closed (SIGTERM, as a
// logout does) the recordings decode and the log file holds the start-up lines in
// order. Once with plain simulated cameras, once with the mode tables of real webcams
// and a camera stuck in its opening, as the environment gives them to the program.
// Usage: ui_e2e_tests <path of OrvexClient>; run by CTest under xvfb-run.
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QtTest>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "capture/CameraCap.h"
#include "config/CameraListFile.h"
#include "platform/ProfileIni.h"
#include "support/TestSupport.h"
#include "ui/MonitorLayout.h"

namespace {

QString executable;  // set by main
constexpr int kCameras = 4;
constexpr int kStartBoundMs = 90000;

std::string NameOf(const char (&field)[256]) {
    return std::string(field, strnlen(field, sizeof field));
}

std::vector<std::string> LogLines(const std::string& folder) {
    std::vector<std::string> lines;
    for (const std::string& file : testsupport::ListFiles(folder)) {
        std::ifstream in(file);
        for (std::string line; std::getline(in, line);)
            lines.push_back(line.size() > 25 ? line.substr(25) : line);
    }
    return lines;
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

QImage GrabScreen() {
    return QGuiApplication::primaryScreen()->grabWindow(0).toImage().convertToFormat(
        QImage::Format_RGB32);
}

// Whether the middle of rect changed between the two pictures: the cell's video (at
// least its clock) moves, an empty cell does not.
bool Moves(const QImage& a, const QImage& b, const CellRect& cell) {
    const QRect middle(cell.Left + cell.Width() / 8, cell.Top + cell.Height() / 8,
                       cell.Width() * 3 / 4, cell.Height() * 3 / 4);
    int changed = 0;
    for (int y = middle.top(); y <= middle.bottom(); y += 4) {
        for (int x = middle.left(); x <= middle.right(); x += 4) {
            if (a.pixel(x, y) != b.pixel(x, y)) ++changed;
        }
    }
    return changed > 50;
}

}  // namespace

class EndToEndTest : public QObject {
    Q_OBJECT

private slots:
    void FourCamerasAreShownRecordedAndLogged_data() {
        QTest::addColumn<QString>("profiles");
        QTest::addColumn<QString>("faults");
        QTest::addColumn<int>("delivering");  // the first cameras deliver, the others not
        QTest::newRow("plain cameras") << ""
                                       << "" << 4;
        QTest::newRow("webcam modes, the fourth stuck") << "1:mjpeg1080,2:yuyv,3:h264"
                                                        << "4:stall" << 3;
    }

    void FourCamerasAreShownRecordedAndLogged() {
        QFETCH(QString, profiles);
        QFETCH(QString, faults);
        QFETCH(int, delivering);
        testsupport::TempDir home;
        const std::string bin = home.Path() + "/bin/";
        const std::string recordings = home.Path() + "/rec";
        std::filesystem::create_directories(bin);
        std::filesystem::copy_file(executable.toStdString(), bin + "OrvexClient");
        QVERIFY(WriteProfileString(bin + "OrvexCfg.ini", "CFG", "RecordDir", recordings.c_str()));
        // The list as a discovery in the settings dialog writes it, keys included.
        qputenv("ORVEX_SIMULATED_CAMERAS", QByteArray::number(kCameras));
        qputenv("ORVEX_SIMULATED_PROFILES", profiles.toUtf8());
        DeviceInfo list[kCameraTableRecords];
        CameraKey keys[kCameraTableRecords];
        int32_t count = 0;
        CameraCap_EnumDeviceKeys(list, keys, &count);
        QCOMPARE(count, kCameras);
        std::vector<std::string> keyTexts;
        for (int i = 0; i < kCameras; ++i) {
            SetDeviceName(list[i].CustomDeviceName, ("通道" + std::to_string(i + 1)).c_str());
            keyTexts.push_back(keys[i].Text);
        }
        QVERIFY(SaveCameraList(list, kCameras, bin + "CameraList.xml", keyTexts));

        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("ORVEX_SIMULATED_FAULTS"), faults);
        // The running copy's lock lives in the runtime folder: this test's own.
        const std::string runtime = home.Path() + "/runtime";
        std::filesystem::create_directories(runtime);
        std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(runtime));
        // A sanitizer build of the program filters the reports of Qt and GStreamer as
        // the test programs do; what it still reports fails its exit code below.
#if defined(__SANITIZE_THREAD__)
        environment.insert(
            QStringLiteral("TSAN_OPTIONS"),
            QStringLiteral(
                "ignore_noninstrumented_modules=1:suppressions=" ORVEX_TSAN_SUPPRESSIONS));
#endif
#if defined(__SANITIZE_ADDRESS__)
        environment.insert(QStringLiteral("ASAN_OPTIONS"),
                           QStringLiteral("fast_unwind_on_malloc=0:malloc_context_size=8"));
        environment.insert(QStringLiteral("LSAN_OPTIONS"),
                           QStringLiteral("suppressions=" ORVEX_LSAN_SUPPRESSIONS));
#endif
        program.setProcessEnvironment(environment);
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        program.start(QString::fromStdString(bin + "OrvexClient"), {});
        QVERIFY(program.waitForStarted());

        // Once the loader has hidden the log panel the grid is the full-screen one; then
        // every cell of a delivering camera must change between two pictures a second
        // apart.
        const QSize screen = QGuiApplication::primaryScreen()->size();
        const auto grid = LayoutCells(screen.width(), screen.height(), kInfoBarHiddenHeight);
        const std::vector<CellRect> cells(grid.begin(), grid.begin() + delivering);
        bool allMove = false;
        QElapsedTimer waited;
        waited.start();
        while (!allMove && waited.elapsed() < kStartBoundMs &&
               program.state() == QProcess::Running) {
            if (!Contains(LogLines(bin + "Log"), "自动隐藏信息栏")) {
                QTest::qWait(200);
                continue;
            }
            const QImage before = GrabScreen();
            QTest::qWait(1000);
            const QImage after = GrabScreen();
            allMove = std::all_of(cells.begin(), cells.end(),
                                  [&](const CellRect& cell) { return Moves(before, after, cell); });
        }
        QVERIFY2(allMove, "the cells did not all show a moving picture");

        QElapsedTimer closing;
        closing.start();
        program.terminate();  // SIGTERM: the window closes as from its close box
        QVERIFY(program.waitForFinished(60000));
        // A camera stuck in its opening does not hold the end up for the library's 10 s.
        QVERIFY2(closing.elapsed() < 8000, qPrintable(QString::number(closing.elapsed())));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);

        for (int i = 0; i < kCameras; ++i) {
            const std::string folder = recordings + "/通道" + std::to_string(i + 1);
            const std::vector<std::string> files = testsupport::ListFiles(folder);
            QVERIFY2(files.empty() == (i >= delivering), folder.c_str());
            for (const std::string& file : files) {
                QProcess decode;
                decode.start(QStringLiteral("gst-launch-1.0"),
                             {QStringLiteral("-q"), QStringLiteral("filesrc"),
                              QStringLiteral("location=") + QString::fromStdString(file),
                              QStringLiteral("!"), QStringLiteral("h264parse"), QStringLiteral("!"),
                              QStringLiteral("avdec_h264"), QStringLiteral("!"),
                              QStringLiteral("fakesink")});
                QVERIFY(decode.waitForFinished(60000));
                QVERIFY2(decode.exitCode() == 0 && std::filesystem::file_size(file) > 0,
                         file.c_str());
            }
        }

        const std::vector<std::string> lines = LogLines(bin + "Log");
        const auto at = [&](const std::string& line) {
            return std::find(lines.begin(), lines.end(), line) - lines.begin();
        };
        const long end = static_cast<long>(lines.size());
        QVERIFY(at("开始加载摄像机列表") < at("从XML文件中成功读取到4个摄像头设备"));
        QVERIFY(at("从XML文件中成功读取到4个摄像头设备") < at("自动隐藏信息栏"));
        QVERIFY(at("自动隐藏信息栏") < end);
        for (int i = 0; i < delivering; ++i) {
            const long opened = at(" 成功打开设备 " + NameOf(list[i].DeviceName));
            QVERIFY(opened < end && opened > at("从XML文件中成功读取到4个摄像头设备"));
        }
    }
};

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc < 2) return 2;
    executable = QString::fromLocal8Bit(argv[1]);
    EndToEndTest test;
    return QTest::qExec(&test, 1, argv);
}

#include "EndToEndTest.moc"
