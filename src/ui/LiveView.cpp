#include "ui/LiveView.h"

#include <QPainter>
#include <cstring>
#include <map>
#include <string>

#include "capture/CameraCap.h"

namespace {

// One lock per camera, held by an opening from before it opens until it has closed
// again when cancelled. Never removed: there are only a few cameras.
std::shared_ptr<std::mutex> CameraTurn(const DeviceInfo& record) {
    static std::mutex registryLock;
    static std::map<std::string, std::shared_ptr<std::mutex>> turns;  // guarded by registryLock
    std::string key;
    if (HasCameraIdentity(record)) {
        key = "#" + std::to_string(record.Reserved1) + "." + std::to_string(record.Reserved2) +
              "." + std::to_string(record.Reserved3);
    } else {
        key.assign(record.DeviceName, strnlen(record.DeviceName, sizeof record.DeviceName));
    }
    std::lock_guard<std::mutex> lock(registryLock);
    std::shared_ptr<std::mutex>& turn = turns[key];
    if (!turn) turn = std::make_shared<std::mutex>();
    return turn;
}

}  // namespace

// The frame target must outlive the capture the source holds: the source goes first.
struct CLiveView::CCamera {
    std::unique_ptr<CFrameForwarder> Target;
    std::unique_ptr<ILiveSource> Source;
    ~CCamera() { Source.reset(); }
};

struct CLiveView::CJob {
    std::unique_ptr<CCamera> Camera;  // the opening thread's until it posts its end
    int32_t Reserved = -1;
    std::function<void(int)> Done;  // UI thread
    std::atomic<bool> Cancelled{false};
    int Result = 0;  // as Camera
};

COpeningThreads& COpeningThreads::Instance() {
    static COpeningThreads threads;
    return threads;
}

COpeningThreads::~COpeningThreads() {
    JoinAll();
}

void COpeningThreads::Run(std::function<void()> work) {
    std::vector<CEntry> finished;
    auto done = std::make_shared<std::atomic<bool>>(false);
    {
        std::lock_guard<std::mutex> lock(lock_);
        for (auto it = threads_.begin(); it != threads_.end();) {
            if (it->Done->load()) {
                finished.push_back(std::move(*it));
                it = threads_.erase(it);
            } else {
                ++it;
            }
        }
        threads_.push_back({std::thread([work = std::move(work), done]() mutable {
                                // What the work holds (a camera it closes) goes before
                                // it counts as done, so joining it never waits for that.
                                std::function<void()> task = std::move(work);
                                task();
                                task = nullptr;
                                done->store(true);
                            }),
                            done});
    }
    // Their work is over: each join only waits for the thread's own exit.
    for (CEntry& entry : finished) entry.Thread.join();
}

void COpeningThreads::JoinAll() {
    std::vector<CEntry> all;
    {
        std::lock_guard<std::mutex> lock(lock_);
        all.swap(threads_);
    }
    for (CEntry& entry : all) entry.Thread.join();
}

CLiveView::CLiveView(QWidget* widget)
    : link_(std::make_shared<CUiLink>(widget)),
      // Only posts: a capture thread must never wait for the UI thread.
      frames_(std::make_shared<CFrameSlot>(
          [link = link_, widget] { link->Post([widget] { widget->update(); }); })) {}

CLiveView::~CLiveView() {
    Close();
    link_->Cut();
}

void CLiveView::Open(std::unique_ptr<ILiveSource> source, std::function<void(int)> done) {
    Close();
    auto job = std::make_shared<CJob>();
    job->Camera = std::make_unique<CCamera>();
    job->Camera->Target = std::make_unique<CFrameForwarder>(frames_, frames_->Reset());
    job->Camera->Source = std::move(source);
    job->Reserved = CameraCap_Reserve();
    job->Done = std::move(done);
    pending_ = job;
    ++running_;
    COpeningThreads::Instance().Run([job, link = link_, this] {
        {
            const std::shared_ptr<std::mutex> turn = CameraTurn(job->Camera->Source->Record());
            std::lock_guard<std::mutex> lock(*turn);
            // Opened even when cancelled meanwhile: the library then answers at once,
            // and the reserved handle is used up either way.
            CCamera& camera = *job->Camera;
            job->Result = camera.Source->Open(camera.Target.get(), job->Reserved);
            // A camera opened for a view that no longer wants it is closed here.
            if (job->Cancelled.load()) job->Camera.reset();
        }
        link->Post([this, job] { OnOpened(job); });
    });
}

void CLiveView::OnOpened(const std::shared_ptr<CJob>& job) {
    --running_;
    if (job != pending_) {
        job->Camera.reset();  // cancelled after it opened
        return;
    }
    pending_.reset();
    shown_ = std::move(job->Camera);
    if (job->Done) job->Done(job->Result);
}

void CLiveView::Cancel() {
    if (!pending_) return;
    pending_->Cancelled.store(true);
    // Ends the opening inside the capture library without waiting for it.
    CameraCap_Close(pending_->Reserved);
    pending_.reset();
}

void CLiveView::Close() {
    shown_.reset();  // the capture closes before its frame target goes
    Cancel();
    frames_->Reset();
}

ILiveSource* CLiveView::Shown() const {
    return shown_ ? shown_->Source.get() : nullptr;
}

const ILiveSource* CLiveView::Requested() const {
    return pending_ ? pending_->Camera->Source.get() : nullptr;
}

QImage CLiveView::Picture() {
    const FrameBuffer& frame = frames_->Take();
    if (frame.Empty()) return QImage();
    return QImage(frame.Pixels.data(), frame.Width, frame.Height, frame.Stride,
                  QImage::Format_RGB32)
        .copy();
}

bool CLiveView::Paint(QPainter& painter, const QRect& inside) {
    const FrameBuffer& frame = frames_->Take();
    if (frame.Empty()) return false;
    // BGRx in memory is Qt's RGB32 on this little-endian platform.
    const QImage image(frame.Pixels.data(), frame.Width, frame.Height, frame.Stride,
                       QImage::Format_RGB32);
    painter.drawImage(inside, image);
    ++framesPainted_;
    return true;
}
