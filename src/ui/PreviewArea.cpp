#include "ui/PreviewArea.h"

#include <QPainter>

#include "capture/CameraCap.h"
#include "ui/QtWindowHandle.h"

struct CPreviewArea::COpening {
    DeviceInfo Record;                        // read by the library during CameraCap_Open only
    std::unique_ptr<CFrameForwarder> Target;  // must outlive the capture of Handle
    int32_t Handle = -1;
    bool Cancelled = false;  // UI thread
    std::thread Thread;

    ~COpening() {
        if (Thread.joinable()) Thread.join();
        if (Handle >= 0) CameraCap_Close(Handle);
    }
};

CPreviewArea::CPreviewArea(const QString& caption, QWidget* parent)
    : QFrame(parent),
      caption_(caption),
      // Only posts: the capture thread must never wait for this one.
      frames_([this] { PostCall(this, [this] { update(); }); }) {
    ZeroDeviceInfo(waitingRecord_);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

CPreviewArea::~CPreviewArea() {
    Close();
    opening_.reset();  // waits for its thread, then closes what it opened
}

void CPreviewArea::Open(const DeviceInfo& record) {
    Close();
    ClearCaption();
    if (opening_) {
        // The cancelled opening closes its camera when it ends; this one follows it.
        waiting_ = true;
        waitingRecord_ = record;
        return;
    }
    StartOpening(record);
}

void CPreviewArea::StartOpening(const DeviceInfo& record) {
    opening_ = std::make_unique<COpening>();
    COpening* opening = opening_.get();
    opening->Record = record;
    opening->Target = std::make_unique<CFrameForwarder>(frames_, frames_.Reset());
    opening->Thread = std::thread([this, opening] {
        opening->Handle =
            CameraCap_Open(opening->Target.get(), &opening->Record, nullptr, nullptr, nullptr);
        PostCall(this, [this] { OnOpeningDone(); });
    });
}

bool CPreviewArea::event(QEvent* event) {
    return CCallEvent::Run(event) || QFrame::event(event);
}

void CPreviewArea::OnOpeningDone() {
    if (!opening_) return;
    opening_->Thread.join();
    std::unique_ptr<COpening> done = std::move(opening_);
    const int32_t handle = done->Handle;
    if (!done->Cancelled)
        current_ = std::move(done);  // a failure is kept too: the area stays empty
    done.reset();                    // a cancelled opening closes its camera here
    if (waiting_) {
        waiting_ = false;
        StartOpening(waitingRecord_);
    }
    emit OpeningFinished(handle);
}

void CPreviewArea::Close() {
    current_.reset();  // closes the capture before its frame target goes
    if (opening_) opening_->Cancelled = true;
    waiting_ = false;
    frames_.Reset();
    repaint();
}

void CPreviewArea::ClearCaption() {
    caption_.clear();
    repaint();
}

int32_t CPreviewArea::Handle() const {
    return current_ ? current_->Handle : -1;
}

const DeviceInfo& CPreviewArea::Record() const {
    static const DeviceInfo none{};
    return current_ ? current_->Record : none;
}

void CPreviewArea::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect inside = rect().adjusted(1, 1, -1, -1);
    const FrameBuffer& frame = frames_.Take();
    if (frame.Empty()) {
        painter.fillRect(inside, palette().window());
        painter.drawText(inside.adjusted(2, 1, 0, 0), Qt::AlignLeft | Qt::AlignTop, caption_);
    } else {
        // BGRx in memory is Qt's RGB32 on this little-endian platform.
        const QImage image(frame.Pixels.data(), frame.Width, frame.Height, frame.Stride,
                           QImage::Format_RGB32);
        painter.drawImage(inside, image);
        ++framesPainted_;
    }
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}
