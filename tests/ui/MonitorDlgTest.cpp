// The main window as an operator meets it, on the offscreen platform with simulated
// cameras: the log panel, selection and enlarging, the grid, start-up with a camera
// list, moving cameras through the tree, and closing at awkward moments.
#include <QElapsedTimer>
#include <QPushButton>
#include <QTableWidget>
#include <QTreeWidget>
#include <QtTest>
#include <algorithm>
#include <cstring>

#include "UiTestSupport.h"
#include "camcap/CameraCapTesting.h"
#include "capture/CameraCap.h"
#include "common/Messages.h"
#include "config/CameraListFile.h"
#include "ui/LiveView.h"
#include "ui/MonitorDlg.h"
#include "ui/SystemSettingsDlg.h"
#include "ui/VideoCell.h"
#include "widgets/ColorLabel.h"
#include "widgets/StyledButton.h"

namespace {

std::ptrdiff_t HiddenBarLines(const CUiHome& home) {
    const auto lines = home.LogLines();
    return std::count(lines.begin(), lines.end(), "自动隐藏信息栏");
}

std::string NameOf(const DeviceInfo& record) {
    return std::string(record.DeviceName, strnlen(record.DeviceName, sizeof record.DeviceName));
}

QRect ToQRect(const CellRect& r) {
    return QRect(r.Left, r.Top, r.Width(), r.Height());
}

QColor FrameColour(CVideoCell* cell) {
    const QImage image = cell->grab().toImage();
    return image.pixelColor(image.width() / 2, 0);
}

// Waits until the loader has run its pass: the panel hidden, the settings button back.
void WaitForLoader(CMonitorDlg& window) {
    QTRY_VERIFY_WITH_TIMEOUT(!window.InfoBarShown() && window.SettingsButton()->isEnabled(),
                             kUiWaitMs);
}

bool NoneOpening(CMonitorDlg& window) {
    for (int i = 0; i < kCellCount; ++i) {
        if (window.Cell(i)->Opening()) return false;
    }
    return true;
}

// Every device open in one cell at most, and no capture open that no cell holds.
void ExpectOneCapturePerCamera(CMonitorDlg& window) {
    std::vector<std::string> shown;
    for (int i = 0; i < kCellCount; ++i) {
        if (window.Cell(i)->Handle() >= 0) shown.push_back(NameOf(window.Cell(i)->Record()));
    }
    std::sort(shown.begin(), shown.end());
    QVERIFY(std::adjacent_find(shown.begin(), shown.end()) == shown.end());
    QCOMPARE(CameraCapTest_OpenHandles(), static_cast<int>(shown.size()));
}

}  // namespace

class MonitorDlgTest : public QObject {
    Q_OBJECT

private slots:
    void LogPanelKeepsAHundredAndOneRowsThenStartsAgain() {
        CUiHome home(0, 0, false);
        CMonitorDlg window(home.App());
        QTableWidget* list = window.LogList();
        for (int i = 0; i <= 100; ++i) AppLog(("line " + std::to_string(i)).c_str());
        QTRY_COMPARE(list->rowCount(), 101);
        QCOMPARE(list->item(100, 1)->text(), QStringLiteral("line 100"));
        QVERIFY(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$"))
                    .match(list->item(0, 0)->text())
                    .hasMatch());
        AppLog("line 101");  // shown at row 101, then the panel empties
        AppLog("line 102");
        QTRY_COMPARE(list->rowCount(), 1);
        QCOMPARE(list->item(0, 1)->text(), QStringLiteral("line 102"));

        // A capture-library text: prefixed on the panel, and kept in the log file too.
        QVERIFY(window.WindowHandle()->Post(
            WM_LOG_TEXT, reinterpret_cast<WPARAM>(NewMessageText("摄像头 前门 已断开")), 1));
        QTRY_COMPARE(list->rowCount(), 2);
        QCOMPARE(list->item(1, 1)->text(), QString::fromUtf8("[CameraCap] 摄像头 前门 已断开"));
        const auto lines = home.LogLines();
        QVERIFY(std::count(lines.begin(), lines.end(), "[CameraCap] 摄像头 前门 已断开") == 1);

        // After the window's end a line reaches the file only; nothing is lost or leaked.
        window.Shutdown();
        AppLog("after the window");
        QCoreApplication::processEvents();
        QCOMPARE(list->rowCount(), 2);
        QCOMPARE(home.LogLines().back(), std::string("after the window"));
    }

