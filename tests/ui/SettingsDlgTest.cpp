// The settings dialog and the device dialog as an operator meets them, offscreen with
// simulated cameras; message boxes and the folder browser are answered in place.
#include <sys/resource.h>

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTreeWidget>
#include <QtTest>
#include <csignal>
#include <filesystem>

#include "UiTestSupport.h"
#include "camcap/CameraCapTesting.h"
#include "config/CameraListFile.h"
#include "ui/DeviceInfoDlg.h"
#include "ui/LiveView.h"
#include "ui/MonitorDlg.h"
#include "ui/OperatorPrompts.h"
#include "ui/PreviewArea.h"
#include "ui/SystemSettingsDlg.h"
#include "ui/VideoCell.h"
#include "widgets/StyledButton.h"

using testsupport::ReadFile;

namespace {

// Answers at once and keeps what the dialogs said.
class CAnswers : public IOperatorPrompts {
public:
    QStringList Said;  // "caption: text"
    QString Folder;    // what the browser returns; empty cancels
    QString FolderTitle;
    void ShowMessage(QWidget*, const QString& caption, const QString& text) override {
        Said << caption + ": " + text;
    }
    QString ChooseFolder(QWidget*, const QString& title, const QString&) override {
        FolderTitle = title;
        return Folder;
    }
    QString ChooseSaveFile(QWidget*, const QString&, const QString&, const QString&) override {
        return {};
    }
};

template <class T = QPushButton>
T* Control(QWidget* dialog, int id) {
    return dialog->findChild<T*>(QString::number(id));
}

void Click(QWidget* dialog, int id) {
    QTest::mouseClick(Control(dialog, id), Qt::LeftButton);
}

QTableWidget* List(QWidget* dialog) {
    return Control<QTableWidget>(dialog, 1002);
}

bool Discover(CSystemSettingsDlg* dialog) {
    Click(dialog, 1003);
    return QTest::qWaitFor([&] { return Control(dialog, 1003)->isEnabled(); }, kUiWaitMs);
}

QStringList TreeNames(CMonitorDlg& window) {
    QStringList names;
    QTreeWidgetItem* root = window.Tree()->topLevelItem(0);
    for (int i = 0; root != nullptr && i < root->childCount(); ++i)
        names << root->child(i)->text(0);
    return names;
}

QStringList FileNames(CUiHome& home) {
    DeviceInfo table[kCameraTableRecords];
    int count = 0;
    ReadCameraList(home.ExeDir() + "CameraList.xml", table, &count, true);
    QStringList names;
    for (int i = 0; i < count; ++i) names << QString::fromUtf8(table[i].CustomDeviceName);
    return names;
}

long Count(const std::vector<std::string>& lines, const std::string& line) {
    return std::count(lines.begin(), lines.end(), line);
}

}  // namespace

class SettingsDlgTest : public QObject {
    Q_OBJECT

private slots:
    void DiscoveryFillsTheListSendsItAndWritesTheFile_data() {
        QTest::addColumn<QString>("supportRecord");
        QTest::addColumn<int>("cameras");
        QTest::addColumn<bool>("writable");
        QTest::newRow("recording on") << "1" << 4 << true;
        QTest::newRow("any other value is off") << "yes" << 2 << true;
        QTest::newRow("no camera") << "1" << 0 << true;
        QTest::newRow("file cannot be written") << "1" << 2 << false;
    }

