// The widgets as an operator meets them: driven by QTest's events, checked on the
// pixels they paint.
#include <QDesktopServices>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QScreen>
#include <QTest>

#include "widgets/ColorLabel.h"
#include "widgets/StyledButton.h"

namespace {

const QColor kFace(0xC0, 0xC0, 0xC0);
// 20 + 237 + 3 + 3 bytes: the 259th byte falls inside 录, so 257 bytes are kept.
const QByteArray kLongLink = "https://example.com/" + QByteArray(237, 'b') + "录像";

QImage Grab(QWidget& widget) {
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// The smallest rectangle holding every pixel of the area unlike background; the
// grey level of the darkest of them goes to darkest.
QRect InkRect(const QImage& image, QRect area, QColor background, int* darkest = nullptr) {
    QRect ink;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (image.pixel(x, y) == background.rgb()) continue;
            ink |= QRect(x, y, 1, 1);
            if (darkest != nullptr) *darkest = qMin(*darkest, qGray(image.pixel(x, y)));
        }
    }
    return ink;
}

// An active dialog holding the button under test and a line edit.
struct Scene {
    QDialog Dialog;
    QWidget OtherWindow;
    CStyledButton* Button;
    QLineEdit* Other;

    explicit Scene(const QString& caption = {}, QSize size = {120, 64}) {
        Dialog.setPalette(QPalette(kFace));  // light and dark derived from the face
        Dialog.resize(size.width() + 150, size.height() + 30);
        Button = new CStyledButton(caption, &Dialog);
        Button->setGeometry(QRect(QPoint(10, 10), size));
        Other = new QLineEdit(&Dialog);
        Other->move(size.width() + 20, 10);
        Dialog.show();
        Dialog.activateWindow();
        QCursor::setPos(Dialog.mapToGlobal(QPoint(2, 2)));
    }
    // Space-separated operator actions; no mouse button stays held afterwards.
    void Run(const QString& steps) {
        const QPoint centre = Button->rect().center();
        bool held = false;
        for (const QString& step : steps.split(' ', Qt::SkipEmptyParts)) {
            if (step == "over") QTest::mouseMove(Button, centre);
            if (step == "out") QTest::mouseMove(Button, QPoint(-6, -6));
            if (step == "press") QTest::mousePress(Button, Qt::LeftButton, {}, centre);
            if (step == "release") QTest::mouseRelease(Button, Qt::LeftButton, {}, centre);
            if (step == "click") QTest::mouseClick(Button, Qt::LeftButton, {}, centre);
            if (step == "dclick") QTest::mouseDClick(Button, Qt::LeftButton, {}, centre);
            if (step == "pressOther") QTest::mousePress(Other, Qt::LeftButton);
            if (step == "releaseOther") QTest::mouseRelease(Other, Qt::LeftButton);
            if (step == "focusOther") Other->setFocus();
            if (step == "disable") Button->setEnabled(false);
            if (step == "enable") Button->setEnabled(true);
            if (step == "newPalette") Button->setPalette(QPalette(Qt::green));
            if (step == "link") Button->SetLinkAddress(kLongLink.constData());
            if (step == "deactivate") {
                OtherWindow.show();
                OtherWindow.activateWindow();
                QVERIFY(QTest::qWaitForWindowActive(&OtherWindow));
            }
            if (step.startsWith("press") || step == "dclick") held = true;
            if (step.startsWith("release") || step == "click") held = false;
        }
        if (held) QTest::mouseRelease(&Dialog, Qt::LeftButton, {}, QPoint(1, 1));
    }
};

// The middles of the top, left, bottom and right edges in the button's palette of
// now: L light, D dark, F the face colour, ? anything else.
QString Edges(QWidget& button) {
    const QImage image = Grab(button);
    const int w = image.width();
    const int h = image.height();
    const QRgb light = button.palette().color(QPalette::Active, QPalette::Light).rgb();
    const QRgb dark = button.palette().color(QPalette::Active, QPalette::Dark).rgb();
    QString edges;
    for (QRgb c : {image.pixel(w / 2, 0), image.pixel(0, h / 2), image.pixel(w / 2, h - 1),
                   image.pixel(w - 1, h / 2)}) {
        edges += c == light ? 'L' : c == dark ? 'D' : c == kFace.rgb() ? 'F' : '?';
    }
    return edges;
}

}  // namespace

