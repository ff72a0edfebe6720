// The playback window as an operator meets it, offscreen, on recordings made by the
// test with an in-memory catalog: it opens on the newest recording, marks the days with
// recordings, seeks where the timeline is clicked, plays, takes a snapshot and exports
// the span selected, shows motion events and steps between them; the main window opens
// it from both of its menus. Also the timeline's arithmetic and the choice of the event
// to step to.
#include <QCalendarWidget>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTextCharFormat>
#include <QTreeWidget>
#include <QWheelEvent>
#include <QtTest>

#include "MemoryCatalog.h"
#include "SyntheticRecorder.h"
#include "UiTestSupport.h"
#include "common/Messages.h"
#include "playback/FileDigest.h"
#include "ui/MonitorDlg.h"
#include "ui/MotionEventSteps.h"
#include "ui/OperatorPrompts.h"
#include "ui/PlaybackDlg.h"
#include "ui/PlaybackVideo.h"
#include "ui/TimelineBar.h"
#include "ui/TimelineScale.h"

namespace {

constexpr int64_t kHourMs = 3600 * 1000;

int64_t At(const QDate& day, int hour, int minute) {
    return QDateTime(day, QTime(hour, minute)).toMSecsSinceEpoch();
}

// Answers at once: the save dialog with a fixed path, message boxes kept.
class CSaveAnswers : public IOperatorPrompts {
public:
    QString SavePath;
    QStringList Said;
    void ShowMessage(QWidget*, const QString&, const QString& text) override { Said << text; }
    QString ChooseFolder(QWidget*, const QString&, const QString&) override { return {}; }
    QString ChooseSaveFile(QWidget*, const QString&, const QString&, const QString&) override {
        return SavePath;
    }
};

// Two cameras: "前门" 2 minutes two days ago at 10:00 and one minute yesterday at 14:00,
// "后门" one minute yesterday.
struct CRecordings {
    CRecordings() {
        CSyntheticRecorder front(Catalog, Dir.Path(), "前门");
        Older = QDate::currentDate().addDays(-2);
        Newer = QDate::currentDate().addDays(-1);
        bool ok = front.Record(CSyntheticRecorder::Times(At(Older, 10, 0), 30, 3600));
        front.Finish();
        ok = ok && front.Record(CSyntheticRecorder::Times(At(Newer, 14, 0), 30, 1800));
        front.Finish();
        CSyntheticRecorder back(Catalog, Dir.Path(), "后门");
        ok = ok && back.Record(CSyntheticRecorder::Times(At(Newer, 9, 0), 30, 1800));
        back.Finish();
        Catalog.AddGap("前门", {At(Older, 10, 2), At(Newer, 14, 0), RecordingGapCause::NotRunning});
        Recorded = ok;
    }
    testsupport::TempDir Dir;
    CMemoryCatalog Catalog;
    QDate Older, Newer;
    bool Recorded = false;
};

// "前门"'s recording yesterday with two motion events in it and a quiet hole after it,
// its camera recording on motion only.
struct CMotionRecordings : CRecordings {
    CMotionRecordings() {
        Catalog.AddMotionEvent("前门", {At(Newer, 14, 0) + 10000, At(Newer, 14, 0) + 15000, 20});
        Catalog.AddMotionEvent("前门", {At(Newer, 14, 0) + 40000, At(Newer, 14, 0) + 45000, 60});
        Catalog.AddGap("前门", {At(Newer, 14, 1), At(Newer, 14, 3), RecordingGapCause::NoMotion});
    }
};

bool Marked(QCalendarWidget* calendar, const QDate& day) {
    return calendar->dateTextFormat(day).fontWeight() == QFont::Bold;
}

}  // namespace

