// The main window's arithmetic for the client sizes an operator meets.
#include <QtTest>

#include "UiTestSupport.h"
#include "ui/MonitorLayout.h"

Q_DECLARE_METATYPE(CellRect)

class MonitorLayoutTest : public QObject {
    Q_OBJECT

private slots:
    void PlacesEveryChild_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("infoBar");
        QTest::addColumn<CellRect>("cell0");
        QTest::addColumn<CellRect>("cell3");
        QTest::addColumn<int>("treeHeight");
        QTest::addColumn<bool>("timeShown");
        QTest::addColumn<CellRect>("logList");
        // A maximized 1920x1080 screen, its client 1920x1050, panel shown and hidden.
        QTest::newRow("maximized")
            << 1920 << 1050 << 200 << CellRect{330, 70, 1125, 455} << CellRect{1125, 455, 1920, 840}
            << 720 << true << CellRect{330, 852, 1906, 1032};
        QTest::newRow("panel hidden")
            << 1920 << 1050 << 20 << CellRect{330, 70, 1125, 545} << CellRect{1125, 545, 1920, 1020}
            << 720 << true << CellRect{330, 1032, 1906, 1032};
        QTest::newRow("739 hides the time")
            << 739 << 600 << 200 << CellRect{330, 70, 534, 230} << CellRect{534, 230, 739, 390}
            << 270 << false << CellRect{330, 402, 725, 582};
        QTest::newRow("740 shows it")
            << 740 << 600 << 200 << CellRect{330, 70, 535, 230} << CellRect{535, 230, 740, 390}
            << 270 << true << CellRect{330, 402, 726, 582};
        QTest::newRow("529 high: tree at its minimum")
            << 800 << 529 << 200 << CellRect{330, 70, 565, 194} << CellRect{565, 194, 800, 319}
            << 200 << true << CellRect{330, 331, 786, 511};
        QTest::newRow("531 high") << 800 << 531 << 200 << CellRect{330, 70, 565, 195}
                                  << CellRect{565, 195, 800, 321} << 201 << true
                                  << CellRect{330, 333, 786, 513};
    }

    void PlacesEveryChild() {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, infoBar);
        const auto cells = LayoutCells(width, height, infoBar);
        QTEST(cells[0], "cell0");
        QTEST(cells[3], "cell3");
        // The four cells tile the grid without gaps.
        QCOMPARE(cells[1].Left, cells[0].Right);
        QCOMPARE(cells[2].Top, cells[0].Bottom);
        const MonitorPlacement p = Relayout(width, height, infoBar);
        QTEST(p.TreeHeight, "treeHeight");
        QTEST(p.TimeLabelShown, "timeShown");
        QTEST(p.LogList, "logList");
        QCOMPARE(p.Tree, (CellRect{10, 70, 330, 70 + p.TreeHeight}));
        QCOMPARE(p.Buttons[2], (CellRect{375, 5, 525, 60}));
        QCOMPARE(p.TimeLabel, (CellRect{width - 250, 25, width - 40, 50}));
        // The enlarged cell: W - 330 wide after its double-click, W - 344 after Relayout.
        QCOMPARE(EnlargedByDoubleClick(width, p.VideoHeight).Width(), width - 330);
        QCOMPARE(p.Enlarged, (CellRect{330, 70, width - 14, 70 + p.VideoHeight}));
    }

    void CountsTheRunningTime_data() {
        QTest::addColumn<qlonglong>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("start") << 0LL << QString::fromUtf8("运行时间 0 天0 小时 0 分钟 0 秒");
        QTest::newRow("each unit")
            << 90061LL << QString::fromUtf8("运行时间 1 天1 小时 1 分钟 1 秒");
        QTest::newRow("a year") << 31622399LL
                                << QString::fromUtf8("运行时间 365 天23 小时 59 分钟 59 秒");
    }

    void CountsTheRunningTime() {
        QFETCH(qlonglong, seconds);
        QTEST(QString::fromStdString(RunningTimeText(seconds)), "text");
    }

    void CutsALongCameraCapTextAtACharacter() {
        // 12 bytes of prefix and 2-byte characters: byte 519 is the first half of one.
        std::string text;
        while (text.size() < 600) text += "ä";
        const std::string shown = CameraCapLogText(text.c_str());
        QCOMPARE(shown.size(), size_t(12 + 253 * 2));
        QCOMPARE(shown.substr(0, 14), std::string("[CameraCap] ä"));
        QCOMPARE(CameraCapLogText(std::string(600, 'x').c_str()).size(), size_t(519));
    }
};

int RunMonitorLayoutTests(int argc, char** argv) {
    MonitorLayoutTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "MonitorLayoutTest.moc"