class WidgetsTest : public QObject {
    Q_OBJECT

public slots:
    void OpenUrl(const QUrl& url) { Seen << "open " + url.toString(); }

private:
    QStringList Seen;

private slots:
    // The edge: raised (light top and left) only while hovered, sunken while pressed,
    // nothing else on a face of the colour read at construction. And what the owner
    // receives: every click, a link opened before it.
    void ButtonSequences_data() {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("edges");
        QTest::addColumn<QString>("seen");
        auto row = [](const char* name, const char* steps, const char* edges, QString seen = {}) {
            QTest::newRow(name) << QString(steps) << QString(edges) << seen;
        };
        row("untouched", "", "FFFF");
        row("mouse over", "over", "LLDD");
        row("mouse moved off", "over out", "FFFF");
        row("pressed", "over press", "DDLL");
        row("released", "over press release", "LLDD", "clicked");
        row("left while held", "over press out", "FFFF");
        row("back while held: pressed", "over press out over", "DDLL");
        row("then released: not lit", "over press out over release", "FFFF", "clicked");
        row("drag from elsewhere", "pressOther over", "FFFF");
        row("moved again after it", "pressOther over releaseOther over", "LLDD");
        row("focus taken away", "over focusOther", "FFFF");
        row("window deactivated", "focusOther over deactivate", "FFFF");
        row("focused, not hovered", "click out", "FFFF", "clicked");
        row("disabled and enabled", "over disable enable", "FFFF");
        row("palette changed later", "newPalette over", "LLDD");
        row("double click", "click dclick release", "FFFF", "clicked clicked");
        row("link", "link click", "FFFF", "open " + kLongLink.left(257) + " clicked");
    }
    void ButtonSequences() {
        QFETCH(QString, steps);
        QFETCH(QString, edges);
        QFETCH(QString, seen);
        Scene scene("");
        connect(scene.Button, &QAbstractButton::clicked, this, [this] { Seen << "clicked"; });
        QDesktopServices::setUrlHandler("https", this, "OpenUrl");
        Seen.clear();
        QVERIFY(QTest::qWaitForWindowActive(&scene.Dialog));
        scene.Run(steps);
        QDesktopServices::unsetUrlHandler("https");
        QCOMPARE(Edges(*scene.Button), edges);
        const QImage face = Grab(*scene.Button);
        QCOMPARE(InkRect(face, face.rect().adjusted(1, 1, -1, -1), kFace), QRect());
        QCOMPARE(Seen.join(' '), seen);
    }

    // The icon at its own size 3 px from the left beside a caption, else centred; one
    // pixel further right and down when pressed; greyed when disabled.
    void IconPlacement_data() {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QPoint>("icon");
        auto row = [](const char* name, const char* caption, QSize size, const char* steps,
                      QPoint icon) {
            QTest::newRow(name) << QString(caption) << size << QString(steps) << icon;
        };
        row("caption", "系统设置", {150, 64}, "", {3, 8});
        row("no caption", "", {121, 63}, "", {36, 7});
        row("pressed", "系统设置", {150, 64}, "press", {4, 9});
        row("pressed, no caption", "", {121, 63}, "press", {37, 8});
        row("disabled", "系统设置", {150, 64}, "disable", {3, 8});
    }
    void IconPlacement() {
        QFETCH(QString, caption);
        QFETCH(QSize, size);
        QFETCH(QString, steps);
        QFETCH(QPoint, icon);
        Scene scene(caption, size);
        QCOMPARE(scene.Button->SetIconFromResource(131), 0);
        QVERIFY(QTest::qWaitForWindowActive(&scene.Dialog));
        scene.Run(steps);
        QImage expected(48, 48, QImage::Format_RGB32);
        expected.fill(kFace);
        QPainter painter(&expected);
        const auto mode = steps == "disable" ? QIcon::Disabled : QIcon::Normal;
        QIcon(":/icons/131.png").paint(&painter, expected.rect(), {}, mode);
        QCOMPARE(Grab(*scene.Button).copy(QRect(icon, expected.size())), expected);
    }

