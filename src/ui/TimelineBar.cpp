#include "ui/TimelineBar.h"

#include <QDateTime>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace {

constexpr int kRulerHeight = 18;
constexpr int kHeight = 64;
// A fitted view leaves at least this much on either side of the recordings.
constexpr int64_t kFitMarginMinMs = 5 * 60 * 1000;
// The narrowest span drawn: a minute of a whole day is less than a pixel.
constexpr double kNarrowestSpanPx = 3;
constexpr double kWheelZoom = 0.8;  // per notch, towards the pointer
constexpr double kWheelPanPx = 40;
const QColor kRecorded(58, 154, 74);
const QColor kEmpty(214, 218, 224);
const QColor kPosition(220, 30, 30);
const QColor kSelection(40, 110, 230, 80);
const QColor kMotion(240, 90, 30);
// Motion marks run along the top of the band, over the recording they lie in.
constexpr int kMotionStripPx = 12;

QString TimeOfDay(int64_t ms, bool seconds) {
    return QDateTime::fromMSecsSinceEpoch(ms).toString(seconds ? QStringLiteral("HH:mm:ss")
                                                               : QStringLiteral("HH:mm"));
}

}  // namespace

CTimelineBar::CTimelineBar(QWidget* parent) : QWidget(parent) {
    setMinimumHeight(kHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setMouseTracking(true);
    scale_.SetWidth(width());
}

QColor CTimelineBar::CauseColour(RecordingGapCause cause) {
    switch (cause) {
        case RecordingGapCause::NotRunning:
            return QColor(150, 150, 150);
        case RecordingGapCause::CameraAbsent:
            return QColor(230, 150, 40);
        case RecordingGapCause::DiskFull:
            return QColor(200, 40, 40);
        case RecordingGapCause::NoMotion:
            // Nothing went wrong: barely darker than no recording at all.
            return QColor(198, 203, 210);
    }
    return kEmpty;
}

QColor CTimelineBar::MotionColour() {
    return kMotion;
}

QString CTimelineBar::CauseText(RecordingGapCause cause) {
    switch (cause) {
        case RecordingGapCause::NotRunning:
            return QString::fromUtf8("程序未运行");
        case RecordingGapCause::CameraAbsent:
            return QString::fromUtf8("摄像头未连接");
        case RecordingGapCause::DiskFull:
            return QString::fromUtf8("磁盘已满或出错");
        case RecordingGapCause::NoMotion:
            return QString::fromUtf8("无移动");
    }
    return {};
}

void CTimelineBar::SetDay(int64_t dayStartMs, int64_t dayEndMs) {
    scale_.SetDay(dayStartMs, dayEndMs);
    recorded_.clear();
    gaps_.clear();
    motion_.clear();
    selection_ = Span{};
    update();
}

void CTimelineBar::SetRecordings(std::vector<Span> recorded, std::vector<CatalogGap> gaps) {
    recorded_ = std::move(recorded);
    gaps_ = std::move(gaps);
    update();
}

void CTimelineBar::SetMotionEvents(std::vector<CatalogMotionEvent> events) {
    motion_ = std::move(events);
    update();
}

void CTimelineBar::SetPosition(int64_t ms) {
    positionMs_ = ms;
    if (ms >= scale_.DayStartMs() && ms < scale_.DayEndMs() && drag_ == Drag::None) {
        scale_.Reveal(ms);
    }
    update();
}

void CTimelineBar::Select(Span span) {
    selection_ = span.ToMs >= span.FromMs ? span : Span{span.ToMs, span.FromMs};
    update();
    emit SelectionChanged();
}

void CTimelineBar::ZoomIn() {
    const double x = positionMs_ >= 0 ? scale_.XOf(positionMs_) : width() / 2.0;
    scale_.Zoom(std::clamp(x, 0.0, double(width())), 0.5);
    update();
}

void CTimelineBar::ZoomOut() {
    const double x = positionMs_ >= 0 ? scale_.XOf(positionMs_) : width() / 2.0;
    scale_.Zoom(std::clamp(x, 0.0, double(width())), 2.0);
    update();
}

void CTimelineBar::ShowWholeDay() {
    scale_.ShowRange(scale_.DayStartMs(), scale_.DayEndMs());
    update();
}

void CTimelineBar::FitRecordings() {
    if (recorded_.empty()) return ShowWholeDay();
    const int64_t from = recorded_.front().FromMs;
    const int64_t to = recorded_.back().ToMs;
    const int64_t margin = std::max(kFitMarginMinMs, (to - from) / 10);
    scale_.ShowRange(from - margin, to + margin);
    update();
}

void CTimelineBar::resizeEvent(QResizeEvent* event) {
    scale_.SetWidth(width());
    QWidget::resizeEvent(event);
}

void CTimelineBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect ruler(0, 0, width(), kRulerHeight);
    const QRect band(0, kRulerHeight, width(), height() - kRulerHeight);
    painter.fillRect(rect(), palette().window());
    painter.fillRect(band, kEmpty);
    auto fill = [&](int64_t fromMs, int64_t toMs, const QColor& colour, const QRect& strip) {
        const double left = std::max(0.0, scale_.XOf(fromMs));
        const double right = std::min(double(width()), scale_.XOf(toMs));
        if (right < 0 || left > width()) return;
        // A short recording still shows.
        painter.fillRect(
            QRectF(left, strip.top(), std::max(kNarrowestSpanPx, right - left), strip.height()),
            colour);
    };
    const QRect gapStrip = band.adjusted(0, band.height() / 2, 0, 0);
    for (const CatalogGap& gap : gaps_)
        fill(gap.FromMs, gap.ToMs, CauseColour(gap.Cause), gapStrip);
    for (const Span& span : recorded_) fill(span.FromMs, span.ToMs, kRecorded, band);
    const QRect motionStrip(band.left(), band.top(), band.width(), kMotionStripPx);
    for (const CatalogMotionEvent& event : motion_)
        fill(event.StartMs, ShownEndMs(event), kMotion, motionStrip);
    if (HasSelection()) fill(selection_.FromMs, selection_.ToMs, kSelection, rect());
    PaintTicks(painter, ruler);
    if (positionMs_ >= 0) {
        const double x = scale_.XOf(positionMs_);
        painter.setPen(QPen(kPosition, 2));
        painter.drawLine(QPointF(x, 0), QPointF(x, height()));
    }
}