    void DiscoveryFillsTheListSendsItAndWritesTheFile() {
        QFETCH(QString, supportRecord);
        QFETCH(int, cameras);
        QFETCH(bool, writable);
        CUiHome home(cameras, 3, false);
        const std::string list = home.ExeDir() + "CameraList.xml";
        if (!writable) std::filesystem::remove(list);
        if (!writable) std::filesystem::create_directory(list);  // in the way
        home.SetSupportRecord(supportRecord.toStdString());
        const std::string ini = ReadFile(home.ExeDir() + "OrvexCfg.ini");
        CMonitorDlg window(home.App());
        CSystemSettingsDlg dialog(home.App(), {});
        dialog.open();
        QCOMPARE(List(&dialog)->rowCount(), 0);  // whatever the file holds
        Click(&dialog, 1003);
        QVERIFY(!Control(&dialog, 1003)->isEnabled() && !Control(&dialog, 1005)->isEnabled());
        QCOMPARE(Control<QLabel>(&dialog, 1018)->text(), QString::fromUtf8("正在获取摄像头信息.."));
        QTRY_VERIFY_WITH_TIMEOUT(Control(&dialog, 1005)->isEnabled(), kUiWaitMs);

        const QString found = QString::fromUtf8("获取到%1条摄像头信息").arg(cameras);
        QCOMPARE(Control<QLabel>(&dialog, 1018)->text(), found);
        QCOMPARE(List(&dialog)->rowCount(), cameras);
        QStringList names;  // a simulated camera is discovered with its name as custom name
        for (int row = 0; row < cameras; ++row) {
            names << QString::fromUtf8(SimulatedRecord(row).DeviceName);
            QCOMPARE(List(&dialog)->item(row, 0)->text(), QString::number(row));
            QCOMPARE(List(&dialog)->item(row, 1)->text(), names[row]);
            QCOMPARE(List(&dialog)->item(row, 2)->text(), names[row]);
            QCOMPARE(List(&dialog)->item(row, 5)->text(),
                     QString::fromUtf8(supportRecord == "1" ? "是" : "否"));
        }
        QTRY_COMPARE(TreeNames(window), names);  // also when the file cannot be written
        QCOMPARE(FileNames(home), writable ? names : QStringList());
        QCOMPARE(ReadFile(home.ExeDir() + "OrvexCfg.ini"), ini);
        // One discovery per click.
        QVERIFY(Discover(&dialog));
        const auto lines = home.LogLines();
        QCOMPARE(Count(lines, "开始获取摄像头信息"), 2L);
        QCOMPARE(Count(lines, found.toStdString()), 2L);
        QCOMPARE(Count(lines, "写入摄像头列表文件失败 " + list), writable ? 0L : 2L);
    }

    void PreviewAndEditTakeTheLowestTickedRow_data() {
        QTest::addColumn<int>("cameras");
        QTest::addColumn<QList<int>>("ticked");
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("said");
        QTest::newRow("empty list") << 0 << QList<int>{} << -1 << "列表中没有任何设备";
        QTest::newRow("a selected row is not ticked")
            << 3 << QList<int>{} << -1 << "请先选择一个设备";
        QTest::newRow("two ticked") << 4 << QList<int>{3, 1} << 1 << "";
    }

    void PreviewAndEditTakeTheLowestTickedRow() {
        QFETCH(int, cameras);
        QFETCH(int, row);
        CUiHome home(cameras, 0, false);
        CAnswers answers;
        CSystemSettingsDlg dialog(home.App(), {});
        dialog.SetPrompts(&answers);
        dialog.open();
        if (cameras > 0) QVERIFY(Discover(&dialog));
        if (cameras > 0) List(&dialog)->selectRow(cameras - 1);
        QFETCH(QList<int>, ticked);
        for (int r : ticked) List(&dialog)->item(r, 0)->setCheckState(Qt::Checked);
        Click(&dialog, 1005);
        Click(&dialog, 1030);
        if (row < 0) {
            QFETCH(QString, said);
            QCOMPARE(answers.Said, QStringList(2, "OrvexClient: " + said));
            return;
        }
        QVERIFY(dialog.DeviceDialog()->isVisible());
        QCOMPARE(dialog.DeviceDialog()->Camera().DeviceIndex, row);
        dialog.DeviceDialog()->reject();
        // The edit closed the preview; each new one closes the one before.
        for (int previewed : {row, 0}) {
            List(&dialog)->item(0, 0)->setCheckState(previewed == 0 ? Qt::Checked : Qt::Unchecked);
            const uint64_t painted = dialog.PreviewArea()->FramesPainted();
            Click(&dialog, 1005);
            QVERIFY(dialog.PreviewArea()->Opening());  // the click did not wait for the camera
            QTRY_VERIFY_WITH_TIMEOUT(dialog.PreviewArea()->FramesPainted() > painted + 2,
                                     kUiWaitMs);
            QCOMPARE(dialog.PreviewArea()->Record().DeviceIndex, previewed);
            QCOMPARE(CameraCapTest_OpenHandles(), 1);
        }
        // A discovery replaces the rows and leaves the preview running.
        const int32_t handle = dialog.PreviewArea()->Handle();
        QVERIFY(Discover(&dialog));
        const uint64_t painted = dialog.PreviewArea()->FramesPainted();
        QTRY_VERIFY_WITH_TIMEOUT(dialog.PreviewArea()->FramesPainted() > painted + 2, kUiWaitMs);
        QCOMPARE(dialog.PreviewArea()->Handle(), handle);
        QCOMPARE(QString::fromUtf8(dialog.PreviewArea()->Record().DeviceName),
                 QString::fromUtf8(SimulatedRecord(0).DeviceName));
        QVERIFY(answers.Said.isEmpty());
    }

