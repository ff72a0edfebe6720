// The mask editor offscreen: the picture placed at its own aspect, cells painted and
// cleared by drags located through that placement, and the picture polled while shown.
#include <QtTest>
#include <algorithm>

#include "ui/MotionMaskEditor.h"

namespace {

using Cells = QList<QPoint>;
using Path = QList<QPointF>;  // in cells: the press, then the moves

QImage Solid(QSize size, QColor colour) {
    QImage picture(size, QImage::Format_RGB32);
    picture.fill(colour);
    return picture;
}

void Show(CMotionMaskEditor& editor) {
    editor.resize(480, 360);
    editor.show();
}

// A point given in cells ((2.5, 3.5) is the centre of column 2, row 3; negative or past
// the grid is beside the picture) in widget coordinates.
QPoint At(const CMotionMaskEditor& editor, QPointF cells) {
    const QRect picture = editor.PictureRect();
    return QPoint(picture.left() + qFloor(cells.x() * picture.width() / 16),
                  picture.top() + qFloor(cells.y() * picture.height() / 12));
}

CMotionMaskEditor::Mask Mask(const Cells& cells) {
    CMotionMaskEditor::Mask mask;
    for (const QPoint& cell : cells) mask.set(MotionSettings::Cell(cell.x(), cell.y()));
    return mask;
}

}  // namespace

class MotionMaskEditorTest : public QObject {
    Q_OBJECT

private slots:
    void DragSetsEveryCellItPassesThroughThePlacedPicture_data() {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QRect>("placed");
        QTest::addColumn<int>("button");
        QTest::addColumn<Cells>("before");
        QTest::addColumn<Path>("path");
        QTest::addColumn<Cells>("after");
        const QSize usual(640, 480), wide(1280, 720), portrait(480, 640);
        const QRect full(0, 0, 480, 360), barsAbove(0, 45, 480, 270), barsLeft(105, 0, 270, 360);
        const int left = Qt::LeftButton, right = Qt::RightButton;
        QTest::newRow("4:3 fills the widget, left press on an excluded cell still excludes")
            << usual << full << left << Cells{{2, 3}} << Path{{2.5, 3.5}, {4.5, 3.5}}
            << Cells{{2, 3}, {3, 3}, {4, 3}};
        QTest::newRow("16:9, quick moves cross every cell between")
            << wide << barsAbove << left << Cells{} << Path{{1.5, 2.5}, {4.5, 2.5}, {4.5, 5.5}}
            << Cells{{1, 2}, {2, 2}, {3, 2}, {4, 2}, {4, 3}, {4, 4}, {4, 5}};
        QTest::newRow("right press on a clear cell clears only what the drag passes")
            << usual << full << right << Cells{{5, 5}, {6, 5}, {9, 9}}
            << Path{{4.5, 5.5}, {6.5, 5.5}} << Cells{{9, 9}};
        QTest::newRow("16:9, drag from the bar above")
            << wide << barsAbove << left << Cells{} << Path{{3.5, -0.5}, {3.5, 1.5}}
            << Cells{{3, 0}, {3, 1}};
        QTest::newRow("portrait, drag from the bar on the left")
            << portrait << barsLeft << left << Cells{} << Path{{-0.5, 11.5}, {1.5, 11.5}}
            << Cells{{0, 11}, {1, 11}};
        QTest::newRow("16:9, press in a bar paints nothing")
            << wide << barsAbove << left << Cells{} << Path{{15.5, 12.5}} << Cells{};
        QTest::newRow("no picture yet: a 4:3 grid")
            << QSize() << full << right << Cells{{15, 11}} << Path{{15.5, 11.5}} << Cells{};
    }

    void DragSetsEveryCellItPassesThroughThePlacedPicture() {
        QFETCH(QSize, picture);
        QFETCH(QRect, placed);
        QFETCH(int, button);
        QFETCH(Cells, before);
        QFETCH(Path, path);
        QFETCH(Cells, after);
        CMotionMaskEditor editor([picture] { return Solid(picture, Qt::darkGreen); });
        Show(editor);
        QCOMPARE(editor.PictureRect(), placed);
        // The cells tile the picture exactly: a drag reaches every cell and nothing beside.
        QRect tiled;
        for (int cell = 0; cell < 16 * 12; ++cell) {
            const QRect area = editor.CellRect(cell % 16, cell / 16);
            QCOMPARE(editor.CellAt(area.topLeft()), cell);
            QCOMPARE(editor.CellAt(area.bottomRight()), cell);
            tiled |= area;
        }
        QCOMPARE(tiled, placed);

        editor.SetExcluded(Mask(before));
        QSignalSpy changed(&editor, &CMotionMaskEditor::ExcludedChanged);
        const auto pressed = Qt::MouseButton(button);
        QTest::mousePress(&editor, pressed, {}, At(editor, path.first()));
        for (const QPointF& point : path.mid(1)) QTest::mouseMove(&editor, At(editor, point));
        QTest::mouseRelease(&editor, pressed, {}, At(editor, path.last()));
        QCOMPARE(editor.Excluded(), Mask(after));
        QCOMPARE(changed.isEmpty(), Mask(after) == Mask(before));
    }

    void PaintsThePictureTheTintAndTheGrid() {
        const QColor green(0, 160, 0);
        CMotionMaskEditor editor([&] { return Solid({1280, 720}, green); });
        Show(editor);
        editor.SetExcluded(Mask({{2, 2}}));
        const QImage shown = editor.grab().toImage();
        QCOMPARE(shown.pixelColor(editor.CellRect(3, 2).center()), green);
        const QColor tinted = shown.pixelColor(editor.CellRect(2, 2).center());
        QVERIFY2(tinted.red() > 60 && tinted.green() < green.green() - 40, "tinted red");
        // Grid lines on the cells' edges; the bars beside a 16:9 picture dark.
        QVERIFY(shown.pixelColor(editor.CellRect(3, 2).topLeft()) != green);
        QVERIFY(qGray(shown.pixel(5, 5)) < 40);
    }

    void PollsThePictureWhileShownAndLettersItsAbsence() {
        int calls = 0;
        CMotionMaskEditor editor([&calls] {
            return ++calls < 3 ? QImage() : Solid({640, 480}, Qt::blue);
        });
        Show(editor);
        QCOMPARE(calls, 1);  // at once, not a period later
        // No picture yet: a dark area with "无画面" in light letters at the centre.
        const QImage shown = editor.grab().toImage();
        QVERIFY(qGray(shown.pixel(editor.CellRect(2, 2).center())) < 80);
        const QImage middle = shown.copy(editor.PictureRect().adjusted(160, 100, -160, -100))
                                  .convertToFormat(QImage::Format_Grayscale8);
        const uchar* gray = middle.constBits();
        QVERIFY(std::any_of(gray, gray + middle.sizeInBytes(), [](uchar g) { return g > 150; }));
        // The bound of the wait for a poll to show the picture.
        const QPoint inside = editor.CellRect(5, 5).center();
        QTRY_COMPARE_WITH_TIMEOUT(editor.grab().toImage().pixelColor(inside), QColor(Qt::blue),
                                  10000);
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
