// The base of the camera channel and the recorder: a link to the component that owns
// this one (a recorder's owner is its channel). ComponentLog is how both report a
// line to the application's log.
//
// Threads: the owner is set on the owner's thread before any other thread sees the
// object and is read-only afterwards, so any thread may read it. ComponentLog may be
// called from any thread.
#pragma once

#include <cstddef>

#include "common/DeviceInfo.h"

class CCaptureObject {
public:
    CCaptureObject() = default;
    virtual ~CCaptureObject() = default;

    CCaptureObject(const CCaptureObject&) = delete;
    CCaptureObject& operator=(const CCaptureObject&) = delete;

    CCaptureObject* Owner() const { return owner_; }
    // The camera record behind this component, if it has one (a channel does). The
    // recorder finds its camera's name through its owner this way, without knowing
    // the channel's class, so the core links without a capture library.
    virtual const DeviceInfo* DeviceRecord() const { return nullptr; }

protected:
    // Only at construction, before another thread can see the object.
    void SetOwner(CCaptureObject* owner) { owner_ = owner; }

private:
    CCaptureObject* owner_ = nullptr;  // read-only after construction
};

// Both the formatted message and the joined "<name> <message>" text hold at most
// this many bytes; longer text is cut at a character boundary.
constexpr size_t kComponentLogMaxBytes = 519;

// Formats the message and hands it to AppLog after one space: the place of a
// component name, which no component of this system has, so every line of a channel
// or recorder begins with one space.
void ComponentLog(const CCaptureObject* component, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
