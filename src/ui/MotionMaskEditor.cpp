#include "ui/MotionMaskEditor.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cstdlib>

namespace {

constexpr int kColumns = MotionSettings::kMaskColumns;
constexpr int kRows = MotionSettings::kMaskRows;
const QColor kOutside(16, 16, 16);
const QColor kNoPicture(48, 48, 48);
const QColor kNoPictureText(200, 200, 200);
const QColor kExcludedTint(220, 30, 30, 110);
const QColor kGridLine(255, 255, 255, 90);

// Where a cell boundary falls along a side of length pixels, from the side's start.
// Rounded up, so that a cell's pixels are exactly those CellAt's rounded-down division
// reports for it.
int Boundary(int index, int cells, int length) {
    return (index * length + cells - 1) / cells;
}

}  // namespace

CMotionMaskEditor::CMotionMaskEditor(std::function<QImage()> livePicture, QWidget* parent)
    : QWidget(parent), livePicture_(std::move(livePicture)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::CrossCursor);
    poll_.setInterval(kPollMs);
    connect(&poll_, &QTimer::timeout, this, &CMotionMaskEditor::Poll);
}

void CMotionMaskEditor::SetExcluded(const Mask& excluded) {
    if (excluded == excluded_) return;
    excluded_ = excluded;
    update();
    emit ExcludedChanged();
}

QRect CMotionMaskEditor::PictureRect() const {
    const QSize size = aspect_.scaled(this->size(), Qt::KeepAspectRatio);
    return QRect(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size);
}

int CMotionMaskEditor::CellAt(QPoint pos) const {
    const QRect picture = PictureRect();
    if (!picture.contains(pos)) return -1;
    const int column = (pos.x() - picture.left()) * kColumns / picture.width();
    const int row = (pos.y() - picture.top()) * kRows / picture.height();
    return static_cast<int>(MotionSettings::Cell(column, row));
}

QRect CMotionMaskEditor::CellRect(int column, int row) const {
    const QRect picture = PictureRect();
    const int left = Boundary(column, kColumns, picture.width());
    const int top = Boundary(row, kRows, picture.height());
    return QRect(picture.left() + left, picture.top() + top,
                 Boundary(column + 1, kColumns, picture.width()) - left,
                 Boundary(row + 1, kRows, picture.height()) - top);
}

void CMotionMaskEditor::Poll() {
    picture_ = livePicture_ ? livePicture_() : QImage();
    if (!picture_.isNull()) aspect_ = picture_.size();
    update();
}

void CMotionMaskEditor::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    Poll();  // the first picture without waiting a whole period
    poll_.start();
}

void CMotionMaskEditor::hideEvent(QHideEvent* event) {
    poll_.stop();
    dragging_ = false;  // its release may never come here
    QWidget::hideEvent(event);
}

void CMotionMaskEditor::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), kOutside);
    const QRect picture = PictureRect();
    if (picture_.isNull()) {
        painter.fillRect(picture, kNoPicture);
        painter.setPen(kNoPictureText);
        painter.drawText(picture, Qt::AlignCenter, QString::fromUtf8("无画面"));
    } else {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(picture, picture_);
    }
    for (int row = 0; row < kRows; ++row) {
        for (int column = 0; column < kColumns; ++column) {
            if (excluded_.test(MotionSettings::Cell(column, row))) {
                painter.fillRect(CellRect(column, row), kExcludedTint);
            }
        }
    }
    // Each line on the first pixel of the cell after it; the last on the picture's edge.
    painter.setPen(kGridLine);
    for (int column = 0; column <= kColumns; ++column) {
        const int x =
            std::min(picture.left() + Boundary(column, kColumns, picture.width()), picture.right());
        painter.drawLine(x, picture.top(), x, picture.bottom());
    }
    for (int row = 0; row <= kRows; ++row) {
        const int y =
            std::min(picture.top() + Boundary(row, kRows, picture.height()), picture.bottom());
        painter.drawLine(picture.left(), y, picture.right(), y);
    }
}

void CMotionMaskEditor::mousePressEvent(QMouseEvent* event) {
    const Qt::MouseButton button = event->button();
    // A second button during a drag changes nothing: the first one decided.
    if (dragging_ || (button != Qt::LeftButton && button != Qt::RightButton)) {
        event->ignore();
        return;
    }
    dragging_ = true;
    dragValue_ = button == Qt::LeftButton;
    lastPoint_ = event->position().toPoint();
    PaintLine(lastPoint_, lastPoint_);
}

void CMotionMaskEditor::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_) return;
    const QPoint point = event->position().toPoint();
    PaintLine(lastPoint_, point);
    lastPoint_ = point;
}

void CMotionMaskEditor::mouseReleaseEvent(QMouseEvent* event) {
    if (!dragging_) return;
    const Qt::MouseButton started = dragValue_ ? Qt::LeftButton : Qt::RightButton;
    if (event->button() == started) dragging_ = false;
}

void CMotionMaskEditor::PaintLine(QPoint from, QPoint to) {
    const QPoint step = to - from;
    // One sample per pixel along the longer axis reaches every cell the line crosses.
    const int samples = std::max(std::abs(step.x()), std::abs(step.y()));
    Mask painted = excluded_;
    for (int i = 0; i <= samples; ++i) {
        const QPoint point =
            samples == 0 ? from : from + QPoint(step.x() * i / samples, step.y() * i / samples);
        const int cell = CellAt(point);
        if (cell >= 0) painted.set(static_cast<size_t>(cell), dragValue_);
    }
    SetExcluded(painted);
}
