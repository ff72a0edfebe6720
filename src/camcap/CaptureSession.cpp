#include "camcap/CaptureSession.h"

#include "camcap/SharedCapture.h"
#include "common/Messages.h"

namespace {

constexpr int32_t kNoPicture = -2;

}  // namespace

CCaptureSession::CCaptureSession(IFrameTarget* target, HWND notice, StreamCallback callback,
                                 void* user, std::string cameraName)
    : target_(target),
      notice_(notice),
      callback_(callback),
      user_(user),
      cameraName_(std::move(cameraName)) {}

CCaptureSession::~CCaptureSession() {
    Close();
}

bool CCaptureSession::Open(std::shared_ptr<CSharedCapture> capture) {
    // Opening the gate under its mutex also publishes the fields set at construction
    // to the capture's threads, which read them only after passing that mutex. A gate
    // closed already stays closed.
    gate_.Open();
    if (!capture || !capture->Attach(shared_from_this())) {
        Close();
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(captureMutex_);
        if (!closing_.load()) {
            capture_ = std::move(capture);
            return true;
        }
    }
    // Closed while attaching: the closer found nothing to detach, so leave here.
    capture->Detach(this);
    return false;
}

void CCaptureSession::Close() {
    std::shared_ptr<CSharedCapture> capture;
    {
        std::lock_guard<std::mutex> lock(captureMutex_);
        closing_.store(true);
        capture = std::move(capture_);
    }
    // The gate first, so that a callback under way is waited for here and none starts
    // later; only then leave the capture, which may stop its pipeline.
    gate_.Close();
    if (capture) capture->Detach(this);
}

int32_t CCaptureSession::CapturePicture(const char* path) {
    std::shared_ptr<CSharedCapture> capture;
    {
        std::lock_guard<std::mutex> lock(captureMutex_);
        capture = capture_;
    }
    return capture ? capture->CapturePicture(path) : kNoPicture;
}

void CCaptureSession::DeliverFrame(const VideoFrame& frame) {
    if (target_ == nullptr) return;
    CCallbackGate::CPass pass(gate_);
    if (!pass.Entered()) return;
    target_->OnFrame(frame);
}

void CCaptureSession::DeliverStream(const uint8_t* data, size_t length, bool keyFrame) {
    if (callback_ == nullptr) return;
    CCallbackGate::CPass pass(gate_);
    if (!pass.Entered()) return;
    // A stream joined or resumed midway decodes only from a key frame on.
    if (waitingForKey_.load()) {
        if (!keyFrame) return;
        waitingForKey_.store(false);
    }
    callback_(0, 0, data, static_cast<int32_t>(length), user_);
}

void CCaptureSession::Notify(const std::string& text) {
    if (notice_ == nullptr || text.empty()) return;
    CCallbackGate::CPass pass(gate_);
    if (!pass.Entered()) return;
    PostLogText(notice_, NewMessageText(text.c_str()), 1);
}