class PlaybackDlgTest : public QObject {
    Q_OBJECT

private slots:
    void TimelineScaleMapsZoomsAndTicks_data() {
        QTest::addColumn<double>("zoomAt");  // pixel, of 1440
        QTest::addColumn<int>("zooms");      // halvings (negative: doublings)
        QTest::addColumn<qint64>("fromMin");
        QTest::addColumn<qint64>("toMin");
        QTest::addColumn<qint64>("tickMin");
        // A day of 1440 minutes across 1440 pixels.
        QTest::newRow("the whole day") << 0.0 << 0 << 0LL << 1440LL << 2 * 60LL;
        QTest::newRow("noon, twice") << 720.0 << 2 << 540LL << 900LL << 30LL;
        QTest::newRow("the morning edge stays") << 0.0 << 3 << 0LL << 180LL << 10LL;
        QTest::newRow("the evening edge stays") << 1440.0 << 3 << 1260LL << 1440LL << 10LL;
        QTest::newRow("no narrower than 2 minutes") << 720.0 << 20 << 719LL << 721LL << 1LL;
        QTest::newRow("no wider than the day") << 300.0 << -5 << 0LL << 1440LL << 2 * 60LL;
    }
    void TimelineScaleMapsZoomsAndTicks() {
        QFETCH(double, zoomAt);
        QFETCH(int, zooms);
        QFETCH(qint64, fromMin);
        QFETCH(qint64, toMin);
        QFETCH(qint64, tickMin);
        constexpr int64_t kMinute = 60000;
        const int64_t day = 1767222000000;
        CTimelineScale scale;
        scale.SetDay(day, day + 1440 * kMinute);
        scale.SetWidth(1440);
        for (int i = 0; i < std::abs(zooms); ++i) scale.Zoom(zoomAt, zooms > 0 ? 0.5 : 2.0);
        QCOMPARE((scale.ViewFromMs() - day) / kMinute, fromMin);
        QCOMPARE((scale.ViewToMs() - day) / kMinute, toMin);
        QCOMPARE(scale.TickMs() / kMinute, tickMin);
        // A time and its pixel map back and forth, and stay inside the day.
        const int64_t middle = (scale.ViewFromMs() + scale.ViewToMs()) / 2;
        QVERIFY(std::abs(scale.TimeAt(scale.XOf(middle)) - middle) <= 1000);
        QCOMPARE(scale.TimeAt(-50), std::max(day, scale.TimeAt(-50)));
        QCOMPARE(scale.TimeAt(1e9), day + 1440 * kMinute);
    }

    void TimelineScaleShowsARange_data() {
        QTest::addColumn<qint64>("fromMin");
        QTest::addColumn<qint64>("toMin");
        QTest::addColumn<qint64>("shownFromMin");
        QTest::addColumn<qint64>("shownToMin");
        QTest::newRow("inside the day") << 600LL << 660LL << 600LL << 660LL;
        QTest::newRow("widened to 2 minutes") << 600LL << 600LL << 599LL << 601LL;
        QTest::newRow("kept before midnight") << 1430LL << 1450LL << 1420LL << 1440LL;
        QTest::newRow("no more than the day") << -60LL << 1500LL << 0LL << 1440LL;
    }
    void TimelineScaleShowsARange() {
        QFETCH(qint64, fromMin);
        QFETCH(qint64, toMin);
        QFETCH(qint64, shownFromMin);
        QFETCH(qint64, shownToMin);
        constexpr int64_t kMinute = 60000;
        const int64_t day = 1767222000000;
        CTimelineScale scale;
        scale.SetDay(day, day + 1440 * kMinute);
        scale.SetWidth(1000);
        scale.ShowRange(day + fromMin * kMinute, day + toMin * kMinute);
        QCOMPARE((scale.ViewFromMs() - day) / kMinute, shownFromMin);
        QCOMPARE((scale.ViewToMs() - day) / kMinute, shownToMin);
    }

