// The mask editor as the operator meets it, offscreen: the picture placed at its own
// aspect, cells painted and cleared by drags located through that placement, and the
// picture polled while shown.
#include <QtTest>

#include "ui/MotionMaskEditor.h"

namespace {

using Mask = CMotionMaskEditor::Mask;
constexpr int kWidgetWidthPx = 480;
constexpr int kWidgetHeightPx = 360;
constexpr int kPictureWaitMs = 10000;  // bound of the wait for a poll to show a new picture

QImage Solid(QSize size, QColor colour) {
    QImage picture(size, QImage::Format_RGB32);
    picture.fill(colour);
    return picture;
}

// A point given in cells ((2.5, 3.5) is the centre of column 2, row 3; negative or
// past the grid is beside the picture) in widget coordinates.
QPoint At(const CMotionMaskEditor& editor, QPointF cells) {
    const QRect picture = editor.PictureRect();
    return QPoint(picture.left() + qFloor(cells.x() * picture.width() / 16),
                  picture.top() + qFloor(cells.y() * picture.height() / 12));
}

Mask Cells(const QList<QPoint>& cells) {
    Mask mask;
    for (const QPoint& cell : cells) mask.set(MotionSettings::Cell(cell.x(), cell.y()));
    return mask;
}

QList<QPoint> Rows(int first, int last) {
    QList<QPoint> cells;
    for (int row = first; row <= last; ++row) {
        for (int column = 0; column < 16; ++column) cells << QPoint(column, row);
    }
    return cells;
}

QList<QPoint> Without(QList<QPoint> cells, const QList<QPoint>& gone) {
    for (const QPoint& cell : gone) cells.removeAll(cell);
    return cells;
}

}  // namespace

class MotionMaskEditorTest : public QObject {
    Q_OBJECT

private slots:
    void PictureKeepsItsAspectCentred_data() {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QRect>("placed");
        QTest::newRow("4:3 fills the widget") << QSize(640, 480) << QRect(0, 0, 480, 360);
        QTest::newRow("16:9 leaves bars above and below")
            << QSize(1280, 720) << QRect(0, 45, 480, 270);
        QTest::newRow("portrait leaves bars left and right")
            << QSize(480, 640) << QRect(105, 0, 270, 360);
        QTest::newRow("no picture yet is 4:3") << QSize() << QRect(0, 0, 480, 360);
    }

    void PictureKeepsItsAspectCentred() {
        QFETCH(QSize, picture);
        QFETCH(QRect, placed);
        CMotionMaskEditor editor([picture] { return Solid(picture, Qt::gray); });
        editor.resize(kWidgetWidthPx, kWidgetHeightPx);
        editor.show();
        QCOMPARE(editor.PictureRect(), placed);
        // The cells tile the picture exactly.
        QRect tiled;
        for (int row = 0; row < 12; ++row) {
            for (int column = 0; column < 16; ++column) {
                const QRect cell = editor.CellRect(column, row);
                QCOMPARE(editor.CellAt(cell.topLeft()), int(MotionSettings::Cell(column, row)));
                QCOMPARE(editor.CellAt(cell.bottomRight()), int(MotionSettings::Cell(column, row)));
                tiled |= cell;
            }
        }
        QCOMPARE(tiled, placed);
        QCOMPARE(editor.CellAt(placed.topLeft() - QPoint(1, 1)), -1);
        QCOMPARE(editor.CellAt(placed.bottomRight() + QPoint(1, 1)), -1);
    }

    void DragSetsEveryCellItPassesToThePressedButtonsValue_data() {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<int>("button");
        QTest::addColumn<QList<QPoint>>("before");
        QTest::addColumn<QList<QPointF>>("path");  // in cells: the press, then the moves
        QTest::addColumn<QList<QPoint>>("after");
        const QSize wide(1280, 720);
        const QSize usual(640, 480);
        const QSize portrait(480, 640);
        const int left = Qt::LeftButton;
        const int right = Qt::RightButton;
        QTest::newRow("left drag along a row")
            << usual << left << QList<QPoint>{}
            << QList<QPointF>{{2.5, 3.5}, {5.5, 3.5}, {9.5, 3.5}}
            << QList<QPoint>{{2, 3}, {3, 3}, {4, 3}, {5, 3}, {6, 3}, {7, 3}, {8, 3}, {9, 3}};
        QTest::newRow("quick moves cross every cell between, letterboxed")
            << wide << left << QList<QPoint>{} << QList<QPointF>{{1.5, 2.5}, {4.5, 2.5}, {4.5, 6.5}}
            << QList<QPoint>{{1, 2}, {2, 2}, {3, 2}, {4, 2}, {4, 3}, {4, 4}, {4, 5}, {4, 6}};
        QTest::newRow("right drag clears only what it passes")
            << usual << right << Rows(0, 1) << QList<QPointF>{{0.5, 0.5}, {0.5, 1.5}, {3.5, 1.5}}
            << Without(Rows(0, 1), {{0, 0}, {0, 1}, {1, 1}, {2, 1}, {3, 1}});
        QTest::newRow("left press on an excluded cell still excludes")
            << usual << left << QList<QPoint>{{2, 3}} << QList<QPointF>{{2.5, 3.5}, {4.5, 3.5}}
            << QList<QPoint>{{2, 3}, {3, 3}, {4, 3}};
        QTest::newRow("right press on a clear cell still clears")
            << usual << right << QList<QPoint>{{5, 5}, {6, 5}, {9, 9}}
            << QList<QPointF>{{4.5, 5.5}, {6.5, 5.5}} << QList<QPoint>{{9, 9}};
        QTest::newRow("drag from the bar above the picture")
            << wide << left << QList<QPoint>{} << QList<QPointF>{{3.5, -0.5}, {3.5, 1.5}}
            << QList<QPoint>{{3, 0}, {3, 1}};
        QTest::newRow("drag from the bar left of a portrait picture")
            << portrait << left << QList<QPoint>{} << QList<QPointF>{{-0.5, 11.5}, {1.5, 11.5}}
            << QList<QPoint>{{0, 11}, {1, 11}};
        QTest::newRow("press in a bar paints nothing")
            << wide << left << QList<QPoint>{} << QList<QPointF>{{15.5, 12.5}} << QList<QPoint>{};
    }

