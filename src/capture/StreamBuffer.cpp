#include "capture/StreamBuffer.h"

#include <algorithm>
#include <cstring>
#include <new>

CStreamBuffer::CStreamBuffer(uint32_t capacity) : capacity_(capacity) {}

int CStreamBuffer::Allocate() {
    if (!storage_) {
        if (capacity_ == 0) return 0;
        // Zeroed, so every page is touched here and not on the writer's first lap:
        // a page fault costs the capture thread's copy some microseconds.
        storage_.reset(new (std::nothrow) uint8_t[capacity_]());
        if (!storage_) return 0;
    }
    readPos_.store(0);
    writePos_.store(0);
    return 1;
}

uint32_t CStreamBuffer::Available() {
    if (!storage_) return 0;
    return Stored(readPos_.load(std::memory_order_acquire),
                  writePos_.load(std::memory_order_acquire));
}

uint32_t CStreamBuffer::Write(const uint8_t* data, uint32_t count) {
    if (!storage_ || data == nullptr || count == 0) return 0;
    const uint32_t writePos = writePos_.load(std::memory_order_relaxed);
    // The reader can only free more room after this load, never take it away.
    const uint32_t readPos = readPos_.load(std::memory_order_acquire);
    const uint32_t room = capacity_ - Stored(readPos, writePos) - 1;
    const uint32_t length = std::min(room, count);
    if (length == 0) return 0;
    const uint32_t tail = capacity_ - writePos;
    uint32_t next;
    if (tail >= length) {
        std::memcpy(storage_.get() + writePos, data, length);
        next = writePos + length;
    } else {
        std::memcpy(storage_.get() + writePos, data, tail);
        std::memcpy(storage_.get(), data + tail, length - tail);
        next = length - tail;
    }
    if (next == capacity_) next = 0;
    writePos_.store(next, std::memory_order_release);  // publishes the copied bytes
    return length;
}

uint32_t CStreamBuffer::Read(uint8_t* dest, uint32_t count) {
    if (!storage_ || dest == nullptr || count == 0) return 0;
    const uint32_t readPos = readPos_.load(std::memory_order_relaxed);
    // The writer can only add bytes after this load, never take them back.
    const uint32_t writePos = writePos_.load(std::memory_order_acquire);
    const uint32_t length = std::min(Stored(readPos, writePos), count);
    if (length == 0) return 0;
    const uint32_t tail = capacity_ - readPos;
    uint32_t next;
    if (tail >= length) {
        std::memcpy(dest, storage_.get() + readPos, length);
        next = readPos + length;
    } else {
        std::memcpy(dest, storage_.get() + readPos, tail);
        std::memcpy(dest + tail, storage_.get(), length - tail);
        next = length - tail;
    }
    if (next == capacity_) next = 0;
    readPos_.store(next, std::memory_order_release);  // gives the room back to the writer
    return length;
}

void CStreamBuffer::Release() {
    storage_.reset();
    readPos_.store(0);
    writePos_.store(0);
    capacity_ = 0;
}
