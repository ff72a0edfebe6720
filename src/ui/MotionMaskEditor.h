// CMotionMaskEditor: the exclusion mask of one camera painted over its live picture.
// The picture is scaled into the widget at its own aspect, centred, with the 16x12
// grid of MotionSettings drawn over it and each excluded cell tinted. A press of the
// left button starts excluding, of the right button clearing: the drag then sets
// every cell it passes to that value, whatever the cell held before.
//
// The picture comes from a function the owner gives, called every kPollMs while the
// widget is shown; a null picture shows a dark area with "无画面". The grid keeps the
// aspect of the last picture seen (4:3 before the first).
//
// Threads: the UI thread only; the picture function is called there too, so it must
// hand over a copy of whatever another thread produced.
#pragma once

#include <QImage>
#include <QSize>
#include <QTimer>
#include <QWidget>
#include <bitset>
#include <functional>

#include "common/MotionSettings.h"

class CMotionMaskEditor : public QWidget {
    Q_OBJECT

public:
    using Mask = std::bitset<MotionSettings::kMaskCells>;
    static constexpr int kPollMs = 200;

    explicit CMotionMaskEditor(std::function<QImage()> livePicture, QWidget* parent = nullptr);

    const Mask& Excluded() const { return excluded_; }
    void SetExcluded(const Mask& excluded);
    void ClearAll() { SetExcluded(Mask()); }
    void ExcludeAll() { SetExcluded(Mask().set()); }

    // Where the picture and its grid are drawn, in widget coordinates.
    QRect PictureRect() const;
    // The cell (MotionSettings::Cell) under a widget point; -1 outside the picture.
    int CellAt(QPoint pos) const;
    // The cell's area in widget coordinates; neighbours share no pixel and leave none
    // of the picture out.
    QRect CellRect(int column, int row) const;
    // The picture function is being called (the widget is shown).
    bool Polling() const { return poll_.isActive(); }

    QSize sizeHint() const override { return QSize(480, 360); }

signals:
    // The operator or SetExcluded changed at least one cell.
    void ExcludedChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void Poll();
    // Sets every cell the straight line from one point to the other crosses: a quick
    // drag reports points far apart.
    void PaintLine(QPoint from, QPoint to);

    std::function<QImage()> livePicture_;
    QImage picture_;  // the newest picture; null for none
    QSize aspect_{MotionSettings::kMaskColumns, MotionSettings::kMaskRows};
    QTimer poll_;
    Mask excluded_;
    bool dragging_ = false;
    bool dragValue_ = false;  // what the drag sets: decided by the button pressed
    QPoint lastPoint_;        // of the drag, in widget coordinates
};