    void CellsAreSelectedEnlargedAndKeepTheirGrid() {
        CUiHome home(0, 0, false);
        CMonitorDlg window(home.App());
        window.Start();
        QTRY_VERIFY_WITH_TIMEOUT(window.isVisible() && window.Cell(0) != nullptr, kUiWaitMs);
        QVERIFY(window.windowState() & Qt::WindowMaximized);
        QCOMPARE(window.windowTitle(), QString::fromUtf8("USB 摄像头监控"));
        WaitForLoader(window);
        QCOMPARE(window.InfoBarButton()->text(), QString::fromUtf8("显示信息栏"));
        const int width = window.width();
        const int height = window.height();

        QCOMPARE(window.Cell(2)->Snapshot((home.RecordDir() + "/empty.jpg").c_str()), -1);

        // A click selects: its frame turns (255, 220, 64), every other (44, 52, 65).
        QTest::mouseClick(window.Cell(2), Qt::LeftButton);
        QTRY_COMPARE(window.SelectedCell(), 2);
        for (int i = 0; i < kCellCount; ++i) {
            QCOMPARE(FrameColour(window.Cell(i)).rgb(),
                     i == 2 ? CVideoCell::kSelectedFrame : CVideoCell::kNormalFrame);
        }

        // A double-click enlarges over the video area and hides the others; again restores.
        QTest::mouseDClick(window.Cell(2), Qt::LeftButton);
        QTRY_VERIFY(window.Cell(2)->Enlarged());
        QCOMPARE(window.Cell(2)->geometry(), QRect(330, 70, width - 330, height - 70 - 20));
        QVERIFY(!window.Cell(0)->isVisible() && !window.Cell(3)->isVisible());
        QTest::mouseDClick(window.Cell(2), Qt::LeftButton);
        QTRY_VERIFY(!window.Cell(2)->Enlarged());
        QCOMPARE(window.Cell(2)->geometry(), ToQRect(window.CellRects()[2]));
        QVERIFY(window.Cell(0)->isVisible() && window.Cell(3)->isVisible());

        // Restored and made smaller, the cells keep the maximized grid until the panel
        // is toggled; the running time shows from a client 740 wide.
        const auto maximizedGrid = window.CellRects();
        window.showNormal();
        window.resize(739, 500);
        QTRY_COMPARE(window.width(), 739);
        QVERIFY(window.CellRects() == maximizedGrid);
        QCOMPARE(window.Cell(3)->geometry(), ToQRect(maximizedGrid[3]));
        QVERIFY(!window.TimeLabel()->isVisible());
        window.resize(740, 500);
        QTRY_VERIFY(window.TimeLabel()->isVisible());
        window.ToggleInfoBar();
        QCOMPARE(window.InfoBarButton()->text(), QString::fromUtf8("隐藏信息栏"));
        QVERIFY(window.CellRects() == LayoutCells(740, 500, kInfoBarShownHeight));
        QTRY_COMPARE(window.Cell(3)->geometry(), ToQRect(window.CellRects()[3]));
        QCOMPARE(window.LogList()->height(), 180);
    }

