// The motion settings dialog offscreen: what its controls show and save, what
// cancelling keeps, and which button Enter reaches. ORVEX_MOTIONDLG_GRAB names a
// PNG file to receive a picture of the dialog, for a look at its layout.
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QtTest>

#include "ui/MotionMaskEditor.h"
#include "ui/MotionSettingsDlg.h"

Q_DECLARE_METATYPE(MotionSettings)

// What a failed comparison prints.
char* toString(const MotionSettings& settings) {
    return qstrdup(QStringLiteral("{Enabled %1, MinAreaPct %2, MotionOnly %3, Excluded %4}")
                       .arg(settings.Enabled)
                       .arg(settings.MinAreaPct)
                       .arg(settings.MotionOnlyRecording)
                       .arg(QString::fromStdString(settings.Excluded.to_string()))
                       .toUtf8()
                       .constData());
}

namespace {

// A street-like scene: sky, a house, a road; enough to judge the look of the grid.
QImage Scene() {
    QImage picture(640, 480, QImage::Format_RGB32);
    QPainter painter(&picture);
    QLinearGradient sky(0, 0, 0, 300);
    sky.setColorAt(0, QColor(90, 140, 210));
    sky.setColorAt(1, QColor(200, 220, 240));
    painter.fillRect(0, 0, 640, 300, sky);
    painter.fillRect(0, 300, 640, 180, QColor(90, 90, 95));
    painter.fillRect(80, 150, 220, 150, QColor(180, 120, 80));
    painter.fillRect(130, 200, 50, 50, QColor(240, 230, 150));
    painter.fillRect(400, 60, 20, 240, QColor(60, 50, 40));
    painter.setBrush(QColor(40, 120, 40));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(340, 20, 140, 120);
    return picture;
}

MotionSettings Settings(bool enabled, double minAreaPct, bool motionOnly,
                        std::initializer_list<int> excluded) {
    MotionSettings settings;
    settings.Enabled = enabled;
    settings.MinAreaPct = minAreaPct;
    settings.MotionOnlyRecording = motionOnly;
    for (int cell : excluded) settings.Excluded.set(cell);
    return settings;
}

MotionSettings AllExcluded() {
    MotionSettings settings = Settings(true, 3.5, true, {});
    settings.Excluded.set();
    return settings;
}

// Puts settings into the controls as an operator would leave them.
void Enter(CMotionSettingsDlg& dialog, const MotionSettings& settings) {
    dialog.EnabledBox()->setChecked(settings.Enabled);
    dialog.MinAreaBox()->setValue(settings.MinAreaPct);
    dialog.RecordingBox()->setCurrentIndex(settings.MotionOnlyRecording ? 1 : 0);
    dialog.MaskEditor()->SetExcluded(settings.Excluded);
}

}  // namespace

class MotionSettingsDlgTest : public QObject {
    Q_OBJECT

private slots:
    void ShowsTheCameraAndItsPicture() {
        CMotionSettingsDlg dialog(nullptr, QString::fromUtf8("大门"),
                                  Settings(true, 2.0, false, {0, 1, 16, 17, 100}), Scene);
        dialog.show();
        QCOMPARE(dialog.windowTitle(), QString::fromUtf8("移动侦测设置"));
        QStringList texts;
        for (const QLabel* label : dialog.findChildren<QLabel*>()) texts << label->text();
        QVERIFY2(texts.contains(QString::fromUtf8("摄像头：大门")), qPrintable(texts.join('|')));
        QCOMPARE(dialog.RecordingBox()->itemText(0), QString::fromUtf8("连续录像"));
        QCOMPARE(dialog.RecordingBox()->itemText(1), QString::fromUtf8("移动侦测录像"));
        // Everything inside the dialog, the editor showing the picture at 4:3.
        for (const QWidget* child : dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            QVERIFY2(dialog.rect().contains(child->geometry()), qPrintable(child->objectName()));
        }
        const CMotionMaskEditor* editor = dialog.MaskEditor();
        QCOMPARE(editor->PictureRect().width() * 3, editor->PictureRect().height() * 4);
        const QImage shown = dialog.grab().toImage();
        const QPoint roadCell = editor->mapTo(&dialog, editor->CellRect(1, 11).center());
        QCOMPARE(shown.pixelColor(roadCell), QColor(90, 90, 95));
        const QString grabTo = qEnvironmentVariable("ORVEX_MOTIONDLG_GRAB");
        if (!grabTo.isEmpty()) QVERIFY(shown.save(grabTo));
    }

