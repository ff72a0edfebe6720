// The playback window's 24-hour timeline of the chosen day: the spans recorded (green),
// the motion events (orange-red marks along their top), the holes with their cause (a
// camera recording on motion only leaves a quiet hole, no fault), tick marks with the
// time of day, the picture shown (a red line) and a selected span for export. A click
// or a drag seeks; Shift and a drag selects a span; the wheel zooms around the pointer
// down to a few minutes, and Shift with the wheel pans. The arithmetic is
// CTimelineScale's.
//
// Threads: the UI thread.
#pragma once

#include <QColor>
#include <QWidget>
#include <cstdint>
#include <vector>

#include "catalog/CatalogReader.h"
#include "ui/TimelineScale.h"

class CTimelineBar : public QWidget {
    Q_OBJECT

public:
    struct Span {
        int64_t FromMs = 0;
        int64_t ToMs = 0;
    };

    explicit CTimelineBar(QWidget* parent = nullptr);

    // Shows the whole day [dayStartMs, dayEndMs), empty, with nothing selected.
    void SetDay(int64_t dayStartMs, int64_t dayEndMs);
    void SetRecordings(std::vector<Span> recorded, std::vector<CatalogGap> gaps);
    void SetMotionEvents(std::vector<CatalogMotionEvent> events);
    const std::vector<CatalogMotionEvent>& MotionEvents() const { return motion_; }
    // The time of the picture shown, -1 for none; the view follows it when it leaves it.
    void SetPosition(int64_t ms);
    int64_t Position() const { return positionMs_; }

    bool HasSelection() const { return selection_.ToMs > selection_.FromMs; }
    Span Selection() const { return selection_; }
    void Select(Span span);

    // Zooms around the picture shown (or the middle) by a factor of two.
    void ZoomIn();
    void ZoomOut();
    void ShowWholeDay();
    // Zooms to the recordings of the day with a margin, so that a short one is legible.
    void FitRecordings();
    const CTimelineScale& Scale() const { return scale_; }

    // The text of a hole's cause, as the tooltip tells it.
    static QString CauseText(RecordingGapCause cause);
    // The colours an operator tells them by.
    static QColor CauseColour(RecordingGapCause cause);
    static QColor MotionColour();

signals:
    void SeekRequested(qint64 ms);
    void SelectionChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool event(QEvent* event) override;

private:
    enum class Drag { None, Seek, Select };

    void PaintTicks(QPainter& painter, const QRect& ruler);
    QString HoverText(int64_t ms) const;
    // An event under way reaches as far as the recording does.
    int64_t ShownEndMs(const CatalogMotionEvent& event) const;

    CTimelineScale scale_;
    std::vector<Span> recorded_;
    std::vector<CatalogGap> gaps_;
    std::vector<CatalogMotionEvent> motion_;
    int64_t positionMs_ = -1;
    Span selection_;
    Drag drag_ = Drag::None;
    int64_t dragFromMs_ = 0;
};
