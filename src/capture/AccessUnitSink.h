// Where a camera's access units go to be recorded: the recorder, or a test's stand-in
// behind the motion gate. Every call comes from the capture library's thread (or from
// the owner's thread once no callback can come any more).
#pragma once

#include <cstdint>

class IAccessUnitSink {
public:
    virtual ~IAccessUnitSink() = default;

    // True when Push would take a unit of length bytes now rather than drop it for want
    // of room; also true when no room can ever come for it, so that a caller holding
    // units back never holds them for good.
    virtual bool CanTake(uint32_t length) = 0;
    // One whole access unit that arrived just now.
    virtual void Push(const uint8_t* data, int32_t length) = 0;
    // One whole access unit that arrived at arrivalMs (wall clock, UTC) and was held
    // back since.
    virtual void Push(const uint8_t* data, int32_t length, int64_t arrivalMs) = 0;
    // The current file ends after the units pushed so far; the next unit begins a new
    // file, and the hole before it is one of no motion.
    virtual void EndFileHere() = 0;
};