    void ShowsTheInitialSettingsAndSavesWhatTheControlsHold_data() {
        QTest::addColumn<MotionSettings>("initial");
        QTest::addColumn<MotionSettings>("edited");
        QTest::newRow("defaults kept") << MotionSettings() << MotionSettings();
        QTest::newRow("everything changed")
            << MotionSettings() << Settings(true, 12.5, true, {0, 15, 176, 191});
        QTest::newRow("back to the defaults") << AllExcluded() << MotionSettings();
        QTest::newRow("lowest area") << MotionSettings() << Settings(true, 0.1, false, {5});
        QTest::newRow("highest area")
            << Settings(true, 0.1, true, {}) << Settings(true, 50, true, {});
    }

    void ShowsTheInitialSettingsAndSavesWhatTheControlsHold() {
        QFETCH(MotionSettings, initial);
        QFETCH(MotionSettings, edited);
        CMotionSettingsDlg dialog(nullptr, "cam", initial, {});
        dialog.open();
        QCOMPARE(dialog.EnabledBox()->isChecked(), initial.Enabled);
        QCOMPARE(dialog.MinAreaBox()->value(), initial.MinAreaPct);
        QCOMPARE(dialog.RecordingBox()->currentIndex(), initial.MotionOnlyRecording ? 1 : 0);
        QCOMPARE(dialog.MaskEditor()->Excluded(), initial.Excluded);
        Enter(dialog, edited);
        QCOMPARE(dialog.Result(), initial);  // nothing is taken before the save
        QTest::mouseClick(dialog.SaveButton(), Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.Result(), edited);
    }

    void CancelKeepsTheInitialSettings_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("取消") << "click";
        QTest::newRow("Escape") << "escape";
        QTest::newRow("title bar") << "close";
    }

    void CancelKeepsTheInitialSettings() {
        QFETCH(QString, how);
        const MotionSettings initial = Settings(true, 7.5, true, {1, 2, 3});
        CMotionSettingsDlg dialog(nullptr, "cam", initial, {});
        dialog.open();
        Enter(dialog, Settings(false, 20, false, {100, 101}));
        if (how == "click") QTest::mouseClick(dialog.CancelButton(), Qt::LeftButton);
        if (how == "escape") QTest::keyClick(&dialog, Qt::Key_Escape);
        if (how == "close") dialog.close();
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.Result(), initial);
    }

    void EnterClicksTheFocusedButtonOnly_data() {
        QTest::addColumn<QString>("focused");
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("open");     // the dialog after the key
        QTest::addColumn<bool>("saved");    // Result() holds the edit
        QTest::addColumn<int>("excluded");  // cells excluded in the editor after the key
        QTest::newRow("Return on 保存") << "save" << int(Qt::Key_Return) << false << true << 2;
        QTest::newRow("keypad Enter on 保存") << "save" << int(Qt::Key_Enter) << false << true << 2;
        QTest::newRow("Return on 取消") << "cancel" << int(Qt::Key_Return) << false << false << 2;
        QTest::newRow("Return on 全部屏蔽")
            << "excludeAll" << int(Qt::Key_Return) << true << false << 192;
        QTest::newRow("Return on 全部清除") << "clear" << int(Qt::Key_Return) << true << false << 0;
        QTest::newRow("Return in the area field")
            << "minArea" << int(Qt::Key_Return) << true << false << 2;
    }

    void EnterClicksTheFocusedButtonOnly() {
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
        const QMap<QString, QWidget*> widgets{{"save", dialog.SaveButton()},
                                              {"cancel", dialog.CancelButton()},
                                              {"excludeAll", dialog.ExcludeAllButton()},
                                              {"clear", dialog.ClearMaskButton()},
                                              {"minArea", dialog.MinAreaBox()}};
        QWidget* target = widgets.value(focused);
        target->setFocus();
        QVERIFY(target->hasFocus());
        const Qt::KeyboardModifiers modifiers =
            key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier;
        QTest::keyClick(target, Qt::Key(key), modifiers);
        QCOMPARE(dialog.isVisible(), open);
        QCOMPARE(dialog.Result().Enabled, saved);
        QCOMPARE(int(dialog.MaskEditor()->Excluded().count()), excluded);
        if (!saved) QCOMPARE(dialog.Result(), initial);
    }
};

int RunMotionSettingsDlgTests(int argc, char** argv) {
    MotionSettingsDlgTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "MotionSettingsDlgTest.moc"