    void APreviewSharesTheCameraACellRecords() {
        // Real devices answer "busy" to a second open; so do the simulated ones here.
        qputenv("ORVEX_SIMULATED_EXCLUSIVE", "1");
        const auto exclusive = qScopeGuard([] { qunsetenv("ORVEX_SIMULATED_EXCLUSIVE"); });
        CUiHome home(2, 2, true);
        CMonitorDlg window(home.App());
        window.Start();
        QTRY_VERIFY_WITH_TIMEOUT(window.Cell(0)->Handle() >= 0, kUiWaitMs);
        const std::string recordings = home.RecordDir() + "/摄像头 1";
        const auto recorded = [&] {
            uintmax_t bytes = 0;
            for (const std::string& file : testsupport::ListFiles(recordings))
                bytes += std::filesystem::file_size(file);
            return bytes;
        };
        CAnswers answers;
        CSystemSettingsDlg dialog(home.App(), {});
        dialog.SetPrompts(&answers);
        dialog.open();
        QVERIFY(Discover(&dialog));
        List(&dialog)->item(0, 0)->setCheckState(Qt::Checked);
        for (int round = 0; round < 5; ++round) {  // each preview closes the one before
            const uint64_t painted = dialog.PreviewArea()->FramesPainted();
            Click(&dialog, 1005);
            QTRY_VERIFY_WITH_TIMEOUT(dialog.PreviewArea()->FramesPainted() > painted + 2,
                                     kUiWaitMs);
            QVERIFY(dialog.PreviewArea()->Handle() >= 0);
        }
        dialog.PreviewArea()->Close();
        // The cell still shows and records its camera.
        const uint64_t shown = window.Cell(0)->FramesPainted();
        const uintmax_t before = recorded();
        QTRY_VERIFY_WITH_TIMEOUT(window.Cell(0)->FramesPainted() > shown + 2, kUiWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(recorded() > before, kUiWaitMs);
        QVERIFY(answers.Said.isEmpty());
    }

    void ClosingWhileAPreviewOpensNeverWaitsForTheCamera() {
        CUiHome home(2, 0, false);
        CameraCapTest_SimulatedStall(0, 1);  // opens, never delivers a picture
        const auto unstall = qScopeGuard([] { CameraCapTest_SimulatedReset(); });
        CAnswers answers;
        auto* dialog = new CSystemSettingsDlg(home.App(), {});
        dialog->SetPrompts(&answers);
        dialog->open();
        QVERIFY(Discover(dialog));
        List(dialog)->item(0, 0)->setCheckState(Qt::Checked);
        Click(dialog, 1005);
        QTest::qWait(300);
        QVERIFY(dialog->PreviewArea()->Opening());
        QElapsedTimer closing;
        closing.start();
        delete dialog;
        // The library waits up to 10 s for a first picture; the window must not.
        QVERIFY2(closing.elapsed() < 2000, qPrintable(QString::number(closing.elapsed())));
        COpeningThreads::Instance().JoinAll();
        QCOMPARE(CameraCapTest_OpenHandles(), 0);
    }

    void DeviceEditChangesTheRowTheFileAndTheTreeOnly_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("deviceIndex");  // -1: the row's own
        QTest::addColumn<int>("save");         // 0 closed, 1 clicked, 2 Enter on the focused button
        QTest::addColumn<QString>("said");
        QTest::newRow("renamed") << "前门 &<>" << -1 << 1 << "修改成功";
        QTest::newRow("saved by Enter on the button") << "侧门" << -1 << 2 << "修改成功";
        QTest::newRow("blanks are a name") << "  " << -1 << 1 << "修改成功";
        QTest::newRow("empty") << "" << -1 << 1 << "自定义名称不能为空";
        QTest::newRow("closed, not saved") << "后门" << -1 << 0 << "";
        QTest::newRow("index beyond the rows")
            << "后门" << 4 << 1 << "设备已不在列表中，未做任何修改";
    }

