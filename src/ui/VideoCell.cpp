#include "ui/VideoCell.h"

#include <QMouseEvent>
#include <QPainter>

#include "capture/CameraChannel.h"
#include "common/Messages.h"

namespace {

// A camera channel as a live view opens it: the channel records when the record asks.
class CChannelSource : public ILiveSource {
public:
    CChannelSource(const DeviceInfo& record, HWND notice, RecordDirFn recordDir,
                   IRecordingObserver* recordings)
        : record_(record), notice_(notice), channel_(std::move(recordDir), recordings) {}

    int Open(IFrameTarget* target, int32_t reserved) override {
        // The library only reads the record, during this call.
        return channel_.Open(target, const_cast<DeviceInfo*>(&record_), notice_, reserved);
    }
    int32_t Handle() const override { return channel_.GetHandle(); }
    int Snapshot(const char* path) override { return channel_.Snapshot(path); }
    const DeviceInfo& Record() const override { return record_; }

private:
    const DeviceInfo record_;
    const HWND notice_;
    CCameraChannel channel_;
};

}  // namespace

CVideoCell::CVideoCell(int index, HWND parent, HWND notice, RecordDirFn recordDir,
                       IRecordingObserver* recordings, QWidget* parentWidget)
    : QWidget(parentWidget),
      cellIndex_(index),
      parent_(parent),
      notice_(notice),
      recordDir_(std::move(recordDir)),
      recordings_(recordings),
      view_(this),
      handle_(this) {
    ZeroDeviceInfo(record_);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::ClickFocus);
}

CVideoCell::~CVideoCell() {
    handle_.MarkDead();
}

void CVideoCell::SetSelected(bool selected) {
    selected_ = selected;
    repaint();
    if (selected) setFocus();
}

void CVideoCell::OpenCamera(bool fromMessage) {
    CloseCamera();
    view_.Open(std::make_unique<CChannelSource>(record_, notice_, recordDir_, recordings_),
               [this, fromMessage](int result) {
                   if (result == 0 && fromMessage) CloseCamera();
                   emit OpeningFinished(result);
               });
}

void CVideoCell::CloseCamera() {
    view_.Close();
    repaint();
}

int CVideoCell::Snapshot(const char* path) {
    ILiveSource* shown = view_.Shown();
    return shown != nullptr ? shown->Snapshot(path) : -1;
}

bool CVideoCell::HoldsDevice(const DeviceInfo& record) const {
    if (const ILiveSource* requested = view_.Requested()) {
        if (IsSameCamera(requested->Record(), record)) return true;
    }
    const ILiveSource* shown = view_.Shown();
    return shown != nullptr && shown->Handle() >= 0 && IsSameCamera(shown->Record(), record);
}

int32_t CVideoCell::Handle() const {
    const ILiveSource* shown = view_.Shown();
    return shown != nullptr ? shown->Handle() : -1;
}

bool CVideoCell::event(QEvent* event) {
    if (CPrivateMessageEvent* message = CPrivateMessageEvent::From(event)) {
        if (message->Message() == WM_CELL_OPEN) OpenCamera(true);
        return true;
    }
    return QWidget::event(event);
}

void CVideoCell::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect inside = rect().adjusted(1, 1, -1, -1);
    const bool painted = view_.Paint(painter, inside);
    if (!painted) painter.fillRect(inside, palette().window());
    painter.setPen(QColor::fromRgb(selected_ ? kSelectedFrame : kNormalFrame));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    if (painted) emit FramePainted();
}

void CVideoCell::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) parent_->Post(WM_CELL_NOTIFY, cellIndex_, 1);
    QWidget::mouseReleaseEvent(event);
}

void CVideoCell::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) parent_->Post(WM_CELL_NOTIFY, cellIndex_, 2);
    QWidget::mouseDoubleClickEvent(event);
}