    void StartupOpensTheFirstFourCamerasAndTheTreeMovesThem() {
        CUiHome home(6, 6, true);
        CMonitorDlg window(home.App());
        window.Start();
        QTRY_VERIFY(!window.SettingsButton()->isEnabled());  // during the loader's pass
        WaitForLoader(window);
        QTRY_VERIFY_WITH_TIMEOUT(NoneOpening(window), kUiWaitMs);
        // Cameras 0 to 3 of the list in cells 0 to 3; the other two only listed.
        QTreeWidgetItem* root = window.Tree()->topLevelItem(0);
        QCOMPARE(root->text(0), QString::fromUtf8("USB摄像头监控系统"));
        QCOMPARE(root->childCount(), 6);
        QCOMPARE(root->child(5)->text(0), QString::fromUtf8("摄像头 6"));
        for (int i = 0; i < kCellCount; ++i) {
            QVERIFY(window.Cell(i)->Handle() >= 0);
            QCOMPARE(NameOf(window.Cell(i)->Record()), NameOf(SimulatedRecord(i)));
            QTRY_VERIFY_WITH_TIMEOUT(window.Cell(i)->FramesPainted() > 0, kUiWaitMs);
        }
        ExpectOneCapturePerCamera(window);
        const auto lines = home.LogLines();
        const auto at = [&](const std::string& line) {
            return std::find(lines.begin(), lines.end(), line) - lines.begin();
        };
        QVERIFY(at("开始加载摄像机列表") < at("从XML文件中成功读取到6个摄像头设备"));
        QVERIFY(at("从XML文件中成功读取到6个摄像头设备") < at("自动隐藏信息栏"));
        QVERIFY(at("自动隐藏信息栏") < static_cast<long>(lines.size()));
        for (int i = 0; i < kCellCount; ++i) {
            QVERIFY(at(" 成功打开设备 " + NameOf(SimulatedRecord(i))) <
                    static_cast<long>(lines.size()));
        }

        // A new list rebuilds the tree and leaves the cells running.
        DeviceInfo* table = NewCameraTable();
        for (int i = 0; i < 6; ++i) table[i] = SimulatedRecord(i);
        SetDeviceName(table[2].CustomDeviceName, "后门");
        QVERIFY(window.WindowHandle()->Post(WM_CAMERA_LIST, reinterpret_cast<WPARAM>(table), 6));
        QTRY_COMPARE(window.Tree()->topLevelItem(0)->child(2)->text(0), QString::fromUtf8("后门"));
        root = window.Tree()->topLevelItem(0);
        for (int i = 0; i < kCellCount; ++i) QVERIFY(window.Cell(i)->Handle() >= 0);

        // With cell 0 selected, the camera of cell 2 moves there from the tree.
        QTest::mouseClick(window.Cell(0), Qt::LeftButton);
        QTRY_COMPARE(window.SelectedCell(), 0);
        emit window.Tree()->itemDoubleClicked(root->child(2), 0);
        QCOMPARE(window.Cell(2)->Handle(), -1);
        QTRY_VERIFY_WITH_TIMEOUT(NoneOpening(window), kUiWaitMs);
        QCOMPARE(NameOf(window.Cell(0)->Record()), NameOf(SimulatedRecord(2)));
        QVERIFY(window.Cell(0)->Handle() >= 0);
        ExpectOneCapturePerCamera(window);

        // Double-clicks faster than cameras open: the newest wins, a camera stays in one
        // cell, and no capture is left over. The root does nothing.
        QTest::mouseClick(window.Cell(1), Qt::LeftButton);
        QTRY_COMPARE(window.SelectedCell(), 1);
        for (int item : {4, 5, 2, 3, 0, 3})
            emit window.Tree()->itemDoubleClicked(root->child(item), 0);
        emit window.Tree()->itemDoubleClicked(root, 0);
        QTRY_VERIFY_WITH_TIMEOUT(NoneOpening(window), kUiWaitMs);
        QCOMPARE(NameOf(window.Cell(1)->Record()), NameOf(SimulatedRecord(3)));
        QVERIFY(window.Cell(1)->Handle() >= 0);
        QCOMPARE(window.Cell(0)->Handle(), -1);  // its camera 2 was asked for in cell 1 meanwhile
        QCOMPARE(window.Cell(3)->Handle(), -1);
        ExpectOneCapturePerCamera(window);

        window.reject();
        COpeningThreads::Instance().JoinAll();  // cancelled openings close on their threads
        QCOMPARE(CameraCapTest_OpenHandles(), 0);
    }

    void ClosingAtAnyMomentEndsEveryCapture_data() {
        QTest::addColumn<bool>("whileOpening");
        QTest::addColumn<bool>("stuck");  // the fourth camera never delivers
        QTest::newRow("half a second after start") << false << false;
        QTest::newRow("while cameras open") << true << false;
        QTest::newRow("one camera stuck in its opening") << true << true;
    }