    // The bar opened on a day fits its recordings with a margin, and draws even a short
    // one where an operator sees it, also when the whole day is shown.
    void TimelineBarFitsAndDrawsRecordings_data() {
        QTest::addColumn<int>("fromMin");  // the one recording, minutes of the day
        QTest::addColumn<int>("toMin");
        QTest::addColumn<int>("viewFromMin");
        QTest::addColumn<int>("viewToMin");
        QTest::newRow("a minute") << 600 << 601 << 595 << 606;
        QTest::newRow("two hours") << 480 << 600 << 468 << 612;
        QTest::newRow("up to midnight") << 1380 << 1440 << 1368 << 1440;
    }
    void TimelineBarFitsAndDrawsRecordings() {
        QFETCH(int, fromMin);
        QFETCH(int, toMin);
        QFETCH(int, viewFromMin);
        QFETCH(int, viewToMin);
        constexpr int64_t kMinute = 60000;
        const int64_t day = At(QDate(2026, 1, 1), 0, 0);
        CTimelineBar bar;
        bar.resize(1440, 64);
        bar.show();  // a hidden widget gets its size only when shown
        bar.SetDay(day, day + 1440 * kMinute);
        bar.SetRecordings({{day + fromMin * kMinute, day + toMin * kMinute}}, {});
        bar.FitRecordings();
        QCOMPARE((bar.Scale().ViewFromMs() - day) / kMinute, int64_t{viewFromMin});
        QCOMPARE((bar.Scale().ViewToMs() - day) / kMinute, int64_t{viewToMin});
        bar.ShowWholeDay();
        QCOMPARE(bar.Scale().ViewToMs() - bar.Scale().ViewFromMs(), 1440 * kMinute);
        // Three pixels at least, from the recording's start on.
        const QImage image = bar.grab().toImage();
        const int x = static_cast<int>(bar.Scale().XOf(day + fromMin * kMinute));
        for (int dx = 0; dx < 3; ++dx) {
            const QColor colour = image.pixelColor(std::min(x + dx, 1439), 40);
            QVERIFY2(colour.green() > colour.red() + 50, qPrintable(colour.name()));
        }
    }

    // Clicks and drags seek; Shift and a drag selects; the wheel zooms around the pointer.
    void TimelineBarMouse_data() {
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("fromX");
        QTest::addColumn<int>("toX");  // the same as fromX: a click
        QTest::addColumn<int>("seeks");
        QTest::addColumn<int>("selectedMin");
        QTest::newRow("a click") << int(Qt::NoModifier) << 600 << 600 << 1 << 0;
        QTest::newRow("a drag") << int(Qt::NoModifier) << 600 << 720 << 2 << 0;
        QTest::newRow("Shift and a drag") << int(Qt::ShiftModifier) << 600 << 720 << 0 << 120;
    }
    void TimelineBarMouse() {
        QFETCH(int, modifiers);
        QFETCH(int, fromX);
        QFETCH(int, toX);
        QFETCH(int, seeks);
        QFETCH(int, selectedMin);
        const int64_t day = At(QDate(2026, 1, 1), 0, 0);
        CTimelineBar bar;
        bar.resize(1440, 64);
        bar.show();  // a hidden widget gets its size only when shown
        bar.SetDay(day, day + 1440 * 60000LL);
        QSignalSpy seeked(&bar, &CTimelineBar::SeekRequested);
        const auto keys = Qt::KeyboardModifiers(modifiers);
        QTest::mousePress(&bar, Qt::LeftButton, keys, QPoint(fromX, 40));
        if (toX != fromX) QTest::mouseMove(&bar, QPoint(toX, 40));
        QTest::mouseRelease(&bar, Qt::LeftButton, keys, QPoint(toX, 40));
        QCOMPARE(seeked.count(), seeks);
        if (seeks > 0) QCOMPARE(seeked.last().at(0).toLongLong(), bar.Scale().TimeAt(toX));
        QCOMPARE((bar.Selection().ToMs - bar.Selection().FromMs) / 60000, int64_t{selectedMin});
        QWheelEvent wheel(QPointF(360, 40), bar.mapToGlobal(QPointF(360, 40)), {}, {0, 120},
                          Qt::NoButton, {}, Qt::NoScrollPhase, false);
        const int64_t under = bar.Scale().TimeAt(360);
        QApplication::sendEvent(&bar, &wheel);
        QVERIFY(bar.Scale().ViewToMs() - bar.Scale().ViewFromMs() < 1440 * 60000LL);
        QVERIFY(std::abs(bar.Scale().TimeAt(360) - under) <= 60000);
    }

