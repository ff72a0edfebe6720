// The playback window's 24-hour timeline of the chosen day: the spans recorded (green)
// and the holes with their cause, tick marks with the time of day, the picture shown
// (a red line) and a selected span for export. A click or a drag seeks; Shift and a
// drag selects a span; the wheel zooms around the pointer down to a few minutes, and
// Shift with the wheel pans. The arithmetic is CTimelineScale's.
//
// Threads: the UI thread.
#pragma once

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

    CTimelineScale scale_;
    std::vector<Span> recorded_;
    std::vector<CatalogGap> gaps_;
    int64_t positionMs_ = -1;
    Span selection_;
    Drag drag_ = Drag::None;
    int64_t dragFromMs_ = 0;
};
