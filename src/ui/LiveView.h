// One camera shown live in a widget, for the video cell and the settings dialog's
// preview alike: it opens the camera off the user-interface thread (the capture
// library waits up to 10 s for a first picture), keeps the newest frame for the
// widget's paint, and ends an opening that is no longer wanted without waiting for it.
//
// An opening runs on a thread of COpeningThreads with a handle reserved beforehand;
// closing the view, or opening another camera in it, closes that handle, which ends
// the opening at once inside the capture library, and the opening thread then closes
// whatever it had opened on its own. The user-interface thread never joins it.
// Openings of one camera, from any view, take turns, so that a camera is closed by a
// cancelled opening before the next opening of it starts.
//
// Threads: the view on the UI thread. An ILiveSource is made on the UI thread, opened
// (and closed, when cancelled) on its opening thread, then handed to the UI thread.
// Frames arrive on the capture library's threads (CFrameSlot).
#pragma once

#include <QImage>
#include <QRect>
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "common/DeviceInfo.h"
#include "ui/FrameSlot.h"
#include "ui/UiThread.h"

class QPainter;

// A camera as a view opens it.
class ILiveSource {
public:
    virtual ~ILiveSource() = default;  // closes what Open opened
    // On the opening thread: opens the record's camera into target with the reserved
    // handle. 1 when it opened, 0 when not (also when the handle was closed meanwhile).
    virtual int Open(IFrameTarget* target, int32_t reserved) = 0;
    // The capture handle: >= 0 while open.
    virtual int32_t Handle() const = 0;
    // -1 without an open camera, else the capture library's result.
    virtual int Snapshot(const char* path) = 0;
    virtual const DeviceInfo& Record() const = 0;
};

// The threads camera openings run on. Finished ones are joined when the next one
// starts; JoinAll waits for those still running (cancelled ones end quickly), once the
// windows are gone, so that every recording they held is closed before the program ends.
class COpeningThreads {
public:
    static COpeningThreads& Instance();
    ~COpeningThreads();

    void Run(std::function<void()> work);  // UI thread
    void JoinAll();

private:
    struct CEntry {
        std::thread Thread;
        std::shared_ptr<std::atomic<bool>> Done;
    };
    std::mutex lock_;  // guards threads_
    std::vector<CEntry> threads_;
};

class CLiveView {
public:
    // widget: repainted when a new frame has come; it owns the view.
    explicit CLiveView(QWidget* widget);
    // Cancels an opening under way and closes the camera shown.
    ~CLiveView();
    CLiveView(const CLiveView&) = delete;
    CLiveView& operator=(const CLiveView&) = delete;

    // Closes what is shown, cancels an opening under way and starts opening source.
    // done runs on the UI thread when the opening has ended, unless it was cancelled
    // meanwhile, with Open's result; the source is then Shown(), also after a failure.
    void Open(std::unique_ptr<ILiveSource> source, std::function<void(int result)> done);
    // Closes what is shown (capture first, then anything it records) and cancels an
    // opening under way; the view paints empty.
    void Close();

    // The camera shown, or null.
    ILiveSource* Shown() const;
    // The camera of the opening under way that was not cancelled, or null.
    const ILiveSource* Requested() const;
    // An opening under way, or a cancelled one that has not finished closing yet.
    bool Busy() const { return running_ > 0; }

    // Draws the newest frame scaled into inside; false when there is none.
    bool Paint(QPainter& painter, const QRect& inside);
    uint64_t FramesPainted() const { return framesPainted_; }
    // A copy of the newest frame; a null image when there is none.
    QImage Picture();

private:
    struct CCamera;
    struct CJob;

    void OnOpened(const std::shared_ptr<CJob>& job);
    void Cancel();

    const std::shared_ptr<CUiLink> link_;  // cut by the destructor
    const std::shared_ptr<CFrameSlot> frames_;
    std::unique_ptr<CCamera> shown_;  // UI thread
    std::shared_ptr<CJob> pending_;   // UI thread: the opening not cancelled
    int running_ = 0;                 // UI thread: openings whose end has not been heard
    uint64_t framesPainted_ = 0;      // UI thread
};