    // Which event "上一个事件" and "下一个事件" go to, from the picture shown; a picture
    // within a second of a start counts as that start.
    void MotionEventStepsChooseByPosition_data() {
        QTest::addColumn<bool>("withEvents");
        QTest::addColumn<double>("atS");        // seconds from the first event's start
        QTest::addColumn<qint64>("previousS");  // -1: none
        QTest::addColumn<qint64>("nextS");
        QTest::newRow("before them") << true << -60.0 << -1LL << 0LL;
        QTest::newRow("at the first start") << true << 0.0 << -1LL << 300LL;
        QTest::newRow("just after it") << true << 0.5 << -1LL << 300LL;
        QTest::newRow("inside the first") << true << 10.0 << 0LL << 300LL;
        QTest::newRow("between two") << true << 200.0 << 0LL << 300LL;
        QTest::newRow("a seek landing just before") << true << 299.5 << 0LL << 600LL;
        QTest::newRow("inside the one under way") << true << 650.0 << 600LL << -1LL;
        QTest::newRow("after them") << true << 7200.0 << 600LL << -1LL;
        QTest::newRow("no events") << false << 0.0 << -1LL << -1LL;
    }
    void MotionEventStepsChooseByPosition() {
        QFETCH(bool, withEvents);
        QFETCH(double, atS);
        QFETCH(qint64, previousS);
        QFETCH(qint64, nextS);
        const int64_t base = At(QDate(2026, 1, 1), 10, 0);
        std::vector<CatalogMotionEvent> events;
        if (withEvents) {
            events = {{base, base + 20000, 10},
                      {base + 300000, base + 300000, 2},
                      {base + 600000, base + 600000, 30, true}};
        }
        const auto seconds = [base](std::optional<int64_t> ms) {
            return ms ? (*ms - base) / 1000 : int64_t{-1};
        };
        const int64_t at = base + std::llround(atS * 1000);
        QCOMPARE(seconds(MotionEventSteps::Previous(events, at)), previousS);
        QCOMPARE(seconds(MotionEventSteps::Next(events, at)), nextS);
    }