    void DeviceEditChangesTheRowTheFileAndTheTreeOnly() {
        QFETCH(QString, name);
        QFETCH(int, deviceIndex);
        QFETCH(int, save);
        QFETCH(QString, said);
        CUiHome home(4, 0, false);
        CMonitorDlg window(home.App());
        CAnswers answers;
        CSystemSettingsDlg dialog(home.App(), {});
        dialog.SetPrompts(&answers);
        dialog.open();
        QVERIFY(Discover(&dialog));
        QTRY_COMPARE(TreeNames(window).size(), 4);
        const std::string file = ReadFile(home.ExeDir() + "CameraList.xml");
        const QStringList before = TreeNames(window);
        List(&dialog)->item(2, 0)->setCheckState(Qt::Checked);
        List(&dialog)->item(3, 0)->setCheckState(Qt::Checked);
        Click(&dialog, 1030);
        CDeviceInfoDlg* device = dialog.DeviceDialog();
        QLineEdit* field = Control<QLineEdit>(device, 1026);
        QCOMPARE(field->text(), before[2]);
        QVERIFY(Control<QCheckBox>(device, 1028)->isChecked());
        if (deviceIndex >= 0) {
            DeviceInfo camera = device->Camera();
            camera.DeviceIndex = deviceIndex;
            device->SetCamera(camera);
        }
        field->setText(name);
        Control<QCheckBox>(device, 1028)->setChecked(false);
        if (save == 2) {
            Control(device, 1029)->setFocus();
            QTest::keyClick(Control(device, 1029), Qt::Key_Return);
        } else if (save == 1) {
            Click(device, 1029);
        } else {
            device->reject();
        }
        QCOMPARE(answers.Said.join(""), said.isEmpty() ? "" : "提示: " + said);

        const bool changed = said == QString::fromUtf8("修改成功");
        QTRY_COMPARE(device->isVisible(), name.isEmpty());
        QStringList expected = before;
        if (changed) expected[2] = name;
        QTRY_COMPARE(TreeNames(window), expected);
        for (int row = 0; row < 4; ++row) {
            QCOMPARE(List(&dialog)->item(row, 2)->text(), expected[row]);
            QCOMPARE(List(&dialog)->item(row, 5)->text(),
                     QString::fromUtf8(changed && row == 2 ? "否" : "是"));
        }
        if (!changed) QCOMPARE(ReadFile(home.ExeDir() + "CameraList.xml"), file);
        // The file condenses white space, as XML reading does.
        if (changed)
            QCOMPARE(FileNames(home),
                     (QStringList{before[0], before[1], name.simplified(), before[3]}));
    }

    void TheNameFieldHoldsAtMost255Bytes_data() {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("typed");  // at the cursor, after the first character
        QTest::addColumn<QString>("shown");
        const QString c = QString::fromUtf8("摄");  // three bytes
        QTest::newRow("pasted, cut") << "" << QString(300, 'a') << QString(255, 'a');
        QTest::newRow("never half a character") << "" << c.repeated(90) << c.repeated(85);
        QTest::newRow("typed past the end") << QString(254, 'a') << c << QString(254, 'a');
        QTest::newRow("four bytes, the end kept")
            << "ab" + QString(249, 'a') << QString::fromUtf8("😀😀")
            << "a" + QString::fromUtf8("😀") + "b" + QString(249, 'a');
    }

    void TheNameFieldHoldsAtMost255Bytes() {
        QFETCH(QString, start);
        QFETCH(QString, typed);
        CDeviceInfoDlg device;
        QLineEdit* field = Control<QLineEdit>(&device, 1026);
        field->setText(start);
        field->setCursorPosition(start.isEmpty() ? 0 : 1);
        field->insert(typed);
        QTEST(field->text(), "shown");
    }

