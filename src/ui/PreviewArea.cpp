#include "ui/PreviewArea.h"

#include <QPainter>

#include "capture/CameraCap.h"

namespace {

// A bare capture handle: live frames only, no stream, no notices, nothing logged.
class CPreviewSource : public ILiveSource {
public:
    explicit CPreviewSource(const DeviceInfo& record) : record_(record) {}
    ~CPreviewSource() override {
        if (handle_ >= 0) CameraCap_Close(handle_);
    }

    int Open(IFrameTarget* target, int32_t reserved) override {
        handle_ = reserved >= 0 ? CameraCap_OpenReserved(reserved, target, &record_, nullptr,
                                                         nullptr, nullptr)
                                : CameraCap_Open(target, &record_, nullptr, nullptr, nullptr);
        return handle_ >= 0 ? 1 : 0;
    }
    int32_t Handle() const override { return handle_; }
    int Snapshot(const char* path) override {
        return handle_ >= 0 ? CameraCap_CapPic(handle_, path) : -1;
    }
    const DeviceInfo& Record() const override { return record_; }

private:
    const DeviceInfo record_;  // read by the library during the opening only
    int32_t handle_ = -1;      // the opening thread's, then the UI thread's
};

}  // namespace

CPreviewArea::CPreviewArea(const QString& caption, QWidget* parent)
    : QFrame(parent), caption_(caption), view_(this) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CPreviewArea::Open(const DeviceInfo& record) {
    Close();
    ClearCaption();
    view_.Open(std::make_unique<CPreviewSource>(record),
               [this](int) { emit OpeningFinished(Handle()); });
}

void CPreviewArea::Close() {
    view_.Close();
    repaint();
}

void CPreviewArea::ClearCaption() {
    caption_.clear();
    repaint();
}

int32_t CPreviewArea::Handle() const {
    const ILiveSource* shown = view_.Shown();
    return shown != nullptr ? shown->Handle() : -1;
}

const DeviceInfo& CPreviewArea::Record() const {
    static const DeviceInfo none{};
    const ILiveSource* shown = view_.Shown();
    return shown != nullptr ? shown->Record() : none;
}

void CPreviewArea::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect inside = rect().adjusted(1, 1, -1, -1);
    if (!view_.Paint(painter, inside)) {
        painter.fillRect(inside, palette().window());
        painter.drawText(inside.adjusted(2, 1, 0, 0), Qt::AlignLeft | Qt::AlignTop, caption_);
    }
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}