    // The day's events are marks along the top of the recording, the quiet hole of a
    // camera recording on motion only is neutral, and the event buttons step between
    // the events.
    void ShowsMotionEventsAndStepsBetweenThem() {
        CMotionRecordings recordings;
        QVERIFY(recordings.Recorded);
        CPlaybackDlg window(recordings.Catalog);
        window.show();
        const int64_t start = At(recordings.Newer, 14, 0);
        QTRY_VERIFY2_WITH_TIMEOUT(window.ShownMs() >= start && window.ShownMs() < start + 5000,
                                  "the first picture of the newest recording", kUiWaitMs);
        CTimelineBar* timeline = window.Timeline();
        QCOMPARE(timeline->MotionEvents().size(), size_t{2});
        QVERIFY(!window.PreviousEventButton()->isEnabled());
        QVERIFY(window.NextEventButton()->isEnabled());
        QCOMPARE(window.NextEventButton()->text(), QString::fromUtf8("下一个事件"));
        QCOMPARE(window.PreviousEventButton()->text(), QString::fromUtf8("上一个事件"));

        const QImage image = timeline->grab().toImage();
        const auto pixel = [&](int64_t ms, int y) {
            return image.pixelColor(static_cast<int>(timeline->Scale().XOf(ms)) + 1, y);
        };
        const int top = 22;  // inside the motion strip, below the ruler
        const int bottom = timeline->height() - 5;
        for (const int64_t ms : {start + 10000, start + 40000}) {
            const QColor mark = pixel(ms, top);
            QVERIFY2(mark == CTimelineBar::MotionColour(), qPrintable(mark.name()));
            const QColor below = pixel(ms, bottom);  // the recording goes on under it
            QVERIFY2(below.green() > below.red() + 50, qPrintable(below.name()));
        }
        const QColor plain = pixel(start + 25000, top);
        QVERIFY2(plain.green() > plain.red() + 50, qPrintable(plain.name()));
        const QColor quiet = pixel(At(recordings.Newer, 14, 2), bottom);
        QCOMPARE(quiet, CTimelineBar::CauseColour(RecordingGapCause::NoMotion));
        QVERIFY2(std::abs(quiet.red() - quiet.blue()) < 20, qPrintable(quiet.name()));
        QCOMPARE(CTimelineBar::CauseText(RecordingGapCause::NoMotion), QString::fromUtf8("无移动"));
        if (const QByteArray folder = qgetenv("ORVEX_SCREENSHOT_DIR"); !folder.isEmpty()) {
            window.grab().save(QString::fromLocal8Bit(folder) + "/timeline-events.png");
        }

        // On to each event's start, back to the first; none beyond the last.
        QTest::mouseClick(window.NextEventButton(), Qt::LeftButton);
        QTRY_VERIFY2_WITH_TIMEOUT(
            window.ShownMs() >= start + 10000 && window.ShownMs() <= start + 10040,
            "the first event's start", kUiWaitMs);
        QVERIFY(!window.PreviousEventButton()->isEnabled());
        QTest::mouseClick(window.NextEventButton(), Qt::LeftButton);
        QTRY_VERIFY2_WITH_TIMEOUT(
            window.ShownMs() >= start + 40000 && window.ShownMs() <= start + 40040,
            "the second event's start", kUiWaitMs);
        QVERIFY(!window.NextEventButton()->isEnabled());
        QVERIFY(window.PreviousEventButton()->isEnabled());
        QTest::mouseClick(window.PreviousEventButton(), Qt::LeftButton);
        QTRY_VERIFY2_WITH_TIMEOUT(
            window.ShownMs() >= start + 10000 && window.ShownMs() <= start + 10040,
            "back at the first event's start", kUiWaitMs);
    }

