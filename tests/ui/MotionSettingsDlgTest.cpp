// The motion settings dialog offscreen: what its controls show and save, what closing it
// keeps, which button Enter reaches; main runs the mask editor's tests too.
// ORVEX_MOTIONDLG_GRAB names a PNG file to receive a picture of the dialog's layout.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QtTest>

#include "ui/MotionMaskEditor.h"
#include "ui/MotionSettingsDlg.h"

// What a failed comparison prints.
char* toString(const MotionSettings& s) {
    return QTest::toString(QStringLiteral("{%1, %2%, motion only %3, excluded %4}")
                               .arg(s.Enabled)
                               .arg(s.MinAreaPct)
                               .arg(s.MotionOnlyRecording)
                               .arg(QString::fromStdString(s.Excluded.to_string())));
}

namespace {

// Sky over a road: enough to judge the look of the grid.
QImage Scene() {
    QImage picture(640, 480, QImage::Format_RGB32);
    picture.fill(QColor(150, 190, 230));
    QPainter(&picture).fillRect(0, 300, 640, 180, QColor(90, 90, 95));
    return picture;
}

MotionSettings Settings(bool enabled, double minAreaPct, bool motionOnly,
                        std::initializer_list<int> excluded) {
    MotionSettings settings{enabled, minAreaPct, {}, motionOnly};
    for (int cell : excluded) settings.Excluded.set(cell);
    return settings;
}

}  // namespace

class MotionSettingsDlgTest : public QObject {
    Q_OBJECT

private slots:
    void ShowsTheCameraAndItsPicture() {
        CMotionSettingsDlg dialog(nullptr, QString::fromUtf8("大门"), MotionSettings(), Scene);
        dialog.show();
        QStringList texts;
        for (const QLabel* label : dialog.findChildren<QLabel*>()) texts << label->text();
        QVERIFY2(texts.contains(QString::fromUtf8("摄像头：大门")), qPrintable(texts.join('|')));
        QCOMPARE(dialog.RecordingBox()->itemText(1), QString::fromUtf8("移动侦测录像"));
        for (const QWidget* child : dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            QVERIFY2(dialog.rect().contains(child->geometry()), qPrintable(child->objectName()));
        }
        // The editor shows the picture at 4:3.
        const CMotionMaskEditor* editor = dialog.MaskEditor();
        QCOMPARE(editor->PictureRect().width() * 3, editor->PictureRect().height() * 4);
        const QImage shown = dialog.grab().toImage();
        const QPoint roadCell = editor->mapTo(&dialog, editor->CellRect(1, 11).center());
        QCOMPARE(shown.pixelColor(roadCell), QColor(90, 90, 95));
        const QString grabTo = qEnvironmentVariable("ORVEX_MOTIONDLG_GRAB");
        if (!grabTo.isEmpty()) QVERIFY(shown.save(grabTo));
    }

    void ShowsTheInitialSettingsAndSavesWhatTheControlsHold() {
        // Every field changed, each way, and both ends of the area's range.
        MotionSettings initial = Settings(true, 50, true, {});
        initial.Excluded.set();
        const MotionSettings edited = Settings(false, 0.1, false, {0, 15, 176, 191});
        CMotionSettingsDlg dialog(nullptr, "cam", initial, {});
        dialog.open();
        QCOMPARE(dialog.EnabledBox()->isChecked(), initial.Enabled);
        QCOMPARE(dialog.MinAreaBox()->value(), initial.MinAreaPct);
        QCOMPARE(dialog.RecordingBox()->currentIndex(), initial.MotionOnlyRecording ? 1 : 0);
        QCOMPARE(dialog.MaskEditor()->Excluded(), initial.Excluded);
        dialog.EnabledBox()->setChecked(edited.Enabled);
        dialog.MinAreaBox()->setValue(edited.MinAreaPct);
        dialog.RecordingBox()->setCurrentIndex(edited.MotionOnlyRecording ? 1 : 0);
        dialog.MaskEditor()->SetExcluded(edited.Excluded);
        QCOMPARE(dialog.Result(), initial);  // nothing is taken before the save
        QTest::mouseClick(dialog.SaveButton(), Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.Result(), edited);
    }

    void KeysAndTheTitleBarCloseOrSaveAsTheFocusedButtonSays_data() {
        QTest::addColumn<QString>("focused");
        QTest::addColumn<int>("key");       // 0: the title bar's close button instead
        QTest::addColumn<bool>("open");     // the dialog afterwards
        QTest::addColumn<bool>("saved");    // Result() holds the edit
        QTest::addColumn<int>("excluded");  // cells excluded in the editor afterwards
        const int enter = Qt::Key_Return;
        QTest::newRow("Return on 保存") << "save" << enter << false << true << 2;
        QTest::newRow("keypad Enter on 保存") << "save" << int(Qt::Key_Enter) << false << true << 2;
        QTest::newRow("Escape on 保存") << "save" << int(Qt::Key_Escape) << false << false << 2;
        QTest::newRow("title bar") << "save" << 0 << false << false << 2;
        QTest::newRow("Return on 取消") << "cancel" << enter << false << false << 2;
        QTest::newRow("Return on 全部屏蔽") << "excludeAll" << enter << true << false << 192;
        QTest::newRow("Return on 全部清除") << "clear" << enter << true << false << 0;
        QTest::newRow("Return in the area field") << "minArea" << enter << true << false << 2;
    }

    void KeysAndTheTitleBarCloseOrSaveAsTheFocusedButtonSays() {
        QFETCH(QString, focused);
        QFETCH(int, key);
        QFETCH(bool, open);
        QFETCH(bool, saved);
        QFETCH(int, excluded);
        const MotionSettings initial = Settings(false, 1, false, {7, 8});
        CMotionSettingsDlg dialog(nullptr, "cam", initial, {});
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        dialog.EnabledBox()->setChecked(true);
        QWidget* target = QMap<QString, QWidget*>{{"save", dialog.SaveButton()},
                                                  {"cancel", dialog.CancelButton()},
                                                  {"excludeAll", dialog.ExcludeAllButton()},
                                                  {"clear", dialog.ClearMaskButton()},
                                                  {"minArea", dialog.MinAreaBox()}}
                              .value(focused);
        target->setFocus();
        QVERIFY(target->hasFocus());
        if (key == 0) {
            dialog.close();
        } else {
            QTest::keyClick(target, Qt::Key(key),
                            key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
        }
        QCOMPARE(dialog.isVisible(), open);
        QCOMPARE(dialog.result(), int(saved ? QDialog::Accepted : QDialog::Rejected));
        QCOMPARE(dialog.Result(), saved ? Settings(true, 1, false, {7, 8}) : initial);
        QCOMPARE(int(dialog.MaskEditor()->Excluded().count()), excluded);
    }
};

int RunMotionMaskEditorTests(int argc, char** argv);

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int editorFailures = RunMotionMaskEditorTests(argc, argv);
    MotionSettingsDlgTest test;
    const int dialogFailures = QTest::qExec(&test, argc, argv);
    return editorFailures + dialogFailures == 0 ? 0 : 1;
}

#include "MotionSettingsDlgTest.moc"