void CTimelineBar::PaintTicks(QPainter& painter, const QRect& ruler) {
    const int64_t step = scale_.TickMs();
    // Ticks on whole steps of local time: from the day's start, which is local midnight.
    const int64_t first =
        scale_.DayStartMs() + (scale_.ViewFromMs() - scale_.DayStartMs() + step - 1) / step * step;
    painter.setPen(palette().color(QPalette::WindowText));
    const bool seconds = step < 60 * 1000;
    for (int64_t ms = first; ms <= scale_.ViewToMs(); ms += step) {
        const double x = scale_.XOf(ms);
        painter.drawLine(QPointF(x, ruler.bottom() - 4), QPointF(x, ruler.bottom()));
        painter.drawText(QPointF(x + 2, ruler.bottom() - 5), TimeOfDay(ms, seconds));
    }
}

void CTimelineBar::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    const int64_t ms = scale_.TimeAt(event->position().x());
    if (event->modifiers() & Qt::ShiftModifier) {
        drag_ = Drag::Select;
        dragFromMs_ = ms;
        Select({ms, ms});
        return;
    }
    drag_ = Drag::Seek;
    positionMs_ = ms;
    update();
    emit SeekRequested(ms);
}

void CTimelineBar::mouseMoveEvent(QMouseEvent* event) {
    const int64_t ms = scale_.TimeAt(event->position().x());
    if (drag_ == Drag::Select) {
        Select({dragFromMs_, ms});
    } else if (drag_ == Drag::Seek && ms != positionMs_) {
        positionMs_ = ms;
        update();
        emit SeekRequested(ms);
    }
}

void CTimelineBar::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) drag_ = Drag::None;
    QWidget::mouseReleaseEvent(event);
}

void CTimelineBar::wheelEvent(QWheelEvent* event) {
    const double notches = event->angleDelta().y() / 120.0;
    if (notches == 0) return;
    if (event->modifiers() & Qt::ShiftModifier) {
        scale_.Pan(-notches * kWheelPanPx);
    } else {
        scale_.Zoom(event->position().x(), std::pow(kWheelZoom, notches));
    }
    update();
    event->accept();
}

QString CTimelineBar::HoverText(int64_t ms) const {
    QString text = TimeOfDay(ms, true);
    const auto recorded = std::any_of(recorded_.begin(), recorded_.end(), [ms](const Span& span) {
        return ms >= span.FromMs && ms <= span.ToMs;
    });
    const auto gap = std::find_if(gaps_.begin(), gaps_.end(), [ms](const CatalogGap& hole) {
        return ms >= hole.FromMs && ms < hole.ToMs;
    });
    if (recorded) {
        text += QString::fromUtf8(" 有录像");
    } else if (gap != gaps_.end()) {
        text += " " + CauseText(gap->Cause);
    } else {
        text += QString::fromUtf8(" 无录像");
    }
    for (const CatalogMotionEvent& event : motion_) {
        if (ms < event.StartMs || ms > ShownEndMs(event)) continue;
        text += QString::fromUtf8(", 移动 %1 至 %2, 最大 %3%")
                    .arg(TimeOfDay(event.StartMs, true),
                         event.Ongoing ? QString::fromUtf8("现在") : TimeOfDay(event.EndMs, true))
                    .arg(event.PeakPct, 0, 'f', 1);
        break;
    }
    return text;
}

int64_t CTimelineBar::ShownEndMs(const CatalogMotionEvent& event) const {
    if (!event.Ongoing || recorded_.empty()) return event.EndMs;
    return std::max(event.EndMs, recorded_.back().ToMs);
}

bool CTimelineBar::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        QToolTip::showText(help->globalPos(), HoverText(scale_.TimeAt(help->pos().x())), this);
        return true;
    }
    return QWidget::event(event);
}
