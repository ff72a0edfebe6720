#include "ui/VideoCell.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cstring>

#include "capture/CameraChannel.h"
#include "capture/MotionTrigger.h"
#include "common/Messages.h"
#include "motion/MotionWatch.h"

namespace {

// A camera channel as a live view opens it: the channel records when the record asks,
// and its pictures pass a motion watch on their way to the view.
class CChannelSource : public ILiveSource {
public:
    CChannelSource(const DeviceInfo& record, HWND notice, RecordDirFn recordDir,
                   IRecordingObserver* recordings, IMotionObserver* motionEvents,
                   const MotionSettings& motion, std::function<void(bool)> onMotion,
                   IStreamPublisher* publisher, int place)
        : record_(record),
          notice_(notice),
          publisher_(publisher),
          place_(place),
          motionEvents_(motionEvents),
          motion_(motion),
          onMotion_(std::move(onMotion)),
          channel_(std::move(recordDir), recordings, &trigger_) {
        trigger_.SetMotionOnly(MotionOnly(motion));
    }

    int Open(IFrameTarget* target, int32_t reserved) override {
        const size_t length = strnlen(record_.CustomDeviceName, sizeof record_.CustomDeviceName);
        const std::string name(record_.CustomDeviceName, length);
        watch_ = std::make_unique<CMotionWatch>(name, target, motion_, motionEvents_, &trigger_,
                                                onMotion_);
        if (publisher_ != nullptr && place_ > 0) {
            tap_ = publisher_->Publish(place_, name);
            channel_.SetStreamTap(tap_.get());
        }
        // The library only reads the record, during this call.
        return channel_.Open(watch_.get(), const_cast<DeviceInfo*>(&record_), notice_, reserved);
    }
    // UI thread, once the opening has ended.
    void UpdateMotion(const MotionSettings& motion) {
        trigger_.SetMotionOnly(MotionOnly(motion));
        if (watch_) watch_->UpdateSettings(motion);
    }
    int32_t Handle() const override { return channel_.GetHandle(); }
    int Snapshot(const char* path) override { return channel_.Snapshot(path); }
    const DeviceInfo& Record() const override { return record_; }

private:
    static bool MotionOnly(const MotionSettings& motion) {
        return motion.Enabled && motion.MotionOnlyRecording;
    }

    const DeviceInfo record_;
    const HWND notice_;
    IStreamPublisher* const publisher_;
    const int place_;
    IMotionObserver* const motionEvents_;
    const MotionSettings motion_;  // as the opening began
    const std::function<void(bool)> onMotion_;
    // Destroyed in reverse: the channel closes the camera and its recording before the
    // watch, which ends a motion event under way, goes, and the camera stops being
    // offered last.
    std::shared_ptr<IStreamTap> tap_;  // made on the opening thread
    CMotionTrigger trigger_;
    std::unique_ptr<CMotionWatch> watch_;  // made on the opening thread
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
      motionLink_(std::make_shared<CUiLink>(this)),
      view_(this),
      handle_(this) {
    ZeroDeviceInfo(record_);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::ClickFocus);
}

CVideoCell::~CVideoCell() {
    motionLink_->Cut();
    handle_.MarkDead();
}

void CVideoCell::SetSelected(bool selected) {
    selected_ = selected;
    repaint();
    if (selected) setFocus();
}

void CVideoCell::OpenCamera(bool fromMessage) {
    CloseCamera();
    const MotionSettings motion =
        motion_.SettingsFor ? motion_.SettingsFor(record_) : MotionSettings{};
    const uint64_t opening = opening_;
    // The watch's thread tells of motion; the cell hears it on its own thread.
    auto onMotion = [link = motionLink_, this, opening](bool moving) {
        link->Post([this, opening, moving] { SetMoving(opening, moving); });
    };
    const int place = restream_.PlaceOf ? restream_.PlaceOf(record_) : 0;
    view_.Open(
        std::make_unique<CChannelSource>(record_, notice_, recordDir_, recordings_, motion_.Events,
                                         motion, onMotion, restream_.Publisher, place),
        [this, fromMessage](int result) {
            if (result == 0 && fromMessage) CloseCamera();
            emit OpeningFinished(result);
        });
}

void CVideoCell::CloseCamera() {
    view_.Close();
    ++opening_;
    SetMoving(opening_, false);
    repaint();
}

void CVideoCell::ApplyMotionSettings(const DeviceInfo& record, const MotionSettings& settings) {
    if (!HoldsDevice(record)) return;
    if (auto* source = dynamic_cast<CChannelSource*>(view_.Shown())) {
        source->UpdateMotion(settings);
    }
}

void CVideoCell::SetMoving(uint64_t opening, bool moving) {
    if (opening != opening_ || moving == moving_) return;
    moving_ = moving;
    update();
    emit MotionChanged(moving);
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
    if (moving_) {
        // A red dot in the top right corner while the camera sees motion.
        const int size = std::clamp(height() / 16, 8, 18);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(Qt::white, 1.5));
        painter.setBrush(QColor::fromRgb(kMotionMark));
        painter.drawEllipse(QRect(width() - size - 8, 8, size, size));
    }
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
