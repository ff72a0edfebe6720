#include "ui/VideoCell.h"

#include <QMouseEvent>
#include <QPainter>
#include <cstring>

#include "common/Messages.h"

CVideoCell::CVideoCell(int index, HWND parent, HWND notice, QWidget* parentWidget)
    : QWidget(parentWidget),
      cellIndex_(index),
      parent_(parent),
      notice_(notice),
      // Only posts: the capture thread must never wait for this one.
      frames_([this] { PostCall(this, [this] { update(); }); }),
      handle_(this) {
    ZeroDeviceInfo(record_);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::ClickFocus);
}

CVideoCell::~CVideoCell() {
    Shutdown();
    handle_.MarkDead();
}

void CVideoCell::SetSelected(bool selected) {
    selected_ = selected;
    repaint();
    if (selected) setFocus();
}

void CVideoCell::OpenCamera(bool fromMessage) {
    CloseCamera();
    if (opening_) {
        // The cancelled opening closes its camera first; this one follows it.
        waiting_ = true;
        waitingFromMessage_ = fromMessage;
        return;
    }
    StartOpening(fromMessage);
}

void CVideoCell::StartOpening(bool fromMessage) {
    const uint64_t generation = frames_.Reset();
    openingFromMessage_ = fromMessage;
    opening_ = std::make_unique<CCameraOpening>(record_, frames_, generation, notice_, [this] {
        PostCall(this, [this] { OnOpeningDone(); });
    });
}

void CVideoCell::OnOpeningDone() {
    if (!opening_) return;  // dropped by Shutdown
    int result = 0;
    COpenCamera opened = opening_->Finish(&result);
    const bool cancelled = opening_->Cancelled();
    opening_.reset();
    if (cancelled) {
        opened = {};  // closes a camera that opened after it was cancelled
        result = 0;
    } else {
        camera_ = std::move(opened);
        if (result == 0 && openingFromMessage_) CloseCamera();
    }
    emit OpeningFinished(result);
    if (waiting_) {
        waiting_ = false;
        StartOpening(waitingFromMessage_);
    }
}

void CVideoCell::CloseCamera() {
    camera_ = {};  // the channel closes its capture, then its recording
    if (opening_) opening_->Cancel();
    waiting_ = false;
    frames_.Reset();
    repaint();
}

int CVideoCell::Snapshot(const char* path) {
    return camera_.Channel ? camera_.Channel->Snapshot(path) : -1;
}

bool CVideoCell::HoldsDevice(const DeviceInfo& record) const {
    const bool sameName =
        std::strncmp(record_.DeviceName, record.DeviceName, sizeof record.DeviceName) == 0;
    if (!sameName) return false;
    return Handle() >= 0 || (opening_ && !opening_->Cancelled()) || waiting_;
}

int32_t CVideoCell::Handle() const {
    return camera_.Channel ? camera_.Channel->GetHandle() : -1;
}

void CVideoCell::Shutdown() {
    CloseCamera();
    opening_.reset();  // cancels and waits; a camera it opened is closed there
}

bool CVideoCell::event(QEvent* event) {
    if (CCallEvent::Run(event)) return true;
    if (CPrivateMessageEvent* message = CPrivateMessageEvent::From(event)) {
        if (message->Message() == WM_CELL_OPEN) OpenCamera(true);
        return true;
    }
    return QWidget::event(event);
}

void CVideoCell::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect inside = rect().adjusted(1, 1, -1, -1);
    const FrameBuffer& frame = frames_.Take();
    if (frame.Empty()) {
        painter.fillRect(inside, palette().window());
    } else {
        // BGRx in memory is Qt's RGB32 on this little-endian platform.
        const QImage image(frame.Pixels.data(), frame.Width, frame.Height, frame.Stride,
                           QImage::Format_RGB32);
        painter.drawImage(inside, image);
        ++framesPainted_;
    }
    painter.setPen(QColor::fromRgb(selected_ ? kSelectedFrame : kNormalFrame));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    if (!frame.Empty()) emit FramePainted();
}

void CVideoCell::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) parent_->Post(WM_CELL_NOTIFY, cellIndex_, 1);
    QWidget::mouseReleaseEvent(event);
}

void CVideoCell::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) parent_->Post(WM_CELL_NOTIFY, cellIndex_, 2);
    QWidget::mouseDoubleClickEvent(event);
}