    // A new caption shows at the next paint, centred right of the icon, exactly as on
    // a button made with it.
    void CaptionChangeShowsAtTheNextPaint() {
        Scene changed("隐藏信息栏", {150, 64});
        Scene made("显示", {150, 64});
        for (Scene* scene : {&changed, &made}) scene->Button->SetIconFromResource(140);
        changed.Button->setText("显示");
        const QImage image = Grab(*made.Button);
        QCOMPARE(Grab(*changed.Button), image);
        const QRect ink = InkRect(image, QRect(51, 1, 97, 62), kFace);
        QVERIFY(qAbs(ink.center().x() - 99) <= 2 && qAbs(ink.center().y() - 31) <= 3);
    }

    // Disabling the button, focused or not, gives the focus to the next tab stop of
    // its parent (wrapping around), else to the parent.
    void DisablingHandsTheFocusOn_data() {
        QTest::addColumn<QStringList>("children");  // of the parent, in tab order
        QTest::addColumn<int>("focused");
        QTest::addColumn<int>("expected");  // -1: the parent
        QTest::newRow("button not focused") << QStringList{"edit", "button", "edit"} << 0 << 2;
        QTest::newRow("wraps in the parent") << QStringList{"edit", "button"} << 1 << 0;
        QTest::newRow("tab stops only") << QStringList{"edit", "button", "off", "label"} << 1 << 0;
        QTest::newRow("the parent") << QStringList{"button", "label"} << 0 << -1;
    }
    void DisablingHandsTheFocusOn() {
        QFETCH(QStringList, children);
        QFETCH(int, focused);
        QFETCH(int, expected);
        QWidget window;
        auto* parent = new QWidget(&window);
        QList<QWidget*> widgets;
        for (const QString& kind : children) {
            widgets << (kind == "button"  ? new CStyledButton("获取设备", parent)
                        : kind == "label" ? static_cast<QWidget*>(new QLabel("x", parent))
                                          : new QLineEdit(parent));
            widgets.last()->setEnabled(kind != "off");
        }
        new QLineEdit(&window);  // the next tab stop, but outside the parent
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        widgets[focused]->setFocus();
        widgets[children.indexOf("button")]->setEnabled(false);
        QCOMPARE(QApplication::focusWidget(), expected < 0 ? parent : widgets[expected]);
    }

    // After each change the window shows the new text alone: black, in the parent's
    // font, lines centred from the top, on the parent's own background.
    void LabelShowsOnlyTheCurrentText_data() {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        auto row = [](const char* name, const char* before, const char* after) {
            QTest::newRow(name) << QString(before) << QString(after);
        };
        row("shorter", "运行时间: 0天 23:59:59", "1");
        row("empty", "88:88:88", "");
        row("two lines", "88:88:88", "12:00\n运行时间");
        row("wider, clipped", "1", "运行时间: 123天 00:00:01 and more");
    }
    void LabelShowsOnlyTheCurrentText() {
        QFETCH(QString, before);
        QFETCH(QString, after);
        const QColor parentColor(90, 160, 90);
        QWidget window;
        window.setAutoFillBackground(true);
        window.setPalette(parentColor);
        window.setFont(QFont(window.font().family(), 11));
        window.resize(260, 80);
        auto* label = new CColorLabel(before, &window);
        label->setFont(QFont(window.font().family(), 22));  // unused: the parent's is
        label->setPalette(Qt::red);                         // unused: no background
        label->setGeometry(20, 10, 200, 50);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        // Read from the window's backing store, where an old text would linger.
        auto mismatch = [&](const QString& text) -> QString {
            const QImage shown =
                window.screen()->grabWindow(window.winId()).toImage().copy(label->geometry());
            int darkest = text.isEmpty() ? 0 : 255;
            const QRect ink = InkRect(shown, shown.rect(), parentColor, &darkest);
            const QRect lines =
                QFontMetrics(window.font()).boundingRect(label->rect(), Qt::AlignHCenter, text);
            if (!ink.isNull() && !lines.adjusted(-2, -2, 2, 2).contains(ink)) return "stray ink";
            return darkest < 40 ? QString() : "no black text";
        };
        QTRY_COMPARE_WITH_TIMEOUT(mismatch(before), QString(), 5000);
        label->setText(after);
        QTRY_COMPARE_WITH_TIMEOUT(mismatch(after), QString(), 5000);
    }
};

QTEST_MAIN(WidgetsTest)
#include "WidgetsTest.moc"