    void OpensSeeksPlaysAndExports() {
        CRecordings recordings;
        QVERIFY(recordings.Recorded);
        CSaveAnswers answers;
        CPlaybackDlg window(recordings.Catalog);
        window.SetPrompts(&answers);
        window.SetSnapshotFolder(QString::fromStdString(recordings.Dir.Path()));
        window.show();
        QCOMPARE(window.windowTitle(), QString::fromUtf8("录像回放"));
        QCOMPARE(window.CameraList()->count(), 2);

        // It opens on the newest recording of the first camera, its last minute.
        QCOMPARE(window.Camera(), QString::fromUtf8("前门"));
        QCOMPARE(window.Day(), recordings.Newer);
        QTRY_VERIFY2_WITH_TIMEOUT(window.ShownMs() >= At(recordings.Newer, 14, 0),
                                  "the first picture of the newest recording", kUiWaitMs);
        QTRY_VERIFY2_WITH_TIMEOUT(window.Video()->FramesPainted() > 0, "a picture painted",
                                  kUiWaitMs);
        QCOMPARE(window.TimeLabel()->text(),
                 QDateTime::fromMSecsSinceEpoch(window.ShownMs()).toString("yyyy-MM-dd HH:mm:ss"));
        QVERIFY(Marked(window.Calendar(), recordings.Older));
        QVERIFY(Marked(window.Calendar(), recordings.Newer));
        QVERIFY(!Marked(window.Calendar(), QDate::currentDate()) ||
                QDate::currentDate().month() != recordings.Newer.month());

        // The other day, from the calendar: its first recording.
        window.Calendar()->setSelectedDate(recordings.Older);
        QTRY_VERIFY2_WITH_TIMEOUT(window.ShownMs() >= At(recordings.Older, 10, 0) &&
                                      window.ShownMs() < At(recordings.Older, 10, 1),
                                  "the first minute of the other day", kUiWaitMs);

        // The day's timeline shows its recordings, fitted; zoomed in to minutes, a click on the
        // timeline shows the picture of that time.
        CTimelineBar* timeline = window.Timeline();
        QVERIFY(timeline->Scale().ViewFromMs() < At(recordings.Older, 10, 0));
        QVERIFY(timeline->Scale().ViewToMs() > At(recordings.Older, 10, 2));
        QVERIFY(timeline->Scale().ViewToMs() - timeline->Scale().ViewFromMs() < kHourMs);
        for (int i = 0; i < 9; ++i) timeline->ZoomIn();
        QVERIFY(timeline->Scale().ViewToMs() - timeline->Scale().ViewFromMs() <= 5 * 60 * 1000);
        const QPoint click(timeline->width() / 2, timeline->height() - 5);
        const int64_t target = timeline->Scale().TimeAt(click.x());
        QTest::mouseClick(timeline, Qt::LeftButton, {}, click);
        QTRY_VERIFY2_WITH_TIMEOUT(window.ShownMs() >= target && window.ShownMs() <= target + 40,
                                  "the picture of the time clicked", kUiWaitMs);

        // One picture forward, 10 s back, then play at 8x.
        const int64_t seeked = window.ShownMs();
        QTest::mouseClick(window.StepButton(), Qt::LeftButton);
        QTRY_VERIFY2_WITH_TIMEOUT(window.ShownMs() > seeked, "the next picture", kUiWaitMs);
        QVERIFY(window.ShownMs() <= seeked + 40);
        QTest::mouseClick(window.BackButton(), Qt::LeftButton);
        QTRY_VERIFY2_WITH_TIMEOUT(window.ShownMs() < seeked - 9000, "10 s back", kUiWaitMs);
        QTest::mouseClick(window.RateButton(8), Qt::LeftButton);
        QTest::mouseClick(window.PlayButton(), Qt::LeftButton);
        QCOMPARE(window.PlayButton()->text(), QString::fromUtf8("暂停"));
        QTRY_VERIFY2_WITH_TIMEOUT(window.ShownMs() > seeked + 5000, "5 s played at 8x", kUiWaitMs);
        QCOMPARE(window.Player().Rate(), 8);
        QTest::mouseClick(window.PlayButton(), Qt::LeftButton);
        QVERIFY(!window.Player().Playing());

        QTest::mouseClick(window.SnapshotButton(), Qt::LeftButton);
        QVERIFY(window.StatusLabel()->text().startsWith(QString::fromUtf8("已抓图 ")));
        QVERIFY(QFileInfo(window.StatusLabel()->text().mid(4)).size() > 1000);

        // Without a span selected, the operator is told how to select one.
        QTest::mouseClick(window.ExportButton(), Qt::LeftButton);
        QCOMPARE(answers.Said.size(), 1);
        // The start and end buttons mark a span at the pictures shown.
        QTest::mouseClick(window.MarkFromButton(), Qt::LeftButton);
        const int64_t markedFrom = timeline->Selection().FromMs;
        QVERIFY(markedFrom > 0 && !timeline->HasSelection());
        QTest::mouseClick(window.OnButton(), Qt::LeftButton);
        QTRY_VERIFY2_WITH_TIMEOUT(window.ShownMs() > markedFrom + 9000, "10 s on", kUiWaitMs);
        QTest::mouseClick(window.MarkToButton(), Qt::LeftButton);
        QCOMPARE(timeline->Selection().FromMs, markedFrom);
        QVERIFY(timeline->Selection().ToMs - markedFrom > 9000);
        QVERIFY(window.StatusLabel()->text().startsWith(QString::fromUtf8("导出时段 ")));
        // Shift and a drag select 30 s, which go to the file the operator chose.
        const int64_t from = At(recordings.Older, 10, 0) + 20000;
        const QPoint start(static_cast<int>(timeline->Scale().XOf(from)), click.y());
        const QPoint end(static_cast<int>(timeline->Scale().XOf(from + 30000)), click.y());
        QTest::mousePress(timeline, Qt::LeftButton, Qt::ShiftModifier, start);
        QTest::mouseMove(timeline, end);
        QTest::mouseRelease(timeline, Qt::LeftButton, Qt::ShiftModifier, end);
        QVERIFY(timeline->HasSelection());
        QVERIFY(std::abs(timeline->Selection().ToMs - timeline->Selection().FromMs - 30000) < 2000);
        answers.SavePath = QString::fromStdString(recordings.Dir / "front door.mp4");
        QSignalSpy finished(&window, &CPlaybackDlg::ExportFinished);
        QTest::mouseClick(window.ExportButton(), Qt::LeftButton);
        QTRY_VERIFY2_WITH_TIMEOUT(finished.count() == 1, "the export's end", kUiWaitMs);
        QCOMPARE(finished.at(0).at(0).toBool(), true);
        QVERIFY(window.StatusLabel()->text().startsWith(QString::fromUtf8("已导出 ")));
        const std::string digest = FileDigest::Sha256(answers.SavePath.toStdString());
        QVERIFY(!digest.empty());
        QCOMPARE(testsupport::ReadFile(answers.SavePath.toStdString() + ".sha256"),
                 digest + "  front door.mp4\n");
        QCOMPARE(answers.Said.size(), 1);

        // The other camera, from the list.
        window.CameraList()->setCurrentRow(1);
        QCOMPARE(window.Camera(), QString::fromUtf8("后门"));
        QTRY_VERIFY2_WITH_TIMEOUT(window.ShownMs() >= At(recordings.Newer, 9, 0) &&
                                      window.ShownMs() < At(recordings.Newer, 9, 2),
                                  "the other camera's recording", kUiWaitMs);
    }

