#include "ui/PlaybackVideo.h"

#include <QPainter>

CPlaybackVideo::CPlaybackVideo(QWidget* parent)
    : QWidget(parent),
      link_(std::make_shared<CUiLink>(this)),
      // Only posts: the player's thread never waits for this one.
      frames_(
          std::make_shared<CFrameSlot>([link = link_, this] { link->Post([this] { update(); }); })),
      forwarder_(std::make_unique<CFrameForwarder>(frames_, frames_->Reset())) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(320, 240);
}

CPlaybackVideo::~CPlaybackVideo() {
    link_->Cut();
}

void CPlaybackVideo::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    const FrameBuffer& frame = frames_->Take();
    if (frame.Empty()) return;
    // BGRx in memory is Qt's RGB32 on this little-endian platform.
    const QImage image(frame.Pixels.data(), frame.Width, frame.Height, frame.Stride,
                       QImage::Format_RGB32);
    QSize size = image.size().scaled(this->size(), Qt::KeepAspectRatio);
    const QRect target(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size);
    painter.drawImage(target, image);
    ++framesPainted_;
    emit FramePainted();
}
