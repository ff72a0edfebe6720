// The preview area of the settings dialog: a bordered box with the caption "视频预览"
// that shows one camera live. It opens its own capture handle, with no stream callback
// and no notice window, off the UI thread (CLiveView), and paints the newest frame
// scaled into its client area. Each opening holds its own copy of the camera's record,
// so the record the library was given stays valid whatever the dialog's list does.
//
// Threads: the UI thread, except the opening and the frames (see LiveView.h).
#pragma once

#include <QFrame>

#include "common/DeviceInfo.h"
#include "ui/LiveView.h"

class CPreviewArea : public QFrame {
    Q_OBJECT

public:
    explicit CPreviewArea(const QString& caption, QWidget* parent);
    // Closes the preview and ends an opening under way, without waiting for it.
    ~CPreviewArea() override = default;

    // Closes the current preview, clears the caption and starts opening record.
    void Open(const DeviceInfo& record);
    // Closes the preview and ends an opening under way; repaints empty.
    void Close();
    void ClearCaption();

    // The handle of the preview: the capture library's result once an opening ended
    // (negative when it failed), -1 while none is open.
    int32_t Handle() const;
    // An opening under way, or a cancelled one still closing its camera.
    bool Opening() const { return view_.Busy(); }
    // The record the preview was opened with; all zero without one.
    const DeviceInfo& Record() const;
    uint64_t FramesPainted() const { return view_.FramesPainted(); }

signals:
    void OpeningFinished(int32_t handle);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString caption_;
    CLiveView view_;
};