    void TheMainWindowOpensItFromBothMenus() {
        CRecordings recordings;
        QVERIFY(recordings.Recorded);
        CUiHome home(0, 0, false);
        {
            // Without a catalog the item is there, and off.
            CMonitorDlg window(home.App());
            std::unique_ptr<QMenu> menu(window.NewWindowMenu());
            QCOMPARE(menu->actions().front()->text(), QString::fromUtf8("录像回放"));
            QVERIFY(!menu->actions().front()->isEnabled());
        }
        CMonitorDlg window(home.App(), nullptr, &recordings.Catalog);
        std::unique_ptr<QMenu> menu(window.NewWindowMenu());
        QVERIFY(menu->actions().front()->isEnabled());
        menu->actions().front()->trigger();
        QVERIFY(window.Playback() != nullptr);
        QTRY_VERIFY2_WITH_TIMEOUT(window.Playback()->isVisible(), "the window shown", kUiWaitMs);
        QCOMPARE(window.Playback()->Camera(), QString::fromUtf8("前门"));

        // A camera's own menu in the tree opens it with that camera chosen.
        DeviceInfo* table = NewCameraTable();
        for (int i = 0; i < 2; ++i) {
            table[i] = SimulatedRecord(i);
            SetDeviceName(table[i].CustomDeviceName, i == 0 ? "前门" : "后门");
        }
        QVERIFY(window.WindowHandle()->Post(WM_CAMERA_LIST, reinterpret_cast<WPARAM>(table), 2));
        // The root comes with the posted list: until then there is none to ask.
        const auto listed = [&window] {
            const QTreeWidgetItem* root = window.Tree()->topLevelItem(0);
            return root != nullptr && root->childCount() == 2;
        };
        QTRY_VERIFY2_WITH_TIMEOUT(listed(), "two cameras listed", kUiWaitMs);
        QVERIFY(window.NewTreeMenu(window.Tree()->topLevelItem(0)) == nullptr);
        std::unique_ptr<QMenu> treeMenu(
            window.NewTreeMenu(window.Tree()->topLevelItem(0)->child(1)));
        treeMenu->actions().front()->trigger();
        QCOMPARE(window.Playback()->Camera(), QString::fromUtf8("后门"));
        window.Playback()->close();
        QTRY_VERIFY2_WITH_TIMEOUT(window.Playback() == nullptr, "the closed window gone",
                                  kUiWaitMs);
    }
};

int RunPlaybackDlgTests(int argc, char** argv) {
    PlaybackDlgTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "PlaybackDlgTest.moc"