    void ClosingAtAnyMomentEndsEveryCapture() {
        QFETCH(bool, whileOpening);
        QFETCH(bool, stuck);
        CUiHome home(4, 4, true);
        CameraCapTest_SimulatedStall(3, stuck ? 1 : 0);
        const auto unstall = qScopeGuard([] { CameraCapTest_SimulatedReset(); });
        std::ptrdiff_t hiddenBeforeClose = 0;
        {
            CMonitorDlg window(home.App());
            window.Start();
            if (whileOpening) {
                QTRY_VERIFY_WITH_TIMEOUT(window.Cell(3)->Opening(), kUiWaitMs);
            } else {
                QTest::qWait(500);
            }
            if (stuck) {
                // The others open; the fourth waits for a first picture that never comes.
                QTRY_VERIFY_WITH_TIMEOUT(window.Cell(2)->Handle() >= 0, kUiWaitMs);
                QVERIFY(window.Cell(3)->Opening());
            }
            // A loaded machine may take longer than the info bar's 2 s to get here.
            hiddenBeforeClose = HiddenBarLines(home);
            QElapsedTimer closing;
            closing.start();
            window.reject();
            QVERIFY(!window.isVisible());
            COpeningThreads::Instance().JoinAll();
            // The capture library waits up to 10 s for a first picture; closing must not.
            QVERIFY2(closing.elapsed() < 5000, qPrintable(QString::number(closing.elapsed())));
            QCOMPARE(CameraCapTest_OpenHandles(), 0);
        }
        // The window's timers end with it.
        QCOMPARE(HiddenBarLines(home), hiddenBeforeClose);
        const auto lines = home.LogLines();
        // Every recording that began was stopped whole, and only those.
        QCOMPARE(std::count_if(lines.begin(), lines.end(),
                               [](const std::string& l) { return l.rfind(" 录像停止 ", 0) == 0; }),
                 std::count_if(lines.begin(), lines.end(), [](const std::string& l) {
                     return l.rfind(" 成功打开设备 ", 0) == 0;
                 }));
    }

    void ACameraIsOpenedByItsKeyAndNeverAnotherOfItsName() {
        // Two identical webcams: one name, told apart by their keys only.
        qputenv("ORVEX_SIMULATED_PROFILES", "1:yuyv,2:yuyv");
        const auto reset = qScopeGuard([] {
            qunsetenv("ORVEX_SIMULATED_PROFILES");
            CameraCapTest_SimulatedReset();
        });
        CUiHome home(2, 0, true);
        DeviceInfo found[kCameraTableRecords];
        CameraKey keys[kCameraTableRecords];
        int32_t count = 0;
        CameraCap_EnumDeviceKeys(found, keys, &count);
        QCOMPARE(count, 2);
        QCOMPARE(NameOf(found[0]), NameOf(found[1]));
        SetDeviceName(found[0].CustomDeviceName, "前门");
        SetDeviceName(found[1].CustomDeviceName, "后门");
        QVERIFY(
            SaveCameraList(found, 2, home.App().CameraListPath(), {keys[0].Text, keys[1].Text}));
        // After a reboot the back door's camera comes first, and the front door's is gone.
        const int order[] = {1, 0};
        CameraCapTest_SimulatedPlugOrder(order, 2);
        CameraCapTest_SimulatedUnplug(0, 1);

        CMonitorDlg window(home.App());
        window.Start();
        WaitForLoader(window);
        QTRY_VERIFY_WITH_TIMEOUT(NoneOpening(window), kUiWaitMs);
        QVERIFY(window.Cell(1)->Handle() >= 0);
        QCOMPARE(window.Cell(0)->Handle(), -1);
        const auto lines = home.LogLines();
        QCOMPARE(std::count(lines.begin(), lines.end(), std::string(" 摄像头 前门 未连接")), 1L);
        QCOMPARE(
            std::count_if(lines.begin(), lines.end(),
                          [](const std::string& l) { return l.rfind(" 录像停止 前门", 0) == 0; }),
            0L);
        window.reject();
    }

    void EnterOnAFocusedButtonClicksItAndOnlyTheWindowItselfEndsIt_data() {
        QTest::addColumn<int>("key");
        QTest::newRow("Return") << int(Qt::Key_Return);
        QTest::newRow("keypad Enter") << int(Qt::Key_Enter);
        QTest::newRow("Space") << int(Qt::Key_Space);
    }

    void EnterOnAFocusedButtonClicksItAndOnlyTheWindowItselfEndsIt() {
        QFETCH(int, key);
        CUiHome home(0, 0, false);
        CMonitorDlg window(home.App());
        window.Start();
        WaitForLoader(window);
        QVERIFY(QTest::qWaitForWindowActive(&window));
        window.SettingsButton()->setFocus();
        QTest::keyClick(window.SettingsButton(), Qt::Key(key));
        QTRY_VERIFY(window.findChild<CSystemSettingsDlg*>() != nullptr);
        QVERIFY(window.isVisible());
        window.findChild<CSystemSettingsDlg*>()->close();
        QTRY_VERIFY(window.findChild<CSystemSettingsDlg*>() == nullptr);
        // Enter or Escape that reaches the window itself ends it.
        QTest::keyClick(&window, Qt::Key_Return);
        QVERIFY(!window.isVisible());
    }
};

int RunMonitorDlgTests(int argc, char** argv) {
    MonitorDlgTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "MonitorDlgTest.moc"
