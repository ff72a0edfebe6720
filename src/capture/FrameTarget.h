// What the capture library draws live video into: the video cell and the preview
// area implement it. OnFrame runs on a thread of the capture library; the frame's
// pixels are valid only during the call, so an implementation copies what it keeps
// and repaints on its own thread. It must return quickly: the library drops frames
// for a slow target, never the recorded stream.
//
// OnFrame runs inside the library's callback gate, and CameraCap_Close, called on the
// user-interface thread, waits for that gate. So OnFrame must never wait for the
// user-interface thread: it keeps only the newest frame and asks for a repaint by
// posting, with no blocking queued call and no lock that the user-interface thread
// may hold while it closes a camera.
#pragma once

#include <cstdint>

struct VideoFrame {
    int Width = 0;
    int Height = 0;
    int Stride = 0;                   // bytes per row
    const uint8_t* Pixels = nullptr;  // 32-bit pixels, byte order B, G, R, x
};

class IFrameTarget {
public:
    virtual ~IFrameTarget() = default;
    virtual void OnFrame(const VideoFrame& frame) = 0;
};