    void DragSetsEveryCellItPassesToThePressedButtonsValue() {
        QFETCH(QSize, picture);
        QFETCH(int, button);
        QFETCH(QList<QPoint>, before);
        QFETCH(QList<QPointF>, path);
        QFETCH(QList<QPoint>, after);
        CMotionMaskEditor editor([picture] { return Solid(picture, Qt::darkGreen); });
        editor.resize(kWidgetWidthPx, kWidgetHeightPx);
        editor.show();
        editor.SetExcluded(Cells(before));
        QSignalSpy changed(&editor, &CMotionMaskEditor::ExcludedChanged);
        const auto pressed = Qt::MouseButton(button);
        QTest::mousePress(&editor, pressed, {}, At(editor, path.first()));
        for (const QPointF& point : path.mid(1)) QTest::mouseMove(&editor, At(editor, point));
        QTest::mouseRelease(&editor, pressed, {}, At(editor, path.last()));
        QCOMPARE(editor.Excluded(), Cells(after));
        QCOMPARE(changed.isEmpty(), Cells(after) == Cells(before));
    }

    void PaintsThePictureTheTintAndNoPicture_data() {
        QTest::addColumn<bool>("hasPicture");
        QTest::addColumn<bool>("excluded");
        QTest::newRow("picture") << true << false;
        QTest::newRow("excluded cell over the picture") << true << true;
        QTest::newRow("no picture") << false << false;
    }

    void PaintsThePictureTheTintAndNoPicture() {
        QFETCH(bool, hasPicture);
        QFETCH(bool, excluded);
        const QColor green(0, 160, 0);
        CMotionMaskEditor editor([&] { return hasPicture ? Solid({1280, 720}, green) : QImage(); });
        editor.resize(kWidgetWidthPx, kWidgetHeightPx);
        editor.show();
        if (excluded) editor.SetExcluded(Cells({{2, 2}}));
        const QImage shown = editor.grab().toImage();
        const QColor cell = shown.pixelColor(editor.CellRect(2, 2).center());
        if (!hasPicture) {
            QVERIFY2(qGray(cell.rgb()) < 80, "a dark area");
            // "无画面" in light letters at the centre.
            const QRect middle = editor.PictureRect().adjusted(160, 100, -160, -100);
            bool lettered = false;
            for (int y = middle.top(); y <= middle.bottom() && !lettered; ++y) {
                for (int x = middle.left(); x <= middle.right(); ++x) {
                    lettered = lettered || qGray(shown.pixel(x, y)) > 150;
                }
            }
            QVERIFY(lettered);
        } else if (excluded) {
            QVERIFY2(cell.red() > 60 && cell.green() < green.green() - 40, "tinted red");
        } else {
            QCOMPARE(cell, green);
        }
        // Grid lines on the cells' edges; the bars beside a 16:9 picture dark.
        QVERIFY(shown.pixelColor(editor.CellRect(2, 2).topLeft()) != cell);
        if (hasPicture) QVERIFY(qGray(shown.pixel(5, 5)) < 40);
    }

    void PollsThePictureOnlyWhileShown() {
        int calls = 0;
        CMotionMaskEditor editor([&calls] {
            ++calls;
            return Solid({640, 480}, calls < 3 ? Qt::red : Qt::blue);
        });
        editor.resize(kWidgetWidthPx, kWidgetHeightPx);
        QVERIFY(!editor.Polling());
        QCOMPARE(calls, 0);
        editor.show();
        QCOMPARE(calls, 1);  // at once, not a period later
        const QPoint inside = editor.CellRect(5, 5).center();
        QCOMPARE(editor.grab().toImage().pixelColor(inside), QColor(Qt::red));
        QTRY_COMPARE_WITH_TIMEOUT(editor.grab().toImage().pixelColor(inside), QColor(Qt::blue),
                                  kPictureWaitMs);
        editor.hide();
        QVERIFY(!editor.Polling());
        editor.show();
        QVERIFY(editor.Polling());
    }
};

int RunMotionMaskEditorTests(int argc, char** argv) {
    MotionMaskEditorTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "MotionMaskEditorTest.moc"