    void SavingWritesTheFourKeysOrNothing_data() {
        QTest::addColumn<QString>("days");
        QTest::addColumn<bool>("writable");
        QTest::addColumn<QString>("said");
        const char* range = "请输入一个介于 1 和 60 之间的整数。";
        QTest::newRow("0") << "0" << true << range;
        QTest::newRow("61") << "61" << true << range;
        QTest::newRow("-1") << "-1" << true << range;
        QTest::newRow("text") << "ten" << true << "请输入一个整数。";
        QTest::newRow("1") << "1" << true << "保存配置成功";
        QTest::newRow("60") << " 60 " << true << "保存配置成功";
        QTest::newRow("file cannot be written") << "7" << false << "保存配置失败：";
    }

    void SavingWritesTheFourKeysOrNothing() {
        QFETCH(QString, days);
        QFETCH(bool, writable);
        QFETCH(QString, said);
        CUiHome home(0, 1, true);
        const std::string ini = home.ExeDir() + "OrvexCfg.ini";
        const std::string old = "; 注释\n[Other]\nKey=v\n";
        testsupport::WriteFile(ini, old);
        const std::string list = ReadFile(home.ExeDir() + "CameraList.xml");
        CAnswers answers;
        CSystemSettingsDlg dialog(home.App(), {});
        dialog.SetPrompts(&answers);
        dialog.open();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        Click(&dialog, 1016);  // cancelled
        QCOMPARE(answers.FolderTitle, QString::fromUtf8("请选择录像存储目录："));
        answers.Folder = QString::fromStdString(home.RecordDir() + "/新");
        Click(&dialog, 1016);
        Control<QLineEdit>(&dialog, 1019)->setText(days);
        Control<QCheckBox>(&dialog, 1026)->setChecked(false);
        // Tests run as root, where permissions do not stop a write; a size limit does.
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        const rlimit unlimited = limit;
        limit.rlim_cur = writable ? limit.rlim_cur : 16;
        const auto handler = std::signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &limit);
        Click(&dialog, 1017);
        setrlimit(RLIMIT_FSIZE, &unlimited);
        std::signal(SIGXFSZ, handler);
        QCOMPARE(answers.Said.size(), 2);
        QCOMPARE(answers.Said[0], QString::fromUtf8("OrvexClient: 无效的目录，请重新选择"));
        QVERIFY2(answers.Said[1].startsWith("OrvexClient: " + said), qPrintable(answers.Said[1]));
        if (!writable) QVERIFY(answers.Said[1].contains(QStringLiteral("File too large")));

