// One of the four video cells of the main window's grid: shows the live picture of the
// camera in its record inside a one-pixel frame that marks the selected cell, owns the
// camera's channel (which records when the record asks for it), and tells the main
// window about clicks and double-clicks with WM_CELL_NOTIFY.
//
// Opening runs off the UI thread (CCameraOpening) and its outcome is applied here when
// it ends: the channel's log lines come in the usual order, a failed opening asked by
// WM_CELL_OPEN leaves the cell empty, one asked directly keeps its closed channel. A
// cell never holds two captures: a request while an opening runs waits for it to end,
// and only the newest waiting request is kept.
//
// Threads: the UI thread, except the frames, which the capture library hands to the
// cell's CFrameSlot on its own thread (see FrameSlot.h for why that never waits).
#pragma once

#include <QWidget>
#include <memory>

#include "common/DeviceInfo.h"
#include "common/WindowHandle.h"
#include "ui/CameraOpening.h"
#include "ui/FrameSlot.h"
#include "ui/QtWindowHandle.h"

class CVideoCell : public QWidget {
    Q_OBJECT

public:
    static constexpr QRgb kSelectedFrame = qRgb(255, 220, 64);
    static constexpr QRgb kNormalFrame = qRgb(44, 52, 65);

    // parent: receives WM_CELL_NOTIFY; notice: where the capture library's texts go.
    CVideoCell(int index, HWND parent, HWND notice, QWidget* parentWidget);
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

    // Starts opening the record's camera after closing the current one. fromMessage:
    // asked by WM_CELL_OPEN, so a failure leaves the cell empty.
    void OpenCamera(bool fromMessage = false);
    // Closes the camera (capture first, then its recording), drops an opening that is
    // under way or waiting, and repaints the cell empty.
    void CloseCamera();
    // -1 without an open camera, else the capture library's result.
    int Snapshot(const char* path);

    // Whether the cell shows, opens or is about to open a camera of that device name.
    bool HoldsDevice(const DeviceInfo& record) const;
    // The capture handle of the channel, -1 without one.
    int32_t Handle() const;
    bool Opening() const { return opening_ != nullptr; }

    // Closes everything and waits for an opening under way (at most the capture
    // library's start time-out). Called by the main window before it goes.
    void Shutdown();

    HWND WindowHandle() { return &handle_; }
    uint64_t FramesPainted() const { return framesPainted_; }

signals:
    // An opening has ended and its outcome was applied; result 1 when it opened.
    void OpeningFinished(int result);
    void FramePainted();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void StartOpening(bool fromMessage);
    void OnOpeningDone();

    const int cellIndex_;
    const HWND parent_;
    const HWND notice_;
    bool enlarged_ = false;
    bool selected_ = false;
    DeviceInfo record_;
    CFrameSlot frames_;  // frames come in from capture threads
    COpenCamera camera_;
    std::unique_ptr<CCameraOpening> opening_;  // the opening under way, if any
    bool openingFromMessage_ = false;
    bool waiting_ = false;  // a request waits for the opening under way to end
    bool waitingFromMessage_ = false;
    DeviceInfo waitingRecord_;
    uint64_t framesPainted_ = 0;
    CQtWindowHandle handle_;  // receives WM_CELL_OPEN
};
