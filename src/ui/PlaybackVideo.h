// The video of the playback window: keeps the newest picture a player hands to its
// frame target (CFrameSlot, as a live view does) and paints it scaled into the widget
// with its shape kept, black around it.
//
// Threads: the widget on the UI thread; the frame target's OnFrame on the player's
// thread, which only copies and posts. A player using Target() must be destroyed
// before the widget.
#pragma once

#include <QWidget>
#include <cstdint>
#include <memory>

#include "ui/FrameSlot.h"
#include "ui/UiThread.h"

class CPlaybackVideo : public QWidget {
    Q_OBJECT

public:
    explicit CPlaybackVideo(QWidget* parent = nullptr);
    ~CPlaybackVideo() override;

    IFrameTarget* Target() { return forwarder_.get(); }
    uint64_t FramesPainted() const { return framesPainted_; }

signals:
    void FramePainted();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const std::shared_ptr<CUiLink> link_;  // cut by the destructor
    const std::shared_ptr<CFrameSlot> frames_;
    const std::unique_ptr<CFrameForwarder> forwarder_;
    uint64_t framesPainted_ = 0;  // UI thread
};