        const bool saved = said == QString::fromUtf8("保存配置成功");
        QCOMPARE(Control<QLineEdit>(&dialog, 1019)->hasFocus(), !saved && writable);
        QCOMPARE(home.App().Settings().RecordDir == answers.Folder.toStdString(), saved);
        QCOMPARE(home.App().Settings().IsOpenVideoAfterStart(), !saved);
        QCOMPARE(ReadFile(home.ExeDir() + "CameraList.xml"), list);
        const std::string text = ReadFile(ini);
        QCOMPARE(text == old, !saved);
        // The settings, the camera list with its keys and the log: no temporary left.
        QCOMPARE(testsupport::ListFiles(home.ExeDir()).size(), size_t(4));
        if (!saved) return;
        QCOMPARE(home.App().Settings().RecordSaveDay, days.trimmed().toInt());
        QVERIFY(text.find("; 注释") == 0 && text.find("Key = v") != std::string::npos);
        const size_t dir = text.find("RecordDir"), day = text.find("RecordSaveDay");
        const size_t record = text.find("SupportRecord"), open = text.find("OpenVideoAfterStart");
        QVERIFY(dir < day && day < record && record < open && open != std::string::npos);
    }

    void ClosingDuringADiscoveryNeverHangs() {
        CUiHome home(4, 0, false);
        CMonitorDlg window(home.App());
        for (int i = 0; i < 100; ++i) {
            QPointer<CSystemSettingsDlg> dialog = new CSystemSettingsDlg(home.App(), {}, &window);
            dialog->setAttribute(Qt::WA_DeleteOnClose);
            dialog->open();
            Click(dialog, 1003);
            QTest::qWait(i % 4);  // closed at different points of the discovery
            dialog->close();
            QTRY_VERIFY_WITH_TIMEOUT(dialog.isNull(), kUiWaitMs);
        }
        QTRY_COMPARE(TreeNames(window).size(), 4);
        QCOMPARE(FileNames(home).size(), 4);
        // Every discovery that began ran to its end; one closed before it began does none.
        const auto lines = home.LogLines();
        QVERIFY(Count(lines, "获取到4条摄像头信息") > 0);
        QCOMPARE(Count(lines, "获取到4条摄像头信息"), Count(lines, "开始获取摄像头信息"));
    }

    void DiscoverRenameSaveRecordAndRestart() {
        CUiHome home(4, 0, false);
        const std::string folder = home.RecordDir() + "/新目录";
        QStringList names;
        {
            CMonitorDlg window(home.App());
            window.Start();
            QTRY_VERIFY_WITH_TIMEOUT(window.SettingsButton()->isEnabled() && !window.InfoBarShown(),
                                     kUiWaitMs);
            QTest::mouseClick(window.SettingsButton(), Qt::LeftButton);
            auto* dialog = window.findChild<CSystemSettingsDlg*>();
            QVERIFY(dialog != nullptr && dialog->isVisible());
            CAnswers answers;
            answers.Folder = QString::fromStdString(folder);
            dialog->SetPrompts(&answers);
            QVERIFY(Discover(dialog));
            names = TreeNames(window);
            names[0] = QString::fromUtf8("前门 &<>");
            names[1] = QString::fromUtf8("后院");
            for (int row : {0, 1, 2}) {  // two renamed, the third no longer recorded
                for (int r = 0; r < 4; ++r)
                    List(dialog)->item(r, 0)->setCheckState(r == row ? Qt::Checked : Qt::Unchecked);
                Click(dialog, 1030);
                Control<QLineEdit>(dialog->DeviceDialog(), 1026)->setText(names[row]);
                Control<QCheckBox>(dialog->DeviceDialog(), 1028)->setChecked(row != 2);
                Click(dialog->DeviceDialog(), 1029);
                QTRY_VERIFY(!dialog->DeviceDialog()->isVisible());
            }
            // A fifth camera is plugged in and the cameras are discovered anew: the
            // operator's names and choices stay, the new camera gets the defaults.
            setenv("ORVEX_SIMULATED_CAMERAS", "5", 1);
            QVERIFY(Discover(dialog));
            names << QString::fromUtf8(SimulatedRecord(4).DeviceName);
            QTRY_COMPARE(TreeNames(window), names);
            for (int row = 0; row < 5; ++row) {
                QCOMPARE(List(dialog)->item(row, 5)->text(),
                         QString::fromUtf8(row == 2 ? "否" : "是"));
            }
            Click(dialog, 1016);
            Control<QLineEdit>(dialog, 1019)->setText(QStringLiteral("7"));
            Click(dialog, 1017);
            QCOMPARE(answers.Said.last(), QString::fromUtf8("OrvexClient: 保存配置成功"));
            dialog->close();
            QTRY_COMPARE(TreeNames(window), names);

            // Reopened from the tree, the cameras record into the new folder by their names.
            for (int i = 0; i < kCellCount; ++i) {
                QTest::mouseClick(window.Cell(i), Qt::LeftButton);
                QTRY_COMPARE(window.SelectedCell(), i);
                emit window.Tree()->itemDoubleClicked(window.Tree()->topLevelItem(0)->child(i), 0);
                QTRY_VERIFY_WITH_TIMEOUT(window.Cell(i)->Handle() >= 0, kUiWaitMs);
            }
            // A recording's file appears with its first write, within about a second.
            const auto folderOf = [&](int i) { return folder + "/" + names[i].toStdString(); };
            for (int i : {0, 1, 3}) {
                QTRY_VERIFY_WITH_TIMEOUT(!testsupport::ListFiles(folderOf(i)).empty(), kUiWaitMs);
            }
            QVERIFY(testsupport::ListFiles(folderOf(2)).empty());
            window.reject();
        }
        CMonitorApp restarted(home.ExeDir() + "OrvexClient");
        restarted.InitInstance();
        QCOMPARE(restarted.Settings().RecordDir, folder);
        QCOMPARE(restarted.Settings().RecordSaveDay, 7);
        QCOMPARE(FileNames(home), names);
    }
};

int RunSettingsDlgTests(int argc, char** argv) {
    SettingsDlgTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "SettingsDlgTest.moc"
