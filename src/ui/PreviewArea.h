// The preview area of the settings dialog: a bordered box with the caption "视频预览"
// that shows one camera live. It opens its own capture handle, with no stream callback
// and no notice window, and paints the newest frame scaled into its client area.
//
// Opening runs on a thread of its own, because the capture library waits up to 10 s
// for a camera's first picture and the dialog must not freeze meanwhile. The area
// never holds two captures: a request while an opening runs waits for it to end, and
// only the newest waiting request is kept. Each opening holds its own copy of the
// camera's record, so the record the library was given stays valid whatever the
// dialog's list does meanwhile.
//
// Threads: the UI thread, except CameraCap_Open on the opening's thread and the
// frames, which the capture library hands to the CFrameSlot on its own thread.
#pragma once

#include <QFrame>
#include <memory>
#include <thread>

#include "common/DeviceInfo.h"
#include "ui/FrameSlot.h"

class CPreviewArea : public QFrame {
    Q_OBJECT

public:
    explicit CPreviewArea(const QString& caption, QWidget* parent);
    // Closes the preview and waits for an opening under way.
    ~CPreviewArea() override;

    // Closes the current preview, clears the caption and starts opening record.
    void Open(const DeviceInfo& record);
    // Closes the preview and drops an opening under way or waiting; repaints empty.
    void Close();
    void ClearCaption();

    // The handle of the preview: the capture library's result once an opening ended
    // (negative when it failed), -1 while none is open.
    int32_t Handle() const;
    bool Opening() const { return opening_ != nullptr || waiting_; }
    // The record the preview was opened with; all zero without one.
    const DeviceInfo& Record() const;
    uint64_t FramesPainted() const { return framesPainted_; }

signals:
    void OpeningFinished(int32_t handle);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    struct COpening;

    void StartOpening(const DeviceInfo& record);
    void OnOpeningDone();

    QString caption_;
    CFrameSlot frames_;  // frames come in from capture threads
    // The open preview (its handle, record and frame target) and the one opening, if
    // any. UI thread; an opening's thread reads only its own record and target and
    // writes its handle, which is read here after the thread was joined.
    std::unique_ptr<COpening> current_;
    std::unique_ptr<COpening> opening_;
    bool waiting_ = false;
    DeviceInfo waitingRecord_;
    uint64_t framesPainted_ = 0;
};
