// One of the four video cells of the main window's grid: shows the live picture of the
// camera in its record inside a one-pixel frame that marks the selected cell, owns the
// camera's channel (which records when the record asks for it), and tells the main
// window about clicks and double-clicks with WM_CELL_NOTIFY.
//
// Opening runs off the UI thread (CLiveView) and its outcome is applied here when it
// ends: the channel's log lines come in the usual order, a failed opening asked by
// WM_CELL_OPEN leaves the cell empty, one asked directly keeps its closed channel.
// Every new opening replaces the camera shown and ends an opening under way.
//
// Threads: the UI thread, except the frames (see LiveView.h).
#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>

#include "capture/Recorder.h"
#include "capture/StreamTap.h"
#include "common/DeviceInfo.h"
#include "common/MotionObserver.h"
#include "common/MotionSettings.h"
#include "common/WindowHandle.h"
#include "ui/LiveView.h"
#include "ui/QtWindowHandle.h"

// Where the cameras a cell opens are offered over the network.
struct CellRestream {
    IStreamPublisher* Publisher = nullptr;  // may be null; outlives the cell
    // The camera's 1-based place in the camera list, asked on the UI thread at each
    // opening; 0: not offered.
    std::function<int(const DeviceInfo&)> PlaceOf;
};

// How the cameras a cell opens watch for motion.
struct CellMotion {
    IMotionObserver* Events = nullptr;  // told of every event (may be null); outlives the cell
    // The camera's settings, asked on the UI thread at each opening; empty: never watched.
    std::function<MotionSettings(const DeviceInfo&)> SettingsFor;
};

class CVideoCell : public QWidget {
    Q_OBJECT

public:
    static constexpr QRgb kSelectedFrame = qRgb(255, 220, 64);
    static constexpr QRgb kNormalFrame = qRgb(44, 52, 65);
    static constexpr QRgb kMotionMark = qRgb(230, 30, 30);

    // parent: receives WM_CELL_NOTIFY; notice: where the capture library's texts go;
    // recordDir: where the camera's recordings go; recordings: told of their files (may
    // be null; outlives the cell).
    CVideoCell(int index, HWND parent, HWND notice, RecordDirFn recordDir,
               IRecordingObserver* recordings, QWidget* parentWidget);
    ~CVideoCell() override;

    int CellIndex() const { return cellIndex_; }
    bool Enlarged() const { return enlarged_; }
    void SetEnlarged(bool enlarged) { enlarged_ = enlarged; }
    bool Selected() const { return selected_; }
    // Redraws the frame in the colour of the new state; a selected cell takes the focus.
    void SetSelected(bool selected);

    // The camera to show; written before an opening is asked for.
    const DeviceInfo& Record() const { return record_; }
    void SetRecord(const DeviceInfo& record) { record_ = record; }

    // Where the motion of the cameras opened from now on goes.
    void SetMotion(CellMotion motion) { motion_ = std::move(motion); }
    // Where the cameras opened from now on are offered.
    void SetRestream(CellRestream restream) { restream_ = std::move(restream); }
    // New settings for the camera, applied at once when the cell shows it.
    void ApplyMotionSettings(const DeviceInfo& record, const MotionSettings& settings);
    // The camera shown sees motion (the cell draws its red mark).
    bool Moving() const { return moving_; }

    // Starts opening the record's camera after closing the current one. fromMessage:
    // asked by WM_CELL_OPEN, so a failure leaves the cell empty.
    void OpenCamera(bool fromMessage = false);
    // Closes the camera (capture first, then its recording), ends an opening under way
    // and repaints the cell empty.
    void CloseCamera();
    // -1 without an open camera, else the capture library's result.
    int Snapshot(const char* path);

    // Whether the cell shows or opens that camera (the same identity, or for records
    // without one the same device name).
    bool HoldsDevice(const DeviceInfo& record) const;
    // The capture handle of the channel, -1 without one.
    int32_t Handle() const;
    // An opening under way, or a cancelled one still closing its camera.
    bool Opening() const { return view_.Busy(); }

    // The newest picture of the camera shown; a null image without one.
    QImage Picture() { return view_.Picture(); }

    HWND WindowHandle() { return &handle_; }
    uint64_t FramesPainted() const { return view_.FramesPainted(); }

signals:
    // An opening has ended and its outcome was applied; result 1 when it opened.
    void OpeningFinished(int result);
    void FramePainted();
    void MotionChanged(bool moving);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void SetMoving(uint64_t opening, bool moving);

    const int cellIndex_;
    const HWND parent_;
    const HWND notice_;
    const RecordDirFn recordDir_;
    IRecordingObserver* const recordings_;
    bool enlarged_ = false;
    bool selected_ = false;
    DeviceInfo record_;
    CellMotion motion_;
    CellRestream restream_;
    bool moving_ = false;
    uint64_t opening_ = 0;  // counts the openings, so a closed camera's motion is ignored
    const std::shared_ptr<CUiLink> motionLink_;  // cut by the destructor
    CLiveView view_;
    CQtWindowHandle handle_;  // receives WM_CELL_OPEN
};
